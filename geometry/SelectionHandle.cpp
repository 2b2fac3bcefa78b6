#include "geometry/SelectionHandle.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelpie {
namespace {

struct Interval {
    double lo;
    double hi;
};

// The one-dimensional rule both axes follow.
Interval resizeAxis(Interval span, double pointer, double factor, double extent, double minimum)
{
    if (factor == 0.5)
        return span;
    const double fixed = factor == 0 ? span.hi : span.lo;
    double moving = std::min(std::max(pointer, 0.0), extent);
    const double least = std::min(minimum, extent);
    if (std::abs(moving - fixed) < least) {
        if (least <= fixed && moving <= fixed)
            moving = fixed - least;
        else
            moving = std::min(fixed + least, extent);
        // The high side was cut off by the end of the area: fall back below.
        if (std::abs(moving - fixed) < least)
            moving = std::max(fixed - least, 0.0);
    }
    return {std::min(fixed, moving), std::max(fixed, moving)};
}

} // namespace

SelectionHandle::Axes SelectionHandle::axes() const
{
    switch (m_kind) {
    case bottomLeft: return {0, 0};
    case bottom: return {0.5, 0};
    case bottomRight: return {1, 0};
    case right: return {1, 0.5};
    case topRight: return {1, 1};
    case top: return {0.5, 1};
    case topLeft: return {0, 1};
    case left: return {0, 0.5};
    }
    return {0.5, 0.5};
}

Point SelectionHandle::point(const Rect& rect) const
{
    const Axes a = axes();
    return {rect.minX() + rect.width() * a.x, rect.minY() + rect.height() * a.y};
}

Rect SelectionHandle::resize(const Rect& rect, Point toward, Size canvas, Size minimum) const
{
    const Axes a = axes();
    const Interval x
        = resizeAxis({rect.minX(), rect.maxX()}, toward.x, a.x, canvas.width, minimum.width);
    const Interval y
        = resizeAxis({rect.minY(), rect.maxY()}, toward.y, a.y, canvas.height, minimum.height);
    return Rect(x.lo, y.lo, x.hi - x.lo, y.hi - y.lo);
}

} // namespace kelpie
