#include "canvas/CanvasGeometry.h"

#include "canvas/StrokeSimplifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

TEST(StrokeSimplifier, DropsWhatCarriesNoShapeAndKeepsTheRest)
{
    QList<Point> points;
    StrokeSimplifier stroke;
    stroke.extend(points, {0, 0});
    stroke.extend(points, {0.3, 0}); // closer than half a pixel
    EXPECT_EQ(points.size(), 1);
    for (int i = 1; i <= 100; ++i)
        stroke.extend(points, {double(i), 0.05 * (i % 2)});
    // A straight run, wobbling far below a pixel, needs only its ends...
    EXPECT_LE(points.size(), 4);
    EXPECT_EQ(points.back(), (Point{100, 0}));
    // ...while a corner is kept.
    stroke.extend(points, {100, 50});
    EXPECT_EQ(points[points.size() - 2], (Point{100, 0}));

    // A jittery scribble keeps every sample a fifth of a pixel off the path.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-3, 3);
    QList<Point> all;
    QList<Point> kept;
    StrokeSimplifier scribble;
    for (int i = 0; i < 2000; ++i) {
        const Point p{200 + 100 * std::cos(i * 0.01) + jitter(random),
                      150 + 100 * std::sin(i * 0.013) + jitter(random)};
        all.append(p);
        scribble.extend(kept, p);
    }
    const auto distanceToPath = [&](Point p) {
        double best = 1e9;
        for (qsizetype i = 1; i < kept.size(); ++i) {
            const Point a = kept[i - 1];
            const Point b = kept[i];
            const double dx = b.x - a.x;
            const double dy = b.y - a.y;
            const double length = dx * dx + dy * dy;
            const double t = length > 0
                ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length, 0.0, 1.0)
                : 0.0;
            best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
        }
        return best;
    };
    for (Point p : all)
        EXPECT_LE(distanceToPath(p), StrokeSimplifier::minimumStep + 1e-9);
}

} // namespace
} // namespace kelpie
