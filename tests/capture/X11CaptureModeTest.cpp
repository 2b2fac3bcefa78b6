// The display's mode changes (xrandr) under the capture: a capture that
// starts before Qt has noticed fails as a changed screen instead of handing
// out an image resampled to the old size; once Qt has caught up, captures
// are of the new size.

#include "X11CaptureFixture.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

bool xrandr(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xrandr"), arguments) == 0;
}

bool setMode(const QString& mode)
{
    return xrandr(
        {QStringLiteral("--output"), QStringLiteral("screen"), QStringLiteral("--mode"), mode});
}

class X11CaptureMode : public X11CaptureFixture {
protected:
    static void SetUpTestSuite()
    {
        xrandr({QStringLiteral("--newmode"), QStringLiteral("1280x720"), QStringLiteral("0"),
                QStringLiteral("1280"), QStringLiteral("0"), QStringLiteral("0"),
                QStringLiteral("0"), QStringLiteral("720"), QStringLiteral("0"),
                QStringLiteral("0"), QStringLiteral("0")});
        xrandr({QStringLiteral("--addmode"), QStringLiteral("screen"), QStringLiteral("1280x720")});
    }

    void TearDown() override
    {
        setMode(QStringLiteral("1920x1080"));
        waitUntil([] { return primary()->geometry().width() == 1920; });
    }
};

} // namespace

TEST_F(X11CaptureMode, ACaptureStartedBeforeQtSawTheModeChangeFailsAsAChangedScreen)
{
    ASSERT_NE(host->create(QStringLiteral("100 100 300 200 000044 pattern")), 0u);
    ASSERT_EQ(snapshot(primary()).image.size(), QSize(1920, 1080));

    // No events are handled between the switch and the start of the capture,
    // so Qt still shows the old size.
    ASSERT_TRUE(setMode(QStringLiteral("1280x720")));
    ASSERT_EQ(primary()->geometry(), QRect(0, 0, 1920, 1080));
    const DisplayCapture::Outcome outcome = captureDisplay(primary());
    ASSERT_FALSE(outcome.ok()) << "an image of " << outcome->image.width() << " × "
                               << outcome->image.height() << " pixels";
    EXPECT_EQ(outcome.error(), CaptureError::screenChanged) << outcome.failure().detail;

    ASSERT_TRUE(waitUntil([] { return primary()->geometry() == QRect(0, 0, 1280, 720); }));
    const DisplayCapture::Snapshot shot = snapshot(primary());
    ASSERT_EQ(shot.image.size(), QSize(1280, 720));
    QString first;
    EXPECT_EQ(
        patternMismatches(shot.image, QRect(100, 100, 300, 200), QPoint(100, 100), 0x44, &first), 0)
        << first.toStdString();
}
