#include "editor/ScreenshotBorder.h"

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

const Rect bounds(0, 0, 1440, 900);
constexpr Size badge{100, 20};

} // namespace

TEST(ScreenshotBorder, BadgeTextShowsWholePixels)
{
    EXPECT_EQ(ScreenshotBorder::badgeText(Size{1280.9, 720.2}), QStringLiteral("1280 × 720 px"));
    EXPECT_EQ(ScreenshotBorder::badgeText(Size{0, 3}), QStringLiteral("0 × 3 px"));
}

TEST(ScreenshotBorder, BadgeSitsAboveTheCropsTopLeftInsideTheView)
{
    EXPECT_EQ(ScreenshotBorder::badgeRect(badge, Rect(100, 100, 400, 300), bounds, std::nullopt),
              Rect(100, 410, 100, 20));
    // Kept 8 points inside the right, left and top edges.
    EXPECT_EQ(ScreenshotBorder::badgeRect(badge, Rect(1400, 100, 40, 795), bounds, std::nullopt),
              Rect(1332, 872, 100, 20));
    EXPECT_EQ(ScreenshotBorder::badgeRect(badge, Rect(0, 100, 40, 40), bounds, std::nullopt),
              Rect(8, 150, 100, 20));
}

TEST(ScreenshotBorder, BadgeJumpsLeftOfTheCropWhenItWouldCoverTheToolbar)
{
    // The crop on the bottom edge has its tool bar above it.
    const Rect toolbar(250, 314, 500, 44);
    EXPECT_EQ(ScreenshotBorder::badgeRect(badge, Rect(300, 0, 400, 300), bounds, toolbar),
              Rect(192, 272, 100, 20));
    // No room on the left: 8 points right of where it was, inside the crop.
    EXPECT_EQ(
        ScreenshotBorder::badgeRect(badge, Rect(100, 0, 400, 300), bounds, Rect(50, 314, 500, 44)),
        Rect(108, 272, 100, 20));
    // A tool bar elsewhere leaves the badge alone.
    EXPECT_EQ(
        ScreenshotBorder::badgeRect(badge, Rect(300, 0, 400, 300), bounds, Rect(250, 500, 500, 44)),
        Rect(300, 310, 100, 20));
}

TEST(ScreenshotBorder, ShortCropAtTheTopKeepsTheJumpedBadgeOnScreen)
{
    const Rect crop(300, 870, 400, 20);
    const Rect toolbar(250, 850, 500, 44);
    const Rect r = ScreenshotBorder::badgeRect(badge, crop, bounds, toolbar);
    EXPECT_EQ(r.minX(), 192);
    EXPECT_EQ(r.minY(), 862);
    EXPECT_LE(r.maxY(), 900 - 8);
}
