// Window targets and the capture of one window, against a fake service:
// filtering, order, the mapping from device pixels to screen-local points
// on screens with their own origin and scale, owner checks and cancellation.

#include "capture/WindowCapture.h"

#include "FakeCaptureService.h"
#include "capture/DesktopSpace.h"

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::testing::FakeCaptureService;
using kelpie::testing::settle;
using Outcome = WindowCapture::Outcome;
using CaptureError = WindowCapture::CaptureError;
using Screen = CaptureService::Screen;

namespace {

constexpr std::int32_t ownPID = 4242;

ShareableContent::Window window(std::uint32_t id, Rect frame, std::optional<std::int32_t> pid = 100)
{
    ShareableContent::Window w;
    w.windowID = id;
    w.onScreen = true;
    w.ownerPID = pid;
    w.nativeFrame = frame;
    return w;
}

// Two screens as Qt arranges them: the primary at the origin and a second
// one to its right, each keeping its device origin.
struct TwoScreens {
    ShareableContent content;
    std::vector<Screen> screens;

    TwoScreens(double secondScale)
    {
        content.displays = {
            {1, Rect(0, 0, 1440, 900), 1, Rect(0, 0, 1440, 900)},
            {2, Rect(0, 0, 1920 / secondScale, 1080 / secondScale), secondScale,
             Rect(1440, 0, 1920, 1080)},
        };
        screens = {{1, Rect(0, 0, 1440, 900)},
                   {2, Rect(1440, 0, 1920 / secondScale, 1080 / secondScale)}};
    }
};

} // namespace

TEST(WindowTargets, KeepOnlyPickableWindowsFrontMostFirst)
{
    ShareableContent content;
    content.displays = {{1, Rect(0, 0, 1440, 900), 1, Rect(0, 0, 1440, 900)}};
    auto hidden = window(2, Rect(10, 10, 50, 50));
    hidden.onScreen = false;
    auto dock = window(3, Rect(0, 860, 1440, 40));
    dock.windowLayer = ShareableContent::otherLayer;
    content.windows = {window(1, Rect(100, 100, 300, 200)),
                       hidden,
                       dock,
                       window(4, Rect(0, 0, 1440, 900), ownPID),
                       window(5, Rect(20, 20, 30, 30), std::nullopt),
                       window(6, Rect(1440, 0, 100, 100)), // beside the screen
                       window(7, Rect(-200, -100, 600, 400)),
                       window(8, Rect(150, 150, 300, 200))};
    const std::vector<Screen> screens{{1, Rect(0, 0, 1440, 900)}};

    const auto targets = WindowCapture::targets(content, screens.front(), screens, ownPID);
    // Clipped to the screen, y up from its bottom edge.
    EXPECT_EQ(targets,
              (std::vector<WindowTarget>{{1, 100, Rect(100, 600, 300, 200)},
                                         {7, 100, Rect(0, 600, 400, 300)},
                                         {8, 100, Rect(150, 550, 300, 200)}}));
    // In the overlap of 1 and 8 the front-most wins.
    EXPECT_EQ(WindowTarget::hit(Point{200, 650}, targets)->id, 1u);
    EXPECT_EQ(WindowTarget::hit(Point{420, 560}, targets)->id, 8u);
}

TEST(WindowTargets, FollowTheCapturedScreensOwnOriginAndScale)
{
    // A second screen whose frame in global desktop space is
    // (1440, −180, 1920, 1080): a window at Quartz (1540, 300) lies 100
    // points from its left and 180 from its bottom.
    TwoScreens plain(1);
    EXPECT_EQ(DesktopSpace::desktopFrame(plain.screens[1].frame, plain.screens[0].frame),
              Rect(1440, -180, 1920, 1080));
    plain.content.windows
        = {window(1, Rect(1540, 300, 800, 600)), window(2, Rect(100, 100, 300, 200))};
    EXPECT_EQ(WindowCapture::targets(plain.content, plain.screens[1], plain.screens, ownPID),
              (std::vector<WindowTarget>{{1, 100, Rect(100, 180, 800, 600)}}))
        << "windows of the primary screen do not show on the second";

    // At twice the density the second screen has half the points but keeps
    // its origin: device pixel 1540 is 1440 + 100 / 2 points.
    TwoScreens dense(2);
    dense.content.windows = {window(1, Rect(1540, 300, 800, 600))};
    EXPECT_EQ(WindowCapture::targets(dense.content, dense.screens[1], dense.screens, ownPID),
              (std::vector<WindowTarget>{{1, 100, Rect(50, 90, 400, 300)}}));
    EXPECT_TRUE(
        WindowCapture::targets(dense.content, Screen{9, Rect(0, 0, 10, 10)}, dense.screens, ownPID)
            .empty())
        << "an unlisted display has no targets";
    EXPECT_TRUE(WindowCapture::targets(dense.content, dense.screens[1], {}, ownPID).empty());
}

TEST(WindowTargets, EditorRectOfACapturedFrameKeepsItsFullSize)
{
    // A window hanging off the second screen's right edge: the target is
    // clipped, the editor rectangle from the capture's Quartz frame is not.
    TwoScreens dense(2);
    const Rect native(3000, 200, 800, 400); // 440 device pixels past the edge
    dense.content.windows = {window(1, native)};
    const auto targets
        = WindowCapture::targets(dense.content, dense.screens[1], dense.screens, ownPID);
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].rect, Rect(780, 240, 180, 200));

    const Rect quartz = WindowCapture::quartzFrame(native, dense.content, dense.screens);
    EXPECT_EQ(quartz, Rect(2220, 100, 400, 200));
    const Rect secondFrame
        = DesktopSpace::desktopFrame(dense.screens[1].frame, dense.screens[0].frame);
    EXPECT_EQ(WindowTarget::editorRect(quartz, secondFrame, 900), Rect(780, 240, 400, 200));

    // A frame on no display maps as on the primary screen (one point per pixel).
    EXPECT_EQ(WindowCapture::quartzFrame(Rect(5000, 0, 10, 10), dense.content, dense.screens),
              Rect(5000, 0, 10, 10));
}

namespace {

class WindowCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TwoScreens dense(2);
        service->currentScreens = dense.screens;
        content = dense.content;
        content.windows = {window(21, Rect(1540, 300, 800, 600), 300)};
    }

    template<typename T> static T outcomeOf(const QFuture<T>& future)
    {
        EXPECT_TRUE(settle(future));
        EXPECT_FALSE(future.isCanceled());
        if (future.resultCount() != 1)
            return T(CaptureError::system, "the capture gave no outcome");
        return future.result();
    }

    std::shared_ptr<FakeCaptureService> service = std::make_shared<FakeCaptureService>();
    ShareableContent content;
    QImage image = QImage(800, 600, QImage::Format_RGB32);
};

} // namespace

TEST_F(WindowCaptureTest, CapturesTheWholeWindowAtItsDevicePixels)
{
    service->contentAnswer = content;
    service->imageAnswer = image;
    const Outcome outcome = outcomeOf(WindowCapture::captureSnapshot(service, 21, 300));
    ASSERT_EQ(service->windowRequests.size(), 1u);
    EXPECT_EQ(service->windowRequests[0].window, content.windows[0]);
    EXPECT_EQ(service->windowRequests[0].size, (PixelLimits::PixelSize{800, 600}));
    const auto* snapshot = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(snapshot, nullptr);
    EXPECT_EQ(snapshot->image.cacheKey(), image.cacheKey());
    // On the second screen at 2×: 1440 + 100 / 2 points across, 300 / 2 down.
    EXPECT_EQ(snapshot->quartzFrame, Rect(1490, 150, 400, 300));

    const auto plain = outcomeOf(WindowCapture::capture(service, 21, 300));
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain->cacheKey(), image.cacheKey());
}

TEST_F(WindowCaptureTest, GoneHiddenOrForeignWindowsAreMissing)
{
    service->imageAnswer = image;
    auto check = [&](const ShareableContent& listed, std::uint32_t id, std::int32_t pid,
                     const char* what) {
        service->contentAnswer = listed;
        const Outcome outcome = outcomeOf(WindowCapture::captureSnapshot(service, id, pid));
        ASSERT_FALSE(outcome.ok()) << what;
        EXPECT_EQ(outcome.error(), CaptureError::missing) << what;
    };
    check(content, 22, 300, "closed");
    check(content, 21, 301, "another owner under the same number");
    ShareableContent hidden = content;
    hidden.windows[0].onScreen = false;
    check(hidden, 21, 300, "hidden");
    ShareableContent ownerless = content;
    ownerless.windows[0].ownerPID.reset();
    check(ownerless, 21, 300, "owner unknown");
    EXPECT_TRUE(service->windowRequests.empty());

    service->access = false;
    EXPECT_EQ(outcomeOf(WindowCapture::captureSnapshot(service, 21, 300)).error(),
              CaptureError::permission);
}

TEST_F(WindowCaptureTest, OversizedWindowsAndServiceErrors)
{
    ShareableContent huge = content;
    huge.windows[0].nativeFrame = Rect(0, 0, 40000, 100);
    service->contentAnswer = huge;
    EXPECT_EQ(outcomeOf(WindowCapture::captureSnapshot(service, 21, 300)).error(),
              CaptureError::unsupportedSize);

    const Failure<CaptureError> failure{CaptureError::system, "BadMatch"};
    service->contentAnswer = content;
    service->imageAnswer = failure;
    EXPECT_EQ(outcomeOf(WindowCapture::capture(service, 21, 300)).failure(), failure);
}

TEST_F(WindowCaptureTest, CancellationIsHonouredAfterListingAndAfterTheImage)
{
    QFuture<Outcome> listing = WindowCapture::captureSnapshot(service, 21, 300);
    listing.cancel();
    service->contentRequests.back().answer(content);
    ASSERT_TRUE(settle(listing));
    EXPECT_TRUE(listing.isCanceled());
    EXPECT_TRUE(service->windowRequests.empty());

    service->contentAnswer = content;
    QFuture<WindowCapture::ImageOutcome> grabbing = WindowCapture::capture(service, 21, 300);
    settle(grabbing);
    ASSERT_EQ(service->windowRequests.size(), 1u);
    grabbing.cancel();
    settle(grabbing);
    EXPECT_FALSE(grabbing.isFinished());
    service->windowRequests.back().answer(image);
    ASSERT_TRUE(settle(grabbing));
    EXPECT_TRUE(grabbing.isCanceled());
    EXPECT_EQ(grabbing.resultCount(), 0);
}
