#include "canvas/StrokeSimplifier.h"

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace {

double segmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared == 0)
        return std::hypot(p.x - a.x, p.y - a.y);
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Bounds the work per sample on a long straight run.
constexpr qsizetype maximumReplaced = 64;

} // namespace

void StrokeSimplifier::extend(QList<Point>& points, Point point)
{
    if (points.isEmpty()) {
        points.append(point);
        return;
    }
    const Point last = points.back();
    if (std::hypot(point.x - last.x, point.y - last.y) < minimumStep)
        return;
    if (points.size() >= 2 && m_replaced.size() < maximumReplaced) {
        const Point anchor = points[points.size() - 2];
        const auto near = [&](Point p) { return segmentDistance(p, anchor, point) <= tolerance; };
        if (near(last) && std::all_of(m_replaced.cbegin(), m_replaced.cend(), near)) {
            m_replaced.append(last);
            points.back() = point;
            return;
        }
    }
    m_replaced.clear();
    points.append(point);
}

} // namespace kelpie
