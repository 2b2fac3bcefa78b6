#include "annotation/StrokeSimplifier.h"

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace {

// Beyond this many dropped samples a piece is closed anyway, so that a
// pointer resting on one spot cannot make each sample cost more and more.
constexpr std::size_t maxDropped = 256;

// Distance from p to the segment a–b (to a when the segment has no length).
double segmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = 0;
    if (lengthSquared > 0)
        t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

} // namespace

StrokeSimplifier::StrokeSimplifier(double tolerance)
    : m_tolerance(std::isfinite(tolerance) && tolerance > 0 ? tolerance : 0)
{
}

void StrokeSimplifier::append(Point sample)
{
    if (!m_points.isEmpty() && m_points.back() == sample)
        return;
    if (m_points.size() < 2) {
        m_points.append(sample);
        return;
    }
    // Can the newest point move on to `sample`, with it and everything
    // dropped since the kept point before it still close to the piece?
    const Point kept = m_points[m_points.size() - 2];
    const Point newest = m_points.back();
    const auto close = [&](Point p) { return segmentDistance(p, kept, sample) <= m_tolerance; };
    const bool replace = m_dropped.size() < maxDropped
        && std::hypot(sample.x - kept.x, sample.y - kept.y) <= 8 * m_tolerance && close(newest)
        && std::all_of(m_dropped.begin(), m_dropped.end(), close);
    if (replace) {
        m_dropped.push_back(newest);
        m_points.back() = sample;
    } else {
        m_dropped.clear();
        m_points.append(sample);
    }
}

void StrokeSimplifier::clear()
{
    m_points.clear();
    m_dropped.clear();
}

QList<Point> StrokeSimplifier::simplified(const QList<Point>& samples, double tolerance)
{
    StrokeSimplifier simplifier(tolerance);
    for (const Point& sample : samples)
        simplifier.append(sample);
    return simplifier.points();
}

} // namespace kelpie
