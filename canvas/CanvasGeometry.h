#pragma once

#include "annotation/AnnotationObject.h"
#include "geometry/Point.h"
#include "geometry/Rect.h"
#include "geometry/Size.h"

#include <optional>

namespace kelpie {

// The pure geometry of the canvas: where the image sits in the view, the
// mapping between view points and annotation space (both y-up), and the rules
// that keep edited objects inside the image.
namespace CanvasGeometry {

// The image scaled proportionally to fit `bounds` and centred in it.
Rect contentRect(Size bounds, Size image);

// A view point in annotation space, clamped into the image. Absent when the
// content has no area, or when `clamp` is false and the point lies outside it.
std::optional<Point> canonical(Point view, const Rect& content, Size image, bool clamp);
// Annotation space to view points, without clamping.
Point viewPoint(Point annotation, const Rect& content, Size image);

// `point` seen from `origin`, turned to the nearest multiple of 45° at the
// same distance and clamped into the image; unchanged without `shift`.
Point snapped(Point point, Point origin, bool shift, Size image);

// The largest offset up to (dx, dy) by which `bounds` can move and stay
// inside the image (a box already sticking out is not pulled back).
Point containedDelta(const Rect& bounds, double dx, double dy, Size image);

// A changed arrow kept inside the image: the candidate when its drawn path
// fits, else the arrow part way from `old` to the candidate, as far as it
// still fits (found by halving). Other kinds pass through unchanged.
AnnotationObject boundedArrow(const AnnotationObject& candidate, const AnnotationObject& old,
                              Size image);

// The box of a number badge of `width` around `centre`, radius four widths
// (at most half the image's shorter side), moved fully inside the image.
Rect badgeBox(Point centre, double width, Size image);

} // namespace CanvasGeometry
} // namespace kelpie
