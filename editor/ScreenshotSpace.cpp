#include "editor/ScreenshotSpace.h"

#include "editor/CoreAppearance.h"

#include <cmath>

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

QRect outlineBounds(const Rect& r, double viewHeight, int margin)
{
    if (r.isNull() || !r.isFinite())
        return {};
    return widgetRect(r, viewHeight).toAlignedRect().adjusted(-margin, -margin, margin, margin);
}

QRegion outlineInterior(const Rect& r, double viewHeight, int margin)
{
    if (r.isNull() || !r.isFinite())
        return {};
    // The corners curve inwards by the radius; past it, on every side, the
    // outline and the dimming cannot reach.
    const int inset = static_cast<int>(std::ceil(CoreAppearance::captureRadius(r))) + margin + 1;
    const QRectF inner = widgetRect(r, viewHeight).adjusted(inset, inset, -inset, -inset);
    if (inner.width() <= 2 || inner.height() <= 2)
        return {};
    return QRegion(inner.toAlignedRect().adjusted(1, 1, -1, -1));
}

QRegion outlineArea(const Rect& r, double viewHeight, int margin)
{
    return QRegion(outlineBounds(r, viewHeight, margin)) - outlineInterior(r, viewHeight, margin);
}

} // namespace kelpie::ScreenshotSpace
