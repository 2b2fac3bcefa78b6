#include "overlay/PixelSampler.h"

#include <QColorSpace>
#include <QImage>

#include <gtest/gtest.h>

using kelpie::SampledColor;
namespace PixelSampler = kelpie::PixelSampler;

TEST(SampledColor, FormatsHexAndRgb)
{
    const SampledColor c{12, 34, 255};
    EXPECT_EQ(c.hex().toStdString(), "#0C22FF");
    EXPECT_EQ(c.rgb().toStdString(), "RGB(12, 34, 255)");
    EXPECT_EQ(SampledColor{}.hex().toStdString(), "#000000");
}

TEST(PixelSampler, UndoesPremultiplicationWithIntegerRounding)
{
    QImage image(2, 2, QImage::Format_RGBA8888_Premultiplied);
    image.fill(0);
    uchar* pixel = image.scanLine(1) + 4; // (1, 1)
    pixel[0] = 64;
    pixel[3] = 128;
    const auto color = PixelSampler::color(image, 1, 1);
    ASSERT_TRUE(color);
    EXPECT_EQ(color->hex().toStdString(), "#800000");
}

TEST(PixelSampler, TransparentReadsAsBlack)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(QColor(255, 255, 255, 0));
    EXPECT_EQ(PixelSampler::color(image, 0, 0), (SampledColor{0, 0, 0}));
}

TEST(PixelSampler, ReadsFromTheTopLeftInAnyFormat)
{
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888,
                              QImage::Format_RGBA64, QImage::Format_BGR30}) {
        QImage image(3, 2, format);
        image.fill(Qt::black);
        image.setPixelColor(2, 1, QColor(12, 34, 255));
        EXPECT_EQ(PixelSampler::color(image, 2, 1), (SampledColor{12, 34, 255})) << format;
        EXPECT_EQ(PixelSampler::color(image, 0, 0), (SampledColor{0, 0, 0})) << format;
    }
    QImage grey(1, 1, QImage::Format_Grayscale8);
    grey.fill(QColor(77, 77, 77));
    EXPECT_EQ(PixelSampler::color(grey, 0, 0), (SampledColor{77, 77, 77}));
}

TEST(PixelSampler, ConvertsOtherColourSpacesToSrgb)
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    image.fill(QColor(255, 0, 0));
    const auto color = PixelSampler::color(image, 0, 0);
    ASSERT_TRUE(color);
    // Display P3's pure red lies outside sRGB: it clips to full red with no
    // green or blue, rather than reading back as P3's own numbers would.
    EXPECT_EQ(color->red, 255);
    EXPECT_EQ(color->blue, 0);

    QImage muted(1, 1, QImage::Format_RGB32);
    muted.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    muted.fill(QColor(128, 128, 64));
    const auto converted = PixelSampler::color(muted, 0, 0);
    ASSERT_TRUE(converted);
    EXPECT_NE(*converted, (SampledColor{128, 128, 64}));
}

TEST(PixelSampler, PositionsOutsideTheImageGiveNothing)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    EXPECT_FALSE(PixelSampler::color(image, -1, 0));
    EXPECT_FALSE(PixelSampler::color(image, 0, -1));
    EXPECT_FALSE(PixelSampler::color(image, 4, 0));
    EXPECT_FALSE(PixelSampler::color(image, 0, 3));
    EXPECT_FALSE(PixelSampler::color(QImage(), 0, 0));
    EXPECT_TRUE(PixelSampler::color(image, 3, 2));
}
