#include "capture/CaptureGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using kelpie::Rect;
using kelpie::Size;
namespace CaptureGeometry = kelpie::CaptureGeometry;

namespace {
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
} // namespace

TEST(CaptureGeometry, PixelRectFlipsAndScales)
{
    // 150 points from the bottom of a 500-point canvas is 350 from the top,
    // 700 pixels at twice the scale.
    EXPECT_EQ(CaptureGeometry::pixelRect(Rect(100, 100, 200, 50), {1000, 500}, {2000, 1000}),
              Rect(200, 700, 400, 100));
}

TEST(CaptureGeometry, PixelRectSnapsFloatingPointNoiseOntoPixelBoundaries)
{
    // At 3:2 the left edge lands on 149.99999999999997: it must not floor to 149.
    const double left = 99.99999999999999;
    ASSERT_EQ(left * 300 / 200, 149.99999999999997);
    const auto snapped = CaptureGeometry::pixelRect(Rect(left, 0, 20, 100), {200, 100}, {300, 150});
    ASSERT_TRUE(snapped);
    EXPECT_EQ(snapped->minX(), 150);
    EXPECT_EQ(snapped->maxX(), 180);

    // A real fraction of a pixel is still rounded outward.
    const auto fractional
        = CaptureGeometry::pixelRect(Rect(99.7, 0, 20, 100), {200, 100}, {300, 150});
    ASSERT_TRUE(fractional);
    EXPECT_EQ(fractional->minX(), 149);
    EXPECT_EQ(fractional->maxX(), 180);
}

TEST(CaptureGeometry, PixelRectOfTheWholeCanvasIsTheWholeImage)
{
    EXPECT_EQ(CaptureGeometry::pixelRect(Rect(0, 0, 1440, 900), {1440, 900}, {2880, 1800}),
              Rect(0, 0, 2880, 1800));
    // Non-integral scales too.
    EXPECT_EQ(CaptureGeometry::pixelRect(Rect(0, 0, 1280, 800), {1280, 800}, {1917, 1199}),
              Rect(0, 0, 1917, 1199));
    // Reaching past the canvas clamps to the image.
    EXPECT_EQ(CaptureGeometry::pixelRect(Rect(-50, -50, 2000, 2000), {1280, 800}, {1917, 1199}),
              Rect(0, 0, 1917, 1199));
}

TEST(CaptureGeometry, PixelRectRejectsDegenerateInput)
{
    const Rect r(10, 10, 20, 20);
    EXPECT_FALSE(CaptureGeometry::pixelRect(Rect(2000, 10, 20, 20), {1000, 500}, {2000, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(Rect(1000, 10, 20, 20), {1000, 500}, {2000, 1000}))
        << "touching the canvas edge meets it in an empty area";
    EXPECT_FALSE(CaptureGeometry::pixelRect(Rect(10, 10, 0, 20), {1000, 500}, {2000, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(r, {0, 500}, {2000, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(r, {1000, -1}, {2000, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(r, {1000, 500}, {notANumber, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(r, {1000, 500}, {2000, infinity}));
    EXPECT_FALSE(
        CaptureGeometry::pixelRect(Rect(notANumber, 10, 20, 20), {1000, 500}, {2000, 1000}));
    EXPECT_FALSE(CaptureGeometry::pixelRect(Rect(10, 10, infinity, 20), {1000, 500}, {2000, 1000}));
}

TEST(CaptureGeometry, PixelRectStandardisesNegativeSizes)
{
    const Size canvas{1000, 500};
    const Size image{2000, 1000};
    EXPECT_EQ(CaptureGeometry::pixelRect(Rect(300, 150, -200, -50), canvas, image),
              CaptureGeometry::pixelRect(Rect(100, 100, 200, 50), canvas, image));
}

TEST(CaptureGeometry, ViewRectInvertsWithoutRounding)
{
    EXPECT_EQ(CaptureGeometry::viewRect(Rect(200, 700, 400, 100), {1000, 500}, {2000, 1000}),
              Rect(100, 100, 200, 50));
}

TEST(CaptureGeometry, ViewRectOfPixelRectCoversTheSelection)
{
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    const Size canvas{1280, 800};
    const Size image{1917, 1199};
    for (int i = 0; i < 2000; ++i) {
        const double x = unit(random) * 1200;
        const double y = unit(random) * 700;
        const Rect selection(x, y, 0.01 + unit(random) * (canvas.width - x - 0.01),
                             0.01 + unit(random) * (canvas.height - y - 0.01));
        const auto pixels = CaptureGeometry::pixelRect(selection, canvas, image);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(*pixels, pixels->integral());
        const Rect back = CaptureGeometry::viewRect(*pixels, canvas, image);
        const double pointX = canvas.width / image.width;
        const double pointY = canvas.height / image.height;
        const double slack = 1e-9;
        EXPECT_LE(back.minX(), selection.minX() + slack);
        EXPECT_LE(back.minY(), selection.minY() + slack);
        EXPECT_GE(back.maxX(), selection.maxX() - slack);
        EXPECT_GE(back.maxY(), selection.maxY() - slack);
        EXPECT_LT(selection.minX() - back.minX(), pointX);
        EXPECT_LT(back.maxX() - selection.maxX(), pointX);
        EXPECT_LT(selection.minY() - back.minY(), pointY);
        EXPECT_LT(back.maxY() - selection.maxY(), pointY);
    }
}
