#pragma once

#include "geometry/Rect.h"

#include <QPointF>
#include <QRectF>

namespace kelpie {

// The one place where the overlay's y-up view space meets the widget's
// y-down coordinates: event positions coming in, rectangles going out to
// the painter and to child widgets.
namespace OverlaySpace {

Point viewPoint(QPointF widgetPoint, double viewHeight);
QPointF widgetPoint(Point viewPoint, double viewHeight);
QRectF widgetRect(const Rect& viewRect, double viewHeight);
Rect viewRect(const QRectF& widgetRect, double viewHeight);

// The pointer is reported at the top-left corner of the device pixel under
// its hot spot. Flipped into view space that corner is the pixel's top edge,
// which belongs to the row above; half a device pixel lower lies inside the
// pixel the pointer is really on.
Point pointerPixelPoint(Point viewPoint, double devicePixelRatio);

} // namespace OverlaySpace
} // namespace kelpie
