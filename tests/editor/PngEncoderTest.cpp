#include "editor/PngEncoder.h"

#include "ExportSamples.h"
#include "editor/ImageEncoding.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

#include <random>

namespace kelpie {
namespace {

QImage decodePng(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

// Straight-alpha 8-bit colour, the form both sides are compared in.
QImage straight(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA8888); }

// Random colours and alphas, different in every pixel, so a wrong filter,
// a byte-order slip or a lost row shows.
QImage noise(QSize size, QImage::Format format, bool translucent, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(
                x, y,
                qRgba(byte(random), byte(random), byte(random), translucent ? byte(random) : 255));
    return image.convertToFormat(format);
}

void expectRoundTrip(const QImage& image, bool expectAlpha)
{
    const auto png = PngEncoder::encode(image);
    ASSERT_TRUE(png.has_value());
    const QImage decoded = decodePng(*png);
    ASSERT_FALSE(decoded.isNull()) << "not a readable PNG";
    EXPECT_EQ(decoded.size(), image.size());
    EXPECT_EQ(decoded.hasAlphaChannel(), expectAlpha);
    EXPECT_EQ(straight(decoded), straight(image));
}

TEST(PngEncoder, GivesBackEveryPixelOfEachCompositeFormat)
{
    const struct {
        QImage::Format format;
        bool translucent;
    } cases[] = {
        {QImage::Format_ARGB32_Premultiplied, false},
        {QImage::Format_ARGB32_Premultiplied, true},
        {QImage::Format_ARGB32, true},
        {QImage::Format_RGB32, false},
        {QImage::Format_RGBA8888, true},
        {QImage::Format_RGB888, false},
        {QImage::Format_RGBX8888, false},
        {QImage::Format_RGBA64, true},
        {QImage::Format_Grayscale8, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "format " << c.format << " translucent " << c.translucent);
        expectRoundTrip(noise(QSize(37, 23), c.format, c.translucent, 5), c.translucent);
    }
}

TEST(PngEncoder, OddSizesAndEveryFilterDecodeExactly)
{
    const QSize sizes[] = {QSize(1, 1), QSize(1, 40), QSize(40, 1), QSize(3, 7), QSize(257, 129)};
    const PngEncoder::Filter filters[] = {PngEncoder::Filter::none, PngEncoder::Filter::sub,
                                          PngEncoder::Filter::up, PngEncoder::Filter::paeth};
    for (const QSize size : sizes)
        for (const bool translucent : {false, true})
            for (const auto filter : filters) {
                SCOPED_TRACE(testing::Message()
                             << size.width() << "x" << size.height() << " filter " << int(filter)
                             << " translucent " << translucent);
                const QImage image
                    = noise(size, QImage::Format_ARGB32_Premultiplied, translucent, 11);
                const auto png = PngEncoder::encode(image, {filter, 1});
                ASSERT_TRUE(png.has_value());
                EXPECT_EQ(straight(decodePng(*png)), straight(image));
            }
}

TEST(PngEncoder, DropsAlphaOnlyWhenEveryPixelIsOpaque)
{
    QImage image = test::screenshotComposite(QSize(320, 180));
    expectRoundTrip(image, false);
    // One pixel in the last row, just short of opaque, keeps the alpha channel.
    image.setPixel(319, 179, qRgba(254, 254, 254, 254));
    EXPECT_FALSE(PngEncoder::isOpaque(image));
    expectRoundTrip(image, true);
    // Fully transparent corners and translucent bands of a pin-like composite.
    expectRoundTrip(test::translucentComposite(QSize(321, 181)), true);
}

TEST(PngEncoder, ScreenshotsCompressAndNullImagesAreRefused)
{
    const QImage image = test::screenshotComposite(QSize(1280, 720));
    const auto png = PngEncoder::encode(image);
    ASSERT_TRUE(png.has_value());
    // Raw RGB would be 2.7 MB; flat panels and text must shrink a lot.
    EXPECT_LT(png->size(), 1280 * 720 * 3 / 3);
    EXPECT_EQ(straight(decodePng(*png)), straight(image));
    EXPECT_FALSE(PngEncoder::encode(QImage()).has_value());
}

TEST(ImageEncoding, PngIsTheFastEncodersAndJpegIsFlattenedOntoWhite)
{
    QImage image(64, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(QRect(32, 0, 32, 32), QColor(20, 40, 200));
    const auto png = ImageEncoding::data(image, ImageType::png);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(straight(decodePng(*png)), straight(image));

    const auto jpeg = ImageEncoding::data(image, ImageType::jpeg);
    ASSERT_TRUE(jpeg.has_value());
    ASSERT_TRUE(jpeg->startsWith("\xff\xd8"));
    const QImage decoded = QImage::fromData(*jpeg, "jpeg");
    ASSERT_EQ(decoded.size(), image.size());
    const QColor transparentPart = decoded.pixelColor(8, 16);
    const QColor bluePart = decoded.pixelColor(48, 16);
    EXPECT_GE(transparentPart.lightness(), 250) << "transparent areas become white";
    EXPECT_GT(bluePart.blue(), 170);
    EXPECT_LT(bluePart.red(), 60);
    EXPECT_FALSE(ImageEncoding::data(QImage(), ImageType::jpeg).has_value());
}

TEST(ImageEncoding, JpegIgnoresTheDevicePixelRatio)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0, 0, 0, 0));
    QPainter(&image).fillRect(QRect(20, 20, 20, 20), Qt::black);
    image.setDevicePixelRatio(2);
    const QImage decoded = QImage::fromData(*ImageEncoding::data(image, ImageType::jpeg), "jpeg");
    ASSERT_EQ(decoded.size(), QSize(40, 40));
    EXPECT_LT(decoded.pixelColor(35, 35).lightness(), 10) << "the black square stays where it was";
    EXPECT_GT(decoded.pixelColor(5, 5).lightness(), 245);
}

} // namespace
} // namespace kelpie
