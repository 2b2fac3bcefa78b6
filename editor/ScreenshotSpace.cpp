#include "editor/ScreenshotSpace.h"

namespace kelpie::ScreenshotSpace {

Point viewPoint(QPointF p, double viewHeight) { return {p.x(), viewHeight - p.y()}; }

QPointF widgetPoint(Point p, double viewHeight) { return {p.x, viewHeight - p.y}; }

QRectF widgetRect(const Rect& r, double viewHeight)
{
    return {r.minX(), viewHeight - r.maxY(), r.width(), r.height()};
}

Rect viewRect(const QRectF& r, double viewHeight)
{
    const QRectF n = r.normalized();
    return Rect(n.left(), viewHeight - n.bottom(), n.width(), n.height());
}

} // namespace kelpie::ScreenshotSpace
