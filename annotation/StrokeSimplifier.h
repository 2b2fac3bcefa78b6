#pragma once

#include "geometry/Point.h"

#include <QList>

#include <vector>

namespace kelpie {

// Thins the samples of a freehand stroke (pen, highlight, brush mask) as
// they arrive, so that a long, jittery stroke stays cheap to draw.
//
// A sample is dropped when it and every sample dropped since the last kept
// point lie within `tolerance` pixels of the straight piece from that kept
// point to the newest sample: the stroke then runs at most `tolerance` from
// where it was drawn. Pieces are never longer than 8 × `tolerance`, so the
// smoothing that rounds the corners between kept points cuts no corner by
// much more than the tolerance either. The first sample is always kept, the
// newest is always the last point (the stroke follows the pointer while it
// is drawn), and a sample equal to the newest one adds nothing.
//
// Typical use: a canvas appends every pointer sample while the stroke is
// drawn and stores points() in the object.
class StrokeSimplifier {
public:
    // A quarter of a pixel is finer than antialiasing shows.
    static constexpr double defaultTolerance = 0.25;

    explicit StrokeSimplifier(double tolerance = defaultTolerance);

    // Adds the next sample of the stroke. Amortised cost is bounded by a
    // fixed number of dropped samples per kept point.
    void append(Point sample);

    // The kept points: the first sample, the points where the stroke turns,
    // and the newest sample last.
    const QList<Point>& points() const { return m_points; }

    // Starts a new stroke.
    void clear();

    // All of `samples` through a simplifier: for a stroke recorded whole.
    static QList<Point> simplified(const QList<Point>& samples,
                                   double tolerance = defaultTolerance);

private:
    double m_tolerance;
    QList<Point> m_points;
    // The samples dropped since the last point that is sure to stay (the
    // one before the newest), in order, the newest point not included.
    std::vector<Point> m_dropped;
};

} // namespace kelpie
