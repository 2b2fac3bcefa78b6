#include "overlay/ViewPixelMapping.h"

#include <gtest/gtest.h>

namespace ViewPixelMapping = kelpie::ViewPixelMapping;
using Position = ViewPixelMapping::PixelPosition;

TEST(ViewPixelMapping, BottomRowOfTheViewIsTheLastImageRow)
{
    EXPECT_EQ(ViewPixelMapping::pixel({0, 0}, {500, 250}, 1000, 500), (Position{0, 499}));
    EXPECT_EQ(ViewPixelMapping::pixel({250, 0.4}, {500, 250}, 1000, 500), (Position{500, 499}));
}

TEST(ViewPixelMapping, TopAndRightEdgesOfTheViewAreOutside)
{
    EXPECT_FALSE(ViewPixelMapping::pixel({10, 250}, {500, 250}, 1000, 500));
    EXPECT_FALSE(ViewPixelMapping::pixel({500, 10}, {500, 250}, 1000, 500));
    EXPECT_FALSE(ViewPixelMapping::pixel({-0.1, 10}, {500, 250}, 1000, 500));
    // Just under the top edge is the first image row.
    EXPECT_EQ(ViewPixelMapping::pixel({499.99, 249.99}, {500, 250}, 1000, 500), (Position{999, 0}));
}

TEST(ViewPixelMapping, ScalesByImageOverViewPerAxis)
{
    // 3 pixels per point across, 1 down: point (10.5, 20) lies in column 31
    // and 20 rows up from the bottom of a 100-row image.
    EXPECT_EQ(ViewPixelMapping::pixel({10.5, 20}, {100, 100}, 300, 100), (Position{31, 79}));
    EXPECT_FALSE(ViewPixelMapping::pixel({1, 1}, {0, 100}, 300, 100));
    EXPECT_FALSE(ViewPixelMapping::pixel({1, 1}, {100, 100}, 0, 100));
}
