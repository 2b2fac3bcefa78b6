#include "editor/ScreenshotAdjustment.h"

#include "editor/ScreenshotLayout.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kelpie;

namespace {

constexpr Size capture{1440, 900};
const Rect crop(100, 100, 400, 300);

// A re-crop over a 2× screen, laid out again after every change as the
// editor does, with recording callbacks.
struct Recrop {
    explicit Recrop(Size view = capture, Rect region = crop)
        : viewport(view), model(capture, Size{2880, 1800}, region)
    {
        model.onBegin = [this] { events.push_back("begin"); };
        model.onCancel = [this] { events.push_back("cancel"); };
        model.onChange = [this] { layout(); };
        model.onRegionChange = [this](const Rect& r) {
            asked.push_back(r);
            return accept;
        };
        layout();
    }
    void layout()
    {
        model.setPlacement(ScreenshotLayout::make(capture, model.region(), viewport, Size{500, 44},
                                                  Size{}, false));
    }
    void drag(Point from, Point to)
    {
        ASSERT_TRUE(model.press(from));
        model.drag(to);
    }

    Size viewport;
    ScreenshotAdjustment model;
    bool accept = false;
    std::vector<std::string> events;
    std::vector<Rect> asked;
};

} // namespace

TEST(ScreenshotAdjustment, TakesTheBorderBandAndTheOutsideButNotTheCropsInside)
{
    Recrop r;
    const Size bounds = capture;
    EXPECT_TRUE(r.model.takesPoint({50, 50}, bounds));
    EXPECT_TRUE(r.model.takesPoint({94, 250}, bounds));
    EXPECT_TRUE(r.model.takesPoint({106.9, 250}, bounds));
    EXPECT_FALSE(r.model.takesPoint({107, 250}, bounds));
    EXPECT_FALSE(r.model.takesPoint({300, 250}, bounds));
    EXPECT_TRUE(r.model.takesPoint({300, 394}, bounds));
    EXPECT_FALSE(r.model.takesPoint({-1, 50}, bounds));
    EXPECT_FALSE(r.model.takesPoint({50, 900}, bounds));

    r.model.canAdjust = false;
    EXPECT_FALSE(r.model.takesPoint({50, 50}, bounds));

    // A crop 14 points or less across is all border.
    Recrop thin(capture, Rect(100, 100, 14, 300));
    EXPECT_TRUE(thin.model.takesPoint({107, 250}, bounds));

    Recrop unplaced;
    unplaced.model.setPlacement(std::nullopt);
    EXPECT_FALSE(unplaced.model.takesPoint({50, 50}, bounds));
    EXPECT_FALSE(unplaced.model.press({50, 50}));
}

TEST(ScreenshotAdjustment, PressStartsOnlyWhileAdjustmentIsOffered)
{
    Recrop r;
    r.model.sourceGeometryAvailable = false;
    EXPECT_FALSE(r.model.press({50, 50}));
    r.model.sourceGeometryAvailable = true;
    r.model.canAdjust = false;
    EXPECT_FALSE(r.model.press({50, 50}));
    EXPECT_FALSE(r.model.isAdjusting());
    EXPECT_TRUE(r.events.empty());
}

TEST(ScreenshotAdjustment, HandleDragResizesOnWholeBackgroundPixels)
{
    Recrop r;
    r.drag({505, 395}, {600.3, 500.2});
    EXPECT_EQ(r.model.handle(), SelectionHandle(SelectionHandle::topRight));
    EXPECT_TRUE(r.model.isAdjusting());
    EXPECT_EQ(r.events, std::vector<std::string>{"begin"});
    // The corner moved to the pointer, then out to whole pixels of the 2× screen.
    EXPECT_EQ(r.model.region(), Rect(100, 100, 500.5, 400.5));
    // The layout follows the live region.
    ASSERT_TRUE(r.model.placement());
    EXPECT_EQ(r.model.placement()->image, r.model.region());
}

TEST(ScreenshotAdjustment, HandleDraggedPastTheOppositeEdgeFlipsTheCrop)
{
    Recrop r;
    r.drag({100, 250}, {700, 260});
    EXPECT_EQ(r.model.handle(), SelectionHandle(SelectionHandle::left));
    EXPECT_EQ(r.model.region(), Rect(500, 100, 200, 300));
    // Onto the fixed edge itself: one background pixel wide, not empty.
    r.model.drag({500, 260});
    EXPECT_EQ(r.model.region(), Rect(499.5, 100, 0.5, 300));
}

TEST(ScreenshotAdjustment, BadgeFollowsTheLiveRegionInBackgroundPixels)
{
    Recrop r;
    const Size cropPixels{800, 600};
    EXPECT_EQ(r.model.badgePixels(cropPixels), cropPixels);
    r.drag({505, 395}, {700, 500});
    EXPECT_EQ(r.model.badgePixels(cropPixels), (Size{1200, 800}));
    r.model.cancel();
    EXPECT_EQ(r.model.badgePixels(cropPixels), cropPixels);
}

TEST(ScreenshotAdjustment, BorderAwayFromHandlesMovesTheCropWithinTheCapture)
{
    Recrop r;
    r.drag({100, 150}, {150, 170});
    EXPECT_FALSE(r.model.handle());
    EXPECT_TRUE(r.model.moving());
    EXPECT_EQ(r.model.region(), Rect(150, 120, 400, 300));
    // Pushed against the top-right corner, it keeps its size.
    r.model.drag({2000, 2000});
    EXPECT_EQ(r.model.region(), Rect(1040, 600, 400, 300));
}

TEST(ScreenshotAdjustment, PressAwayFromTheCropDrawsANewRegion)
{
    Recrop r;
    r.drag({900, 700}, {800.2, 600.2});
    EXPECT_FALSE(r.model.moving());
    EXPECT_FALSE(r.model.handle());
    EXPECT_EQ(r.model.region(), Rect(800, 600, 100, 100));
}

TEST(ScreenshotAdjustment, GrabToleranceIsSevenViewPoints)
{
    // The screen shown at half size: 7 view points are 14 capture points.
    Recrop r(Size{720, 450});
    ASSERT_EQ(r.model.placement()->background, Rect(0, 0, 720, 450));
    ASSERT_TRUE(r.model.press({(500 + 13.5) / 2, (400 + 13.5) / 2}));
    EXPECT_EQ(r.model.handle(), SelectionHandle(SelectionHandle::topRight));
    r.model.cancel();
    // 15 capture points off the corner is outside the crop's reach altogether.
    ASSERT_TRUE(r.model.press({(500 + 15) / 2.0, (400 + 15) / 2.0}));
    EXPECT_FALSE(r.model.handle());
    EXPECT_FALSE(r.model.moving());
    r.model.cancel();
    // 13 above the top edge, away from its handles, grabs the border.
    ASSERT_TRUE(r.model.press({400.0 / 2, 413.0 / 2}));
    EXPECT_FALSE(r.model.handle());
    EXPECT_TRUE(r.model.moving());
    // Pointer positions past the screen's edge count as its edge.
    EXPECT_EQ(r.model.capturePoint({-30, 500}), (Point{0, 900}));
}

TEST(ScreenshotAdjustment, AcceptedRegionIsHandedOverWithoutCancel)
{
    Recrop r;
    r.accept = true;
    r.drag({505, 395}, {600, 500});
    r.model.release();
    EXPECT_EQ(r.asked, std::vector<Rect>{Rect(100, 100, 500, 400)});
    EXPECT_EQ(r.events, std::vector<std::string>{"begin"});
    EXPECT_FALSE(r.model.isAdjusting());
}

TEST(ScreenshotAdjustment, RefusedRegionSnapsBack)
{
    Recrop r;
    r.drag({505, 395}, {600, 500});
    r.model.release();
    EXPECT_EQ(r.asked.size(), 1u);
    EXPECT_EQ(r.model.region(), crop);
    EXPECT_EQ(r.model.placement()->image, crop);
    EXPECT_EQ(r.events, (std::vector<std::string>{"begin", "cancel"}));
    EXPECT_FALSE(r.model.isAdjusting());
}

TEST(ScreenshotAdjustment, UnchangedOrEmptyRegionCancelsWithoutAsking)
{
    Recrop r;
    r.accept = true;
    ASSERT_TRUE(r.model.press({100, 150}));
    r.model.drag({100, 150});
    r.model.release();
    // A line has no area.
    r.drag({900, 700}, {900, 800});
    EXPECT_EQ(r.model.region().width(), 0);
    r.model.release();
    EXPECT_TRUE(r.asked.empty());
    EXPECT_EQ(r.model.region(), crop);
    EXPECT_EQ(r.events, (std::vector<std::string>{"begin", "cancel", "begin", "cancel"}));
}

TEST(ScreenshotAdjustment, EscapeCancelsOnlyARunningRecrop)
{
    Recrop r;
    EXPECT_FALSE(r.model.cancelKey());
    r.drag({505, 395}, {600, 500});
    EXPECT_TRUE(r.model.cancelKey());
    EXPECT_EQ(r.model.region(), crop);
    EXPECT_FALSE(r.model.isAdjusting());
    EXPECT_FALSE(r.model.handle());
    // A late drag or release after the cancel changes nothing.
    r.model.drag({700, 700});
    r.model.release();
    EXPECT_EQ(r.model.region(), crop);
    EXPECT_TRUE(r.asked.empty());
}

TEST(ScreenshotAdjustment, CancelWithoutAGestureKeepsTheCrop)
{
    Recrop r;
    r.model.cancel();
    EXPECT_EQ(r.model.region(), crop);
    EXPECT_TRUE(r.model.placement());
}
