#include "overlay/OverlaySpace.h"

#include <QRect>

#include <algorithm>
#include <cmath>

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

namespace {

// The smallest number of points that spans whole device pixels; 0 when no
// small one does.
int alignmentPeriod(double ratio)
{
    for (int points = 1; points <= 8; ++points) {
        const double pixels = points * ratio;
        if (std::abs(pixels - std::round(pixels)) < 1e-6)
            return points;
    }
    return 0;
}

int floorTo(int value, int period)
{
    return static_cast<int>(std::floor(double(value) / period)) * period;
}
int ceilTo(int value, int period)
{
    return static_cast<int>(std::ceil(double(value) / period)) * period;
}

} // namespace

QRect deviceAlignedArea(const QRect& area, double ratio)
{
    if (area.isEmpty())
        return area;
    const int period = alignmentPeriod(ratio);
    if (period == 0)
        return area.adjusted(-1, -1, 1, 1);
    const int left = floorTo(area.x(), period);
    const int top = floorTo(area.y(), period);
    const int right = ceilTo(area.x() + area.width(), period);
    const int bottom = ceilTo(area.y() + area.height(), period);
    return {left, top, right - left, bottom - top};
}

QRectF devicePixelCover(const QRect& area, double ratio)
{
    const double r = std::max(ratio, 1e-6);
    const double left = std::floor(area.x() * r) - 1;
    const double top = std::floor(area.y() * r) - 1;
    const double right = std::ceil((area.x() + area.width()) * r) + 1;
    const double bottom = std::ceil((area.y() + area.height()) * r) + 1;
    return {left / r, top / r, (right - left) / r, (bottom - top) / r};
}

} // namespace kelpie::OverlaySpace
