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

// An area to repaint, grown to the nearest widget rectangle whose edges fall
// on whole device pixels (at 1.25× every fourth point, at 1.5× every
// second), so the toolkit's clip and the painting cover the same pixels.
// At scales without such a period it grows by one point instead.
QRect deviceAlignedArea(const QRect& area, double devicePixelRatio);
// The widget rectangle made of every device pixel that `area` touches, and
// one more on each side: painting all of it leaves no device pixel of the
// area's clip half painted, however the toolkit rounded that clip.
QRectF devicePixelCover(const QRect& area, double devicePixelRatio);

} // namespace OverlaySpace
} // namespace kelpie
