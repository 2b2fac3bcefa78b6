#include "overlay/Magnifier.h"

#include "overlay/OverlaySpace.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace kelpie;

TEST(Magnifier, OpensBesideThePointerAndFlipsAwayFromTheEdges)
{
    const Size view{800, 600};
    EXPECT_EQ(Magnifier::panelRect({100, 100}, view), Rect(120, 120, 130, 157));
    // Ten points from the right edge: to the left of the pointer.
    EXPECT_EQ(Magnifier::panelRect({790, 100}, view).minX(), 640);
    // Near the top: below the pointer.
    EXPECT_EQ(Magnifier::panelRect({100, 590}, view).minY(), 413);
    // A view too small for either side keeps the panel inside, left/bottom first.
    EXPECT_EQ(Magnifier::panelRect({60, 60}, {140, 160}), Rect(0, 0, 130, 157));
    EXPECT_EQ(Magnifier::panelRect({5, 5}, {100, 100}).origin, (Point{0, 0}));
}

TEST(Magnifier, KeepsThePointerPixelCentredWhenTheBlockIsCut)
{
    const Rect square = Magnifier::zoomSquare(Rect(0, 0, 130, 157));
    EXPECT_EQ(square, Rect(10, 37, 110, 110));

    // Top-left pixel: only the lower-right 6 × 6 of the block exists; the
    // pixel itself lands on the middle 10 × 10 of the square (y up).
    const auto corner = Magnifier::block(square, {0, 0}, QSize(50, 40));
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->source, QRect(0, 0, 6, 6));
    EXPECT_EQ(corner->target, Rect(60, 37, 60, 60));
    // Bottom-right pixel of the image: the upper-left 6 × 6 of the block.
    const auto far = Magnifier::block(square, {49, 39}, QSize(50, 40));
    ASSERT_TRUE(far);
    EXPECT_EQ(far->source, QRect(44, 34, 6, 6));
    EXPECT_EQ(far->target, Rect(10, 87, 60, 60));

    const auto whole = Magnifier::block(square, {20, 20}, QSize(50, 40));
    EXPECT_EQ(whole->source, QRect(15, 15, 11, 11));
    EXPECT_EQ(whole->target, square);
    EXPECT_EQ(Magnifier::positionText({120, 45}), QStringLiteral("120, 45 px"));
}

TEST(Magnifier, DrawsTheTopLeftPixelInTheCentreAndLeavesTheMissingPartEmpty)
{
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));

    const Size view{400, 300};
    QImage canvas(400, 300, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        Magnifier::draw(painter, image, {100, 100}, {0, 0}, SampledColor{255, 0, 0}, view,
                        CoreAppearance::Appearance::light);
    }
    const Rect square = Magnifier::zoomSquare(Magnifier::panelRect({100, 100}, view));
    const QRectF box = OverlaySpace::widgetRect(square, view.height);
    auto at = [&](double dx, double dy) {
        return canvas.pixel(QPoint(int(box.x() + dx), int(box.y() + dy)));
    };
    // Inside the marker, the pointer pixel; right of it its neighbour; above
    // and left of it (outside the image) the panel's own background.
    EXPECT_EQ(at(55, 55), qRgb(255, 0, 0));
    EXPECT_EQ(at(65, 55), qRgb(0, 255, 0));
    EXPECT_EQ(at(75, 75), qRgb(0, 0, 255));
    const QRgb empty = CoreAppearance::windowBackground.light.rgb();
    EXPECT_EQ(at(25, 25), empty);
    EXPECT_EQ(at(55, 25), empty);
    // No interpolation: a pixel's square is one flat colour to its edges.
    EXPECT_EQ(at(51.5, 51.5), qRgb(255, 0, 0));
    EXPECT_EQ(at(58.5, 58.5), qRgb(255, 0, 0));
    EXPECT_EQ(at(61.5, 51.5), qRgb(0, 255, 0));
}
