#include "editor/ScreenshotLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kelpie;

namespace {

constexpr Size screen{1440, 900};
constexpr Size toolbar{500, 44};
constexpr Size none{0, 0};

std::optional<ScreenshotPlacement> layout(const Rect& region, Size parameters = none,
                                          Size viewport = screen, bool outside = false)
{
    return ScreenshotLayout::make(screen, region, viewport, toolbar, parameters, outside);
}

} // namespace

TEST(ScreenshotLayout, ToolbarGoesUnderTheCropWhenThereIsRoom)
{
    const auto placement = layout(Rect(100, 100, 400, 300));
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->background, Rect(0, 0, 1440, 900));
    EXPECT_EQ(placement->image, Rect(100, 100, 400, 300));
    // roomBelow = 100 − 14 − 44 − 12 = 30; x = 300 − 250.
    EXPECT_EQ(placement->toolbar, Rect(50, 42, 500, 44));
    EXPECT_FALSE(placement->parameters);
}

TEST(ScreenshotLayout, CropOnTheBottomEdgePutsTheToolbarAbove)
{
    const auto placement = layout(Rect(100, 0, 400, 300));
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->toolbar, Rect(50, 314, 500, 44));
}

TEST(ScreenshotLayout, ToolbarKeepsTwelvePointsFromTheSides)
{
    const auto left = layout(Rect(0, 400, 60, 60));
    ASSERT_TRUE(left);
    EXPECT_EQ(left->toolbar.minX(), 12);
    const auto right = layout(Rect(1380, 840, 60, 60));
    ASSERT_TRUE(right);
    EXPECT_EQ(right->toolbar.maxX(), 1440 - 12);
    // At the top corner the bar goes below the crop.
    EXPECT_EQ(right->toolbar.minY(), 840 - 14 - 44);

    // A bar wider than the viewport shrinks to the viewport less both margins.
    const auto wide
        = ScreenshotLayout::make(screen, Rect(0, 0, 100, 100), screen, Size{2000, 44}, none, false);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->toolbar.minX(), 12);
    EXPECT_EQ(wide->toolbar.width(), 1440 - 24);
}

TEST(ScreenshotLayout, ParameterPanelSitsBelowOrAboveTheToolbar)
{
    const Size parameters{600, 80};
    // Below the crop there are 230 points: both panels go there.
    const auto below = layout(Rect(100, 300, 400, 300), parameters);
    ASSERT_TRUE(below && below->parameters);
    EXPECT_EQ(below->toolbar, Rect(50, 242, 500, 44));
    EXPECT_EQ(*below->parameters, Rect(58, 242 - 8 - 80, 600, 80));

    // Only 30 points below: both go above the crop, parameters on top.
    const auto above = layout(Rect(100, 100, 400, 300), parameters);
    ASSERT_TRUE(above && above->parameters);
    EXPECT_EQ(above->toolbar, Rect(50, 414, 500, 44));
    EXPECT_EQ(*above->parameters, Rect(58, 414 + 44 + 8, 600, 80));

    // A panel that would cross the right margin is pulled in.
    const auto right = layout(Rect(1300, 300, 140, 300), parameters);
    ASSERT_TRUE(right && right->parameters);
    EXPECT_EQ(right->parameters->maxX(), 1440 - 12);
}

TEST(ScreenshotLayout, TallCropsPickTheSideWithMoreRoom)
{
    // 2 points of room below, none above: the bar still goes below.
    const auto below = layout(Rect(100, 72, 400, 760));
    ASSERT_TRUE(below);
    EXPECT_EQ(below->toolbar.minY(), 14);

    // More room above than below, but not enough: as high as the top margin allows.
    const auto above = layout(Rect(0, 0, 1440, 880));
    ASSERT_TRUE(above);
    EXPECT_EQ(above->toolbar.minY(), 900 - 12 - 44);
}

TEST(ScreenshotLayout, CropCoveringTheScreenKeepsTheToolbarOnScreen)
{
    // No room on either side: the bar lies over the bottom of the crop, not
    // below the screen's edge.
    const auto full = layout(Rect(0, 0, 1440, 900));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->toolbar, Rect(470, 12, 500, 44));

    const auto withParameters = layout(Rect(0, 0, 1440, 900), Size{600, 80});
    ASSERT_TRUE(withParameters && withParameters->parameters);
    EXPECT_EQ(withParameters->toolbar.minY(), 12);
    EXPECT_EQ(withParameters->parameters->minY(), 12 + 44 + 8);
}

TEST(ScreenshotLayout, ScreenIsFittedAndCentredInASmallerViewport)
{
    const auto placement = layout(Rect(100, 100, 400, 300), none, Size{720, 900});
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->background, Rect(0, 225, 720, 450));
    EXPECT_EQ(placement->image, Rect(50, 275, 200, 150));
}

TEST(ScreenshotLayout, RegionPastTheEdgeIsLaidOutOnlyWhenAllowed)
{
    const Rect past(1300, 800, 300, 200);
    EXPECT_FALSE(layout(past));
    const auto allowed = layout(past, none, screen, true);
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->image, past);
    // Touching the capture along an edge, or missing it, is never enough.
    EXPECT_FALSE(layout(Rect(1440, 0, 10, 10), none, screen, true));
    EXPECT_FALSE(layout(Rect(2000, 0, 10, 10), none, screen, true));
}

TEST(ScreenshotLayout, SizesThatCannotBeLaidOutGiveNoPlacement)
{
    const Rect region(100, 100, 400, 300);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(layout(region, none, Size{24, 900}));
    EXPECT_FALSE(layout(region, none, Size{1440, 24}));
    EXPECT_TRUE(layout(region, none, Size{25, 25}));
    EXPECT_FALSE(layout(Rect(100, 100, 0, 300)));
    EXPECT_FALSE(layout(Rect(nan, 100, 400, 300)));
    EXPECT_FALSE(layout(region, Size{-1, 80}));
    EXPECT_FALSE(layout(region, Size{inf, 80}));
    EXPECT_FALSE(ScreenshotLayout::make(Size{0, 900}, region, screen, toolbar, none, false));
    EXPECT_FALSE(ScreenshotLayout::make(screen, region, screen, Size{500, 0}, none, false));
    // A parameter panel of no width is no panel, whatever its height.
    const auto noPanel = layout(region, Size{0, 80});
    ASSERT_TRUE(noPanel);
    EXPECT_FALSE(noPanel->parameters);
}
