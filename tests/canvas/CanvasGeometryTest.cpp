#include "canvas/CanvasGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kelpie {
namespace {

constexpr Size image{400, 300};

TEST(CanvasGeometry, ContentIsCentredAndMapsBothWays)
{
    const Rect content = CanvasGeometry::contentRect({1000, 300}, image);
    EXPECT_EQ(content, Rect(300, 0, 400, 300));
    EXPECT_EQ(CanvasGeometry::canonical({300, 0}, content, image, false), (Point{0, 0}));
    EXPECT_EQ(CanvasGeometry::canonical({299, 10}, content, image, false), std::nullopt);
    EXPECT_EQ(CanvasGeometry::canonical({299, 10}, content, image, true), (Point{0, 10}));
    EXPECT_EQ(CanvasGeometry::viewPoint({100, 50}, content, image), (Point{400, 50}));
    // A view with no area maps nothing.
    EXPECT_EQ(
        CanvasGeometry::canonical({0, 0}, CanvasGeometry::contentRect({0, 0}, image), image, true),
        std::nullopt);
}

TEST(CanvasGeometry, ShiftSnapsToFortyFiveDegreesAndClamps)
{
    const Point origin{100, 100};
    const Point nearlyFlat = CanvasGeometry::snapped({200, 110}, origin, true, image);
    EXPECT_NEAR(nearlyFlat.y, 100, 1e-9);
    EXPECT_NEAR(nearlyFlat.x, 100 + std::hypot(100, 10), 1e-9);
    const Point diagonal = CanvasGeometry::snapped({150, 140}, origin, true, image);
    EXPECT_NEAR(diagonal.x - 100, diagonal.y - 100, 1e-9);
    // Far down-left along the diagonal: clamped into the image.
    const Point clamped = CanvasGeometry::snapped({-300, -250}, origin, true, image);
    EXPECT_EQ(clamped, (Point{0, 0}));
    EXPECT_EQ(CanvasGeometry::snapped({150, 140}, origin, false, image), (Point{150, 140}));
}

TEST(CanvasGeometry, ContainedDeltaStopsAtEveryEdge)
{
    const Rect box(10, 20, 50, 50);
    EXPECT_EQ(CanvasGeometry::containedDelta(box, -30, 500, image), (Point{-10, 230}));
    EXPECT_EQ(CanvasGeometry::containedDelta(box, 1000, -1000, image), (Point{340, -20}));
}

TEST(CanvasGeometry, BadgesStayInsideEvenOnTinyImages)
{
    EXPECT_EQ(CanvasGeometry::badgeBox({399, 1}, 4, image), Rect(368, 0, 32, 32));
    // Radius limited to half the shorter side.
    EXPECT_EQ(CanvasGeometry::badgeBox({0, 0}, 20, {30, 20}), Rect(0, 0, 20, 20));
}

} // namespace
} // namespace kelpie
