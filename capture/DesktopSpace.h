#pragma once

#include "geometry/Rect.h"

class QScreen;

namespace kelpie {

// The conversions between the desktop's device pixels, Qt's logical
// geometry and the two point spaces the capture subsystem hands out:
// Quartz global space (origin at the primary screen's top-left, y down) and
// global desktop space (origin at the primary screen's bottom-left, y up).
//
// Qt keeps each screen's origin where the window system puts it and divides
// only its size by the device-pixel ratio, so a pixel maps to a point only
// relative to a particular screen.
namespace DesktopSpace {

// A rectangle in device pixels, mapped to Qt's logical geometry as seen on
// the screen whose device-pixel frame is `screenNative` and whose logical
// geometry is `screenLogical`. The scale is the logical size over the
// device size, per axis.
Rect logicalRect(const Rect& nativeRect, const Rect& screenNative, const Rect& screenLogical);

// Qt logical geometry (y down) to Quartz global space.
Rect quartzRect(const Rect& logicalRect, const Rect& primaryLogical);

// A screen's Qt logical geometry to its frame in global desktop space.
Rect desktopFrame(const Rect& screenLogical, const Rect& primaryLogical);

// The maximum y of the primary screen's frame in global desktop space.
double primaryTop(const Rect& primaryLogical);

// The same for live screens; the primary screen is the first in Qt's list.
// A null rectangle and 0 when there are no screens.
Rect desktopFrame(const QScreen* screen);
double primaryTop();

} // namespace DesktopSpace
} // namespace kelpie
