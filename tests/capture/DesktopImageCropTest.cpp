#include "capture/DesktopImageCrop.h"

#include <QColor>
#include <QPainter>

#include <gtest/gtest.h>

namespace kelpie {
namespace {

// A desktop of two screens side by side: a 1920 × 1080 point screen at
// scale 1, then a 1280 × 720 point screen at scale 2 (2560 × 1440 pixels).
const std::vector<Rect> sideBySide = {Rect(0, 0, 1920, 1080), Rect(1920, 0, 1280, 720)};
constexpr PixelLimits::PixelSize leftNative{1920, 1080};
constexpr PixelLimits::PixelSize rightNative{2560, 1440};

// A desktop image at `scale` pixels per point: red where the left screen
// is, blue where the right one is, with a one-pixel green column at the
// right screen's left edge, black elsewhere.
QImage desktopImage(double scale)
{
    QImage image(static_cast<int>(3200 * scale), static_cast<int>(1080 * scale),
                 QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.fillRect(QRectF(0, 0, 1920 * scale, 1080 * scale), Qt::red);
    painter.fillRect(QRectF(1920 * scale, 0, 1280 * scale, 720 * scale), Qt::blue);
    painter.fillRect(QRectF(1920 * scale, 0, 1, 720 * scale), Qt::green);
    return image;
}

TEST(DesktopImageCrop, placesMixedScaleScreensInAnImageAtTheLargerScale)
{
    const QImage desktop = desktopImage(2);
    const std::vector<Rect> regions = DesktopImageCrop::regions(Size{6400, 2160}, sideBySide);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0], Rect(0, 0, 3840, 2160));
    EXPECT_EQ(regions[1], Rect(3840, 0, 2560, 1440));

    // The scale-2 screen is taken pixel for pixel: its edge column is intact.
    const QImage right = DesktopImageCrop::cut(desktop, regions[1], rightNative);
    ASSERT_EQ(right.size(), QSize(2560, 1440));
    EXPECT_EQ(right.format(), QImage::Format_RGB32);
    EXPECT_EQ(QColor(right.pixel(0, 0)), QColor(Qt::green));
    EXPECT_EQ(QColor(right.pixel(1, 700)), QColor(Qt::blue));
    EXPECT_EQ(QColor(right.pixel(2559, 1439)), QColor(Qt::blue));

    // The scale-1 screen had twice its pixels and comes down to its own size.
    const QImage left = DesktopImageCrop::cut(desktop, regions[0], leftNative);
    ASSERT_EQ(left.size(), QSize(1920, 1080));
    EXPECT_EQ(QColor(left.pixel(0, 0)), QColor(Qt::red));
    EXPECT_EQ(QColor(left.pixel(1919, 1079)), QColor(Qt::red));
}

TEST(DesktopImageCrop, resamplesAScreenTheImageHasFewerPixelsFor)
{
    // The same desktop rendered at scale 1: the scale-2 screen has only
    // 1280 × 720 pixels in it and is brought up to its native size.
    const QImage desktop = desktopImage(1);
    const std::vector<Rect> regions = DesktopImageCrop::regions(Size{3200, 1080}, sideBySide);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0], Rect(0, 0, 1920, 1080));
    EXPECT_EQ(regions[1], Rect(1920, 0, 1280, 720));

    const QImage right = DesktopImageCrop::cut(desktop, regions[1], rightNative);
    ASSERT_EQ(right.size(), QSize(2560, 1440));
    EXPECT_EQ(QColor(right.pixel(1280, 720)), QColor(Qt::blue));
    // Nothing of the black area below the screen nor the red one beside it.
    EXPECT_EQ(QColor(right.pixel(2559, 1439)), QColor(Qt::blue));
    EXPECT_EQ(qRed(right.pixel(10, 10)), 0);

    const QImage left = DesktopImageCrop::cut(desktop, regions[0], leftNative);
    ASSERT_EQ(left.size(), QSize(1920, 1080));
    EXPECT_EQ(left.pixel(5, 5), desktop.pixel(5, 5));
}

TEST(DesktopImageCrop, measuresFromTheUnionOfTheScreens)
{
    // A screen above and left of the primary: the image starts at its corner.
    const std::vector<Rect> frames = {Rect(0, 0, 1000, 500), Rect(-500, -250, 500, 250)};
    const std::vector<Rect> regions = DesktopImageCrop::regions(Size{1500, 750}, frames);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0], Rect(500, 250, 1000, 500));
    EXPECT_EQ(regions[1], Rect(0, 0, 500, 250));

    // Fractional scales land on whole pixels, neighbours sharing their edge.
    const std::vector<Rect> fractional = DesktopImageCrop::regions(
        Size{2500, 1250}, {Rect(0, 0, 333, 500), Rect(333, 0, 667, 500)});
    ASSERT_EQ(fractional.size(), 2u);
    EXPECT_EQ(fractional[0].maxX(), fractional[1].minX());
    EXPECT_EQ(fractional[0].width(), std::round(333 * 2.5));
}

TEST(DesktopImageCrop, refusesWhatIsNotThere)
{
    EXPECT_TRUE(DesktopImageCrop::regions(Size{0, 0}, sideBySide).empty());
    EXPECT_TRUE(DesktopImageCrop::regions(Size{100, 100}, {}).empty());
    const QImage desktop = desktopImage(1);
    EXPECT_TRUE(DesktopImageCrop::cut(desktop, Rect(3000, 0, 400, 100), {400, 100}).isNull());
    EXPECT_TRUE(DesktopImageCrop::cut(QImage(), Rect(0, 0, 1, 1), {1, 1}).isNull());
}

} // namespace
} // namespace kelpie
