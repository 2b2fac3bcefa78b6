#include "overlay/OverlaySpace.h"

#include <algorithm>

namespace kelpie::OverlaySpace {

Point viewPoint(QPointF widgetPoint, double viewHeight)
{
    return {widgetPoint.x(), viewHeight - widgetPoint.y()};
}

QPointF widgetPoint(Point viewPoint, double viewHeight)
{
    return {viewPoint.x, viewHeight - viewPoint.y};
}

QRectF widgetRect(const Rect& viewRect, double viewHeight)
{
    return {viewRect.minX(), viewHeight - viewRect.maxY(), viewRect.width(), viewRect.height()};
}

Rect viewRect(const QRectF& widgetRect, double viewHeight)
{
    const QRectF r = widgetRect.normalized();
    return {r.x(), viewHeight - r.bottom(), r.width(), r.height()};
}

Point pointerPixelPoint(Point viewPoint, double devicePixelRatio)
{
    return {viewPoint.x, viewPoint.y - 0.5 / std::max(devicePixelRatio, 1.0)};
}

} // namespace kelpie::OverlaySpace
