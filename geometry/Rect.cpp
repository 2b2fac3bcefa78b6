#include "geometry/Rect.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelpie {

Rect Rect::null()
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    return Rect(inf, inf, 0, 0);
}

double Rect::minX() const { return std::min(origin.x, origin.x + size.width); }
double Rect::maxX() const { return std::max(origin.x, origin.x + size.width); }
double Rect::midX() const { return origin.x + size.width / 2; }
double Rect::minY() const { return std::min(origin.y, origin.y + size.height); }
double Rect::maxY() const { return std::max(origin.y, origin.y + size.height); }
double Rect::midY() const { return origin.y + size.height / 2; }
double Rect::width() const { return std::abs(size.width); }
double Rect::height() const { return std::abs(size.height); }

bool Rect::isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }

bool Rect::isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

bool Rect::isFinite() const
{
    return std::isfinite(origin.x) && std::isfinite(origin.y) && std::isfinite(size.width)
        && std::isfinite(size.height);
}

Rect Rect::standardized() const
{
    if (isNull())
        return null();
    return Rect(minX(), minY(), width(), height());
}

Rect Rect::integral() const
{
    if (isNull())
        return null();
    const double left = std::floor(minX());
    const double bottom = std::floor(minY());
    return Rect(left, bottom, std::ceil(maxX()) - left, std::ceil(maxY()) - bottom);
}

Rect Rect::intersected(const Rect& other) const
{
    if (isNull() || other.isNull())
        return null();
    const double left = std::max(minX(), other.minX());
    const double right = std::min(maxX(), other.maxX());
    const double bottom = std::max(minY(), other.minY());
    const double top = std::min(maxY(), other.maxY());
    // Rectangles that only touch along an edge meet in an empty rectangle;
    // only a true gap gives the null one.
    if (left > right || bottom > top)
        return null();
    return Rect(left, bottom, right - left, top - bottom);
}

Rect Rect::united(const Rect& other) const
{
    if (isNull())
        return other.standardized();
    if (other.isNull())
        return standardized();
    const double left = std::min(minX(), other.minX());
    const double bottom = std::min(minY(), other.minY());
    return Rect(left, bottom, std::max(maxX(), other.maxX()) - left,
                std::max(maxY(), other.maxY()) - bottom);
}

Rect Rect::insetBy(double dx, double dy) const
{
    if (isNull())
        return null();
    const Rect r = standardized();
    const double width = r.size.width - 2 * dx;
    const double height = r.size.height - 2 * dy;
    if (width < 0 || height < 0)
        return null();
    return Rect(r.origin.x + dx, r.origin.y + dy, width, height);
}

Rect Rect::offsetBy(double dx, double dy) const
{
    if (isNull())
        return null();
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

bool Rect::contains(Point p) const
{
    return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const
{
    if (isNull() || other.isNull())
        return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY()
        && other.maxY() <= maxY();
}

bool Rect::intersects(const Rect& other) const { return !intersected(other).isEmpty(); }

} // namespace kelpie
