#include "canvas/CanvasGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelpie::CanvasGeometry {

namespace {

bool insideImage(const Rect& box, Size image)
{
    return box.minX() >= 0 && box.minY() >= 0 && box.maxX() <= image.width
        && box.maxY() <= image.height;
}

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// The arrow `f` of the way from `old` to `candidate`, always with a control
// point (a straight arrow bends around its midpoint).
AnnotationObject interpolatedArrow(const AnnotationObject& old, const AnnotationObject& candidate,
                                   double f)
{
    AnnotationObject arrow = candidate;
    arrow.start = lerp(old.start, candidate.start, f);
    arrow.end = lerp(old.end, candidate.end, f);
    arrow.curveControl = lerp(old.curveControl.value_or(old.arrowMidpoint()),
                              candidate.curveControl.value_or(candidate.arrowMidpoint()), f);
    return arrow;
}

} // namespace

Rect contentRect(Size bounds, Size image)
{
    if (!(image.width > 0 && image.height > 0))
        return Rect(bounds.width / 2, bounds.height / 2, 0, 0);
    const double s = std::min(bounds.width / image.width, bounds.height / image.height);
    const double width = s * image.width;
    const double height = s * image.height;
    return Rect((bounds.width - width) / 2, (bounds.height - height) / 2, width, height);
}

std::optional<Point> canonical(Point view, const Rect& content, Size image, bool clamp)
{
    if (!(content.width() > 0 && content.height() > 0))
        return std::nullopt;
    if (!clamp
        && !(view.x >= content.minX() && view.x <= content.maxX() && view.y >= content.minY()
             && view.y <= content.maxY()))
        return std::nullopt;
    const double x = (view.x - content.minX()) * image.width / content.width();
    const double y = (view.y - content.minY()) * image.height / content.height();
    return Point{std::clamp(x, 0.0, image.width), std::clamp(y, 0.0, image.height)};
}

Point viewPoint(Point annotation, const Rect& content, Size image)
{
    return {content.minX() + annotation.x * content.width() / image.width,
            content.minY() + annotation.y * content.height() / image.height};
}

Point snapped(Point point, Point origin, bool shift, Size image)
{
    if (!shift)
        return point;
    constexpr double step = std::numbers::pi / 4;
    const double dx = point.x - origin.x;
    const double dy = point.y - origin.y;
    const double d = std::hypot(dx, dy);
    const double angle = step * std::round(std::atan2(dy, dx) / step);
    return {std::clamp(origin.x + d * std::cos(angle), 0.0, image.width),
            std::clamp(origin.y + d * std::sin(angle), 0.0, image.height)};
}

Point containedDelta(const Rect& bounds, double dx, double dy, Size image)
{
    return {std::min(image.width - bounds.maxX(), std::max(dx, -bounds.minX())),
            std::min(image.height - bounds.maxY(), std::max(dy, -bounds.minY()))};
}

AnnotationObject boundedArrow(const AnnotationObject& candidate, const AnnotationObject& old,
                              Size image)
{
    if (candidate.tool() != AnnotationTool::arrow)
        return candidate;
    if (insideImage(candidate.strokePath().boundingBox(), image))
        return candidate;
    double inside = 0;
    double outside = 1;
    for (int i = 0; i < 24; ++i) {
        const double middle = (inside + outside) / 2;
        if (insideImage(interpolatedArrow(old, candidate, middle).strokePath().boundingBox(),
                        image))
            inside = middle;
        else
            outside = middle;
    }
    return inside > 0 ? interpolatedArrow(old, candidate, inside) : old;
}

Rect badgeBox(Point centre, double width, Size image)
{
    const double r = std::min(std::min(image.width, image.height) / 2, 4 * width);
    const double x = std::clamp(centre.x, r, std::max(r, image.width - r));
    const double y = std::clamp(centre.y, r, std::max(r, image.height - r));
    return Rect(x - r, y - r, 2 * r, 2 * r);
}

} // namespace kelpie::CanvasGeometry
