#pragma once

#include "geometry/Rect.h"

#include <QPointF>
#include <QRectF>

namespace kelpie {

// Where the screenshot view's y-up space meets the widgets' y-down
// coordinates: event positions coming in, frames and painting going out.
// Both have their origin on the view's left edge; y is mirrored by its height.
namespace ScreenshotSpace {

Point viewPoint(QPointF widgetPoint, double viewHeight);
QPointF widgetPoint(Point viewPoint, double viewHeight);
QRectF widgetRect(const Rect& viewRect, double viewHeight);
Rect viewRect(const QRectF& widgetRect, double viewHeight);

} // namespace ScreenshotSpace
} // namespace kelpie
