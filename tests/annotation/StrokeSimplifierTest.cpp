#include "annotation/StrokeSimplifier.h"

#include "RendererSamples.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/AnnotationStyle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace kelpie;

namespace {

double segmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// How far the samples stray from the kept polyline: the kept points are
// some of the samples, in order, and each sample is measured against the
// piece between the kept points around it.
double farthest(const QList<Point>& samples, const QList<Point>& kept)
{
    double worst = 0;
    qsizetype next = 1;
    for (const Point& p : samples) {
        worst = std::max(worst, segmentDistance(p, kept[next - 1], kept[next]));
        if (p == kept[next] && next + 1 < kept.size())
            ++next;
    }
    return worst;
}

QImage penRender(const QList<Point>& points, double width, QSize size)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::pen, 1);
    style.color = AnnotationColor(0, 0, 0);
    style.width = width;
    QImage base(size, QImage::Format_RGB32);
    base.fill(Qt::white);
    return *AnnotationRenderer::render(
        base,
        {AnnotationObject(AnnotationTool::pen, style, points.front(), points.back(), points)});
}

} // namespace

TEST(StrokeSimplifier, KeepsEndsTurnsAndEverySampleWithinTheTolerance)
{
    StrokeSimplifier simplifier;
    simplifier.append({10, 10});
    EXPECT_EQ(simplifier.points(), (QList<Point>{{10, 10}}));
    simplifier.append({10, 10}); // the same sample again adds nothing
    EXPECT_EQ(simplifier.points().size(), 1);

    // A straight run keeps its ends and pieces of at most 8 × tolerance.
    for (int i = 1; i <= 100; ++i)
        simplifier.append({10 + i * 0.1, 10});
    EXPECT_EQ(simplifier.points().back(), (Point{20, 10}));
    EXPECT_LE(simplifier.points().size(), 2 + 10 / (8 * StrokeSimplifier::defaultTolerance));
    // Then a sharp turn: the corner stays.
    for (int i = 1; i <= 100; ++i)
        simplifier.append({20, 10 + i * 0.1});
    const QList<Point> kept = simplifier.points();
    EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), [](Point p) {
        return std::hypot(p.x - 20, p.y - 10) <= StrokeSimplifier::defaultTolerance;
    }));
    EXPECT_EQ(kept.back(), (Point{20, 20}));
    simplifier.clear();
    EXPECT_TRUE(simplifier.points().isEmpty());

    for (double tolerance : {0.1, 0.25, 1.0}) {
        for (unsigned seed : {1u, 2u, 3u}) {
            const QList<Point> samples = test::jitteryStroke(20000, QSizeF(300, 200), 0.3, seed);
            const QList<Point> thinned = StrokeSimplifier::simplified(samples, tolerance);
            EXPECT_EQ(thinned.front(), samples.front());
            EXPECT_EQ(thinned.back(), samples.back());
            EXPECT_LE(farthest(samples, thinned), tolerance + 1e-9) << tolerance << " " << seed;
        }
    }
}

TEST(StrokeSimplifier, ThinsALongJitteryStrokeALot)
{
    const QList<Point> samples = test::jitteryStroke(100000, QSizeF(1600, 1000), 0.1, 7);
    const QList<Point> thinned = StrokeSimplifier::simplified(samples);
    EXPECT_LT(thinned.size(), samples.size() / 10) << thinned.size();
}

// Whether every clearly inked pixel of `a` has one of `b` at most `reach`
// pixels away (in both directions).
bool inkWithin(const QImage& a, const QImage& b, int reach)
{
    const auto inked = [](const QImage& image, int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height()
            && qGray(image.pixel(x, y)) < 160;
    };
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!inked(a, x, y))
                continue;
            bool found = false;
            for (int dy = -reach; dy <= reach && !found; ++dy) {
                for (int dx = -reach; dx <= reach && !found; ++dx)
                    found = inked(b, x + dx, y + dy);
            }
            if (!found)
                return false;
        }
    }
    return true;
}

double ink(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += 255 - qGray(image.pixel(x, y));
    }
    return sum;
}

TEST(StrokeSimplifier, TheThinnedStrokeDrawsEssentiallyTheSamePixels)
{
    // What the pen draws through every sample of a stroke sampled every 0.02
    // pixels, and through the points kept of it, or of the same stroke with
    // jitter: the ink lies in the same places, give or take a pixel, and
    // there is as much of it. (Drawn through every jittery sample the stroke
    // comes out speckled, as tiny back-and-forth pieces leave holes in its
    // outline; thinned, it does not. And a dense one-pixel stroke comes out
    // a third fainter than a thinned one, so its ink is not compared.)
    const QSize size(320, 220);
    const QList<Point> clean = test::jitteryStroke(30000, QSizeF(300, 200), 0, 11);
    const QList<Point> jittery = test::jitteryStroke(30000, QSizeF(300, 200), 0.1, 11);
    for (double width : {1.0, 4.0, 12.0}) {
        const QImage all = penRender(clean, width, size);
        for (const QList<Point>* samples : {&clean, &jittery}) {
            const QList<Point> thinned = StrokeSimplifier::simplified(*samples);
            ASSERT_LT(thinned.size(), samples->size() / 10);
            const QImage few = penRender(thinned, width, size);
            EXPECT_TRUE(inkWithin(all, few, 1)) << width;
            EXPECT_TRUE(inkWithin(few, all, 1)) << width;
            if (width > 1) { // see above
                EXPECT_NEAR(ink(few) / ink(all), 1, 0.05) << width;
            }
        }
    }
}
