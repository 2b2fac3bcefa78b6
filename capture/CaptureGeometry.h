#pragma once

#include "geometry/Rect.h"

#include <optional>

namespace kelpie {

// Conversions between the overlay's view space (points, origin bottom-left,
// y up) and the captured image's pixel space (origin top-left, y down). The
// scale is always image size over canvas size, per axis.
namespace CaptureGeometry {

// The smallest whole-pixel rectangle of the image that covers the view
// rectangle, clipped to the image; absent for degenerate sizes, non-finite
// input or a rectangle that misses the canvas.
std::optional<Rect> pixelRect(const Rect& viewRect, Size canvas, Size image);

// The inverse mapping, without rounding or validation.
Rect viewRect(const Rect& pixelRect, Size canvas, Size image);

} // namespace CaptureGeometry
} // namespace kelpie
