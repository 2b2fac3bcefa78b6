#include "overlay/Magnifier.h"

#include "overlay/OverlaySpace.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace kelpie::Magnifier {
namespace {

double place(double pointer, double extent, double viewExtent, double flipOffset)
{
    double origin = pointer + 20;
    if (origin + extent > viewExtent)
        origin = pointer - flipOffset;
    origin = std::min(origin, viewExtent - extent);
    return std::max(origin, 0.0);
}

// Text whose line box has its bottom-left corner at a view-space point.
void drawText(QPainter& painter, Point at, const QString& text, double viewHeight)
{
    const QFontMetricsF metrics(painter.font());
    const QPointF bottomLeft = OverlaySpace::widgetPoint(at, viewHeight);
    painter.drawText(QPointF(bottomLeft.x(), bottomLeft.y() - metrics.descent()), text);
}

} // namespace

Rect panelRect(Point pointer, Size view)
{
    return {place(pointer.x, panelWidth, view.width, 150),
            place(pointer.y, panelHeight, view.height, 177), panelWidth, panelHeight};
}

Rect zoomSquare(const Rect& panel)
{
    return {panel.minX() + 10, panel.minY() + 37, blockPixels * zoom, blockPixels * zoom};
}

std::optional<Block> block(const Rect& square, ViewPixelMapping::PixelPosition pixel,
                           QSize imageSize)
{
    const QRect whole(pixel.x - blockPixels / 2, pixel.y - blockPixels / 2, blockPixels,
                      blockPixels);
    const QRect clipped = whole.intersected(QRect(QPoint(0, 0), imageSize));
    if (clipped.isEmpty())
        return std::nullopt;
    // QRect's right()/bottom() are inclusive; the maximum edges are one further.
    const double clippedMaxY = clipped.y() + clipped.height();
    const Rect target(square.minX() + (clipped.x() - whole.x()) * zoom,
                      square.minY() + (whole.y() + blockPixels - clippedMaxY) * zoom,
                      clipped.width() * zoom, clipped.height() * zoom);
    return Block{clipped, target};
}

QString positionText(ViewPixelMapping::PixelPosition pixel)
{
    return QStringLiteral("%1, %2 px").arg(pixel.x).arg(pixel.y);
}

void draw(QPainter& painter, const QImage& image, Point pointer,
          ViewPixelMapping::PixelPosition pixel, const SampledColor& color, Size view,
          CoreAppearance::Appearance appearance)
{
    const double height = view.height;
    const Rect panel = panelRect(pointer, view);
    const QRectF panelBox = OverlaySpace::widgetRect(panel, height);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(panelBox, 8, 8);
    painter.fillPath(shape, CoreAppearance::windowBackground.resolved(appearance));
    painter.strokePath(shape, QPen(CoreAppearance::separator.resolved(appearance), 1));

    const Rect square = zoomSquare(panel);
    if (const auto enlarged = block(square, pixel, image.size())) {
        painter.save();
        // Every image pixel becomes a sharp 10 × 10 square.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawImage(OverlaySpace::widgetRect(enlarged->target, height), image,
                          QRectF(enlarged->source));
        painter.restore();
    }

    painter.setPen(QPen(CoreAppearance::separator.resolved(appearance), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(OverlaySpace::widgetRect(square, height).adjusted(-0.5, -0.5, 0.5, 0.5));

    // The marker sits on the centre pixel's square, its one-point line kept
    // inside the square so it lands on whole device pixels.
    const QRectF squareBox = OverlaySpace::widgetRect(square, height);
    const QRectF marker(squareBox.center() - QPointF(zoom / 2, zoom / 2), QSizeF(zoom, zoom));
    painter.setPen(QPen(CoreAppearance::systemRed.resolved(appearance), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(marker.adjusted(0.5, 0.5, -0.5, -0.5));

    painter.setFont(CoreAppearance::monospacedSystemFont(11, QFont::Medium));
    painter.setPen(CoreAppearance::label.resolved(appearance));
    drawText(painter, {panel.minX() + 10, panel.minY() + 20}, color.hex(), height);
    drawText(painter, {panel.minX() + 10, panel.minY() + 5}, positionText(pixel), height);
    painter.restore();
}

} // namespace kelpie::Magnifier
