// Capture with two monitors side by side on one X screen (RandR monitors,
// as Qt sees them): each screen is captured at its own size and content and
// lists only the windows that show on it.

#include "X11CaptureFixture.h"
#include "capture/DesktopSpace.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <algorithm>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

class X11CaptureScreens : public X11CaptureFixture {
protected:
    static void SetUpTestSuite()
    {
        // The server has one 3200 × 1080 root; split it into a 1920 × 1080
        // primary monitor on the server's one output and a 1280 × 1024 one
        // without an output to its right.
        QProcess::execute(QStringLiteral("xrandr"),
                          {QStringLiteral("--setmonitor"), QStringLiteral("left"),
                           QStringLiteral("1920/508x1080/286+0+0"), QStringLiteral("screen")});
        QProcess::execute(QStringLiteral("xrandr"),
                          {QStringLiteral("--setmonitor"), QStringLiteral("right"),
                           QStringLiteral("1280/339x1024/271+1920+0"), QStringLiteral("none")});
        waitUntil([] { return QGuiApplication::screens().size() == 2; });
    }

    void SetUp() override
    {
        X11CaptureFixture::SetUp();
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        left = QGuiApplication::screens()[0];
        right = QGuiApplication::screens()[1];
        if (left->geometry().x() != 0)
            std::swap(left, right);
        ASSERT_EQ(right->geometry(), QRect(1920, 0, 1280, 1024));
    }

    QScreen* left = nullptr;
    QScreen* right = nullptr;
};

std::optional<WindowTarget> find(const std::vector<WindowTarget>& targets, std::uint32_t id)
{
    const auto found
        = std::ranges::find_if(targets, [id](const WindowTarget& t) { return t.id == id; });
    return found == targets.end() ? std::nullopt : std::optional(*found);
}

} // namespace

TEST_F(X11CaptureScreens, EachScreenHasItsOwnDisplayNumber)
{
    const std::uint32_t leftNumber = service->displayNumber(left);
    const std::uint32_t rightNumber = service->displayNumber(right);
    EXPECT_NE(leftNumber, 0u);
    EXPECT_NE(rightNumber, 0u);
    EXPECT_NE(leftNumber, rightNumber);
    EXPECT_EQ(service->screen(leftNumber), left);
    EXPECT_EQ(service->screen(rightNumber), right);
}

TEST_F(X11CaptureScreens, TheSecondScreenIsCapturedAtItsOwnSizeWithOnlyItsWindows)
{
    const std::uint32_t onLeft = host->create(QStringLiteral("100 100 300 200 aa0000"));
    const std::uint32_t onRight = host->create(QStringLiteral("2000 100 300 200 0000bb pattern"));
    const std::uint32_t across = host->create(QStringLiteral("1800 600 400 200 00cc00"));
    ASSERT_TRUE(onLeft && onRight && across);

    const DisplayCapture::Snapshot second = snapshot(right);
    ASSERT_EQ(second.image.size(), QSize(1280, 1024));
    QString first;
    EXPECT_EQ(
        patternMismatches(second.image, QRect(80, 100, 300, 200), QPoint(80, 100), 0xbb, &first), 0)
        << first.toStdString();
    EXPECT_EQ(colourMismatches(second.image, QRect(0, 600, 280, 200), 0x00cc00), 0);
    EXPECT_FALSE(find(second.targets, onLeft));
    ASSERT_TRUE(find(second.targets, onRight));
    ASSERT_TRUE(find(second.targets, across));
    EXPECT_EQ(find(second.targets, onRight)->rect, Rect(80, 724, 300, 200));
    EXPECT_EQ(find(second.targets, across)->rect, Rect(0, 224, 280, 200));

    const DisplayCapture::Snapshot primary = snapshot(left);
    ASSERT_EQ(primary.image.size(), QSize(1920, 1080));
    EXPECT_EQ(colourMismatches(primary.image, QRect(100, 100, 300, 200), 0xaa0000), 0);
    EXPECT_FALSE(find(primary.targets, onRight));
    ASSERT_TRUE(find(primary.targets, across));
    EXPECT_EQ(find(primary.targets, across)->rect, Rect(1800, 280, 120, 200));

    // A window captured on the second screen goes back to the same place.
    const WindowCapture::Outcome outcome = captureWindow(onRight, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->quartzFrame, Rect(2000, 100, 300, 200));
    EXPECT_EQ(WindowTarget::editorRect(window->quartzFrame, DesktopSpace::desktopFrame(right),
                                       DesktopSpace::primaryTop()),
              Rect(80, 724, 300, 200));
}
