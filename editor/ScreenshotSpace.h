#pragma once

#include "geometry/Rect.h"

#include <QPointF>
#include <QRectF>
#include <QRegion>

namespace kelpie {

// Where the screenshot view's y-up space meets the widgets' y-down
// coordinates: event positions coming in, frames and painting going out.
// Both have their origin on the view's left edge; y is mirrored by its height.
namespace ScreenshotSpace {

Point viewPoint(QPointF widgetPoint, double viewHeight);
QPointF widgetPoint(Point viewPoint, double viewHeight);
QRectF widgetRect(const Rect& viewRect, double viewHeight);
Rect viewRect(const QRectF& widgetRect, double viewHeight);

// The widget area along the rounded outline of a view rectangle, `margin`
// points to either side of it: everything the outline, its corners and
// the dimming's edge can touch. It is the outline's bounds less its
// interior, the part of the rectangle that lies past the rounded corners.
QRect outlineBounds(const Rect& viewRect, double viewHeight, int margin);
QRegion outlineInterior(const Rect& viewRect, double viewHeight, int margin);
QRegion outlineArea(const Rect& viewRect, double viewHeight, int margin);

} // namespace ScreenshotSpace
} // namespace kelpie
