#include "editor/ImageWindowGeometry.h"

#include "editor/ImageWindowDrag.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kelpie;
namespace G = ImageWindowGeometry;

namespace {

void expectSize(Size actual, double width, double height)
{
    EXPECT_DOUBLE_EQ(actual.width, width);
    EXPECT_NEAR(actual.height, height, 0.05);
}

} // namespace

TEST(ImageWindowGeometry, PlainEditorFollowsTheCropWithinItsBounds)
{
    // Width raised to 880, height 200/300 × 880 + 100.
    expectSize(G::plainEditorSize({300, 200}), 880, 686.7);
    // Width capped at 1040; 3000/4000 × 1040 + 100 = 880, capped at 780.
    expectSize(G::plainEditorSize({4000, 3000}), 1040, 780);
    // Height raised to the minimum.
    expectSize(G::plainEditorSize({100, 20}), 880, 360);
    // Inside the bounds the width is the image's own.
    expectSize(G::plainEditorSize({960, 300}), 960, 400);
}

TEST(ImageWindowGeometry, PlainEditorOfAnImageWithoutAreaIsTheSmallestEditor)
{
    expectSize(G::plainEditorSize({0, 0}), 880, 360);
    expectSize(G::plainEditorSize({0, 500}), 880, 360);
    expectSize(G::plainEditorSize({std::numeric_limits<double>::quiet_NaN(), 10}), 880, 360);
}

TEST(ImageWindowGeometry, PlainMinimumSizeByModeAndStyleRow)
{
    expectSize(G::plainMinimumSize(true, true), 880, 480);
    expectSize(G::plainMinimumSize(true, false), 880, 300);
    expectSize(G::plainMinimumSize(false, false), 420, 260);
}

TEST(ImageWindowGeometry, PinMinimumHasA32PointLongerSideAtTheImagesAspect)
{
    expectSize(G::pinMinimumSize({400, 200}), 32, 16);
    expectSize(G::pinMinimumSize({200, 400}), 16, 32);
    expectSize(G::pinMinimumSize({300, 300}), 32, 32);
    expectSize(G::pinMinimumSize({1, 2000}), 0.016, 32);
    expectSize(G::pinMinimumSize({0, 0}), 32, 32);
}

TEST(ImageWindowGeometry, ZoomKeepsTheCentreAndStaysBetweenMinimumAndScreen)
{
    const Rect frame(100, 100, 400, 200);
    EXPECT_EQ(G::zoomed(frame, 1.5, {32, 16}, {1440, 875}), Rect(0, 50, 600, 300));
    EXPECT_EQ(G::zoomed(frame, 0.01, {32, 16}, {1440, 875}), Rect(284, 192, 32, 16));
    // Each axis is capped at the visible size on its own.
    EXPECT_EQ(G::zoomed(frame, 10, {32, 16}, {1440, 875}), Rect(-420, -237.5, 1440, 875));
}

TEST(ImageWindowGeometry, ClampedIntoTheVisibleFrame)
{
    const Rect visible(0, 25, 1440, 875);
    EXPECT_EQ(G::clampedInto(Rect(100, 100, 300, 200), visible), Rect(100, 100, 300, 200));
    EXPECT_EQ(G::clampedInto(Rect(1300, -50, 300, 200), visible), Rect(1140, 25, 300, 200));
    EXPECT_EQ(G::clampedInto(Rect(-10, 800, 3000, 2000), visible), Rect(0, 25, 1440, 875));
}

TEST(ImageWindowGeometry, DesktopSpaceFlipsAboutThePrimaryScreensBottom)
{
    const Rect primary(0, 0, 1440, 900);
    // A window 100 points below the primary screen's top edge.
    const Rect logical(200, 100, 400, 300);
    const Rect desktop = G::desktopRect(logical, primary);
    EXPECT_EQ(desktop, Rect(200, 500, 400, 300));
    EXPECT_EQ(G::logicalRect(desktop, primary), logical);
    // A primary screen that Qt does not put at the origin.
    const Rect shifted(1920, 180, 1440, 900);
    EXPECT_EQ(G::logicalRect(G::desktopRect(logical, shifted), shifted), logical);
    EXPECT_EQ(G::desktopRect(shifted, shifted), Rect(0, 0, 1440, 900));
}

TEST(ImageWindowDrag, OriginFollowsThePointerFromThePress)
{
    ImageWindowDrag drag;
    EXPECT_FALSE(drag.moved(QPoint(10, 10))) << "no press, no drag";
    drag.press(QPoint(500, 400), QPoint(300, 200));
    EXPECT_TRUE(drag.active());
    EXPECT_FALSE(drag.ended());
    EXPECT_EQ(drag.moved(QPoint(520, 390)), QPoint(320, 190));
    EXPECT_EQ(drag.moved(QPoint(480, 400)), QPoint(280, 200)) << "always from the press";
    drag.release();
    EXPECT_TRUE(drag.ended());
    EXPECT_FALSE(drag.moved(QPoint(600, 600)));
    drag.press(QPoint(0, 0), QPoint(5, 5));
    EXPECT_FALSE(drag.ended());
}
