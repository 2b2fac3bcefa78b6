#include "annotation/MaskFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using namespace kelpie;

namespace {

// Deterministic noise with real alpha: premultiplied pixels whose colour
// components never exceed alpha.
QImage noise(int width, int height, QImage::Format format = QImage::Format_RGBA8888_Premultiplied)
{
    QImage image(width, height, format);
    std::uint32_t state = 12345;
    const auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>(state >> 24);
    };
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int alpha = 128 + next() / 2;
            // Alpha is the last byte of RGBA8888 and of little-endian ARGB32.
            line[x * 4 + 3] = static_cast<uchar>(alpha);
            for (int c = 0; c < 3; ++c)
                line[x * 4 + c] = static_cast<uchar>(next() * alpha / 255);
        }
    }
    return image;
}

QImage uniform(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    image.fill(color);
    return image;
}

int maxDifference(const QImage& a, const QImage& b)
{
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 4; ++x)
            worst = std::max(worst, std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]));
    }
    return worst;
}

} // namespace

TEST(MaskFilter, FilteringARegionEqualsCuttingItFromTheWholeFilteredImage)
{
    const QImage image = noise(97, 61);
    const QRect regions[] = {QRect(30, 20, 25, 17), QRect(0, 0, 13, 9), QRect(80, 50, 17, 11),
                             QRect(0, 30, 97, 1), image.rect()};
    for (double sigma : {1.0, 4.0, 12.5}) {
        const QImage whole = MaskFilter::gaussianBlur(image, sigma, image.rect());
        ASSERT_FALSE(whole.isNull());
        for (const QRect& region : regions) {
            const QImage part = MaskFilter::gaussianBlur(image, sigma, region);
            EXPECT_EQ(part, whole.copy(region))
                << "blur " << sigma << " region " << region.x() << "," << region.y();
        }
    }
    // Large enough to be split between threads: the seams must not show.
    const QImage large = noise(1200, 1000);
    const QImage largeWhole = MaskFilter::gaussianBlur(large, 6, large.rect());
    const QRect strip(37, 0, 1100, 1000);
    EXPECT_EQ(MaskFilter::gaussianBlur(large, 6, strip), largeWhole.copy(strip));
    for (int y = 0; y < large.height(); y += 100) {
        const QRect band(0, y, large.width(), 100);
        EXPECT_EQ(MaskFilter::gaussianBlur(large, 6, band), largeWhole.copy(band)) << y;
    }

    const QPointF origin(3.5, 61);
    for (double cell : {4.0, 7.5}) {
        const QImage whole = MaskFilter::pixelate(image, cell, origin, image.rect());
        for (const QRect& region : regions)
            EXPECT_EQ(MaskFilter::pixelate(image, cell, origin, region), whole.copy(region))
                << "pixelate " << cell;
    }
}

TEST(MaskFilter, BlurOfAPointHasTheStandardDeviationAskedFor)
{
    // One opaque white pixel on transparent black: the response along a row
    // through it is the blur's kernel; its spread must be sigma, and no
    // light may be lost or gained.
    for (double sigma : {2.0, 8.0, 40.0}) {
        const int size = static_cast<int>(8 * sigma) | 1;
        QImage image = uniform(size, 1, Qt::transparent);
        image.setPixelColor(size / 2, 0, Qt::white);
        const QImage blurred = MaskFilter::gaussianBlur(image, sigma, image.rect());
        ASSERT_FALSE(blurred.isNull());
        // A one-row image extends upwards and downwards, so the row holds
        // the whole horizontal kernel.
        double total = 0;
        double variance = 0;
        for (int x = 0; x < size; ++x) {
            const double weight = blurred.constScanLine(0)[x * 4 + 3];
            const double offset = x - size / 2;
            total += weight;
            variance += weight * offset * offset;
        }
        variance /= total;
        EXPECT_NEAR(total, 255, 0.02 * 255 + size * 0.5) << sigma;
        EXPECT_NEAR(std::sqrt(variance), sigma, 0.05 * sigma + 0.3) << sigma;
        // Symmetric around the point.
        for (int d = 1; d < size / 2; ++d)
            EXPECT_NEAR(blurred.constScanLine(0)[(size / 2 - d) * 4 + 3],
                        blurred.constScanLine(0)[(size / 2 + d) * 4 + 3], 1);
    }
    // The kernel reaches about three standard deviations to either side.
    EXPECT_NEAR(MaskFilter::blurReach(40), 120, 4);
}

TEST(MaskFilter, EdgesAreExtendedSoUniformImagesStayUniform)
{
    // No dark or transparent fringe at the border, for opaque and for
    // translucent (premultiplied) colours alike.
    for (QColor color : {QColor(200, 100, 50), QColor(10, 200, 240, 128)}) {
        const QImage image = uniform(50, 40, color);
        const QImage blurred = MaskFilter::gaussianBlur(image, 40, image.rect());
        EXPECT_LE(maxDifference(blurred, image), 1) << color.name().toStdString();
        const QImage corner = MaskFilter::gaussianBlur(image, 10, QRect(0, 0, 5, 5));
        EXPECT_LE(maxDifference(corner, image.copy(0, 0, 5, 5)), 1);
        const QImage cells = MaskFilter::pixelate(image, 16, QPointF(7, 3), image.rect());
        EXPECT_EQ(maxDifference(cells, image), 0) << color.name().toStdString();
    }
}

TEST(MaskFilter, BlurKeepsPixelsPremultiplied)
{
    for (QImage::Format format :
         {QImage::Format_RGBA8888_Premultiplied, QImage::Format_ARGB32_Premultiplied}) {
        const QImage image = noise(64, 48, format);
        const QImage blurred = MaskFilter::gaussianBlur(image, 3, image.rect());
        ASSERT_EQ(blurred.format(), format);
        for (int y = 0; y < blurred.height(); ++y) {
            const uchar* line = blurred.constScanLine(y);
            for (int x = 0; x < blurred.width(); ++x) {
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(line[x * 4 + c], line[x * 4 + 3]) << x << "," << y;
            }
        }
    }
}

TEST(MaskFilter, PixelateFillsEachCellWithTheMeanOfItsPixels)
{
    // A one-pixel checkerboard of black and white averages to mid grey in
    // every 4 × 4 cell.
    QImage checker(16, 8, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x)
            checker.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
    }
    const QImage grey = MaskFilter::pixelate(checker, 4, QPointF(0, 0), checker.rect());
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(grey.pixelColor(x, y), QColor(128, 128, 128)) << x << "," << y;
    }

    // Cells anchored at x = 2, four wide; the cell that starts at −2 reaches
    // past the left edge, where the edge pixel repeats: (10+10+10+20)/4 and
    // (30+40+40+40)/4, rounded.
    QImage row(4, 1, QImage::Format_RGBA8888_Premultiplied);
    for (int x = 0; x < 4; ++x)
        row.setPixelColor(x, 0, QColor(10 * (x + 1), 0, 0));
    const QImage cells = MaskFilter::pixelate(row, 4, QPointF(2, 0), row.rect());
    EXPECT_EQ(cells.pixelColor(0, 0).red(), 13);
    EXPECT_EQ(cells.pixelColor(1, 0).red(), 13);
    EXPECT_EQ(cells.pixelColor(2, 0).red(), 38);
    EXPECT_EQ(cells.pixelColor(3, 0).red(), 38);

    // Fractional cells: a pixel belongs to the cell holding its centre, so
    // cells of 2.5 alternate between 2 and 3 pixels.
    QImage ramp(10, 1, QImage::Format_RGBA8888_Premultiplied);
    for (int x = 0; x < 10; ++x)
        ramp.setPixelColor(x, 0, QColor(x * 20, 0, 0));
    const QImage steps = MaskFilter::pixelate(ramp, 2.5, QPointF(0, 0), ramp.rect());
    const int expected[] = {10, 10, 60, 60, 60, 110, 110, 160, 160, 160};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(steps.pixelColor(x, 0).red(), expected[x]) << x;
}

TEST(MaskFilter, RefusesWhatItCannotFilter)
{
    const QImage image = noise(20, 20);
    EXPECT_TRUE(MaskFilter::gaussianBlur(image, 4, QRect(15, 15, 10, 10)).isNull());
    EXPECT_TRUE(MaskFilter::pixelate(image, 4, {}, QRect()).isNull());
    const QImage plain = image.convertToFormat(QImage::Format_RGB888);
    EXPECT_TRUE(MaskFilter::gaussianBlur(plain, 4, plain.rect()).isNull());
    // A sigma too small to blur leaves the pixels as they are.
    EXPECT_EQ(MaskFilter::gaussianBlur(image, 0.2, QRect(2, 3, 5, 5)), image.copy(2, 3, 5, 5));
}
