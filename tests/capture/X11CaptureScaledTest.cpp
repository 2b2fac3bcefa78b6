// Capture at a device-pixel ratio of 2: images keep every device pixel, so
// they have twice the points of the screen; targets and frames are points.

#include "X11CaptureFixture.h"

#include <QGuiApplication>
#include <QScreen>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

class X11CaptureScaled : public X11CaptureFixture { };

} // namespace

TEST_F(X11CaptureScaled, ImagesHaveTwiceThePointsAndTargetsArePoints)
{
    ASSERT_EQ(primary()->devicePixelRatio(), 2);
    ASSERT_EQ(primary()->geometry(), QRect(0, 0, 960, 540));
    const std::uint32_t id = host->create(QStringLiteral("200 100 400 300 0000dd pattern"));
    ASSERT_NE(id, 0u);

    const DisplayCapture::Snapshot shot = snapshot(primary());
    EXPECT_EQ(shot.image.size(), QSize(1920, 1080));
    QString first;
    EXPECT_EQ(
        patternMismatches(shot.image, QRect(200, 100, 400, 300), QPoint(200, 100), 0xdd, &first), 0)
        << first.toStdString();
    ASSERT_FALSE(shot.targets.empty());
    EXPECT_EQ(shot.targets.front(), (WindowTarget{id, host->pid(), Rect(100, 340, 200, 150)}));

    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->image.size(), QSize(400, 300));
    EXPECT_EQ(window->quartzFrame, Rect(100, 50, 200, 150));
}

TEST_F(X11CaptureScaled, AWindowOfThisProcessIsLeftOutAtDevicePixels)
{
    const std::uint32_t under = host->create(QStringLiteral("0 0 1920 1080 00ee00"));
    ASSERT_NE(under, 0u);
    // 300 × 200 points cover 600 × 400 device pixels.
    const auto own = showOwnWindow(QColor(0xff00ff), QRect(100, 100, 300, 200));
    const DisplayCapture::Snapshot shot = snapshot(primary());
    EXPECT_EQ(colourMismatches(shot.image, QRect(0, 0, 1920, 1080), 0x00ee00), 0);
    for (const WindowTarget& target : shot.targets)
        EXPECT_EQ(target.id, under);
}
