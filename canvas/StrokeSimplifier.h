#pragma once

#include "geometry/Point.h"

#include <QList>

namespace kelpie {

// Grows a freehand path as the pointer moves, leaving out what carries no
// shape: a sample closer than half a pixel to the previous one, and a sample
// that lies (with every sample it already replaced) within a fifth of a pixel
// of the straight piece from the sample before it to the new one. A long
// scribble thus keeps its look with far fewer points to draw.
class StrokeSimplifier {
public:
    static constexpr double minimumStep = 0.5;
    static constexpr double tolerance = 0.2;

    // Adds `point` to `points` (which this simplifier alone has been growing).
    void extend(QList<Point>& points, Point point);

private:
    // Samples replaced since the last one kept for good.
    QList<Point> m_replaced;
};

} // namespace kelpie
