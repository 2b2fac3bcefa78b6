#include "canvas/PenTool.h"

#include "canvas/CanvasModel.h"

#include <cmath>

namespace kelpie {

void PenTool::press(CanvasModel& canvas, Point point, int) { canvas.beginDrawing(m_kind, point); }

void PenTool::drawTo(const CanvasModel&, AnnotationObject& draft, Point point, bool)
{
    extendStroke(m_stroke, draft, point);
}

void PenTool::extendStroke(StrokeSimplifier& stroke, AnnotationObject& draft, Point point)
{
    if (stroke.points().isEmpty() && !draft.points.isEmpty())
        stroke.append(draft.points.front());
    const Point last = stroke.points().isEmpty() ? point : stroke.points().back();
    if (!stroke.points().isEmpty() && std::hypot(point.x - last.x, point.y - last.y) < 0.5)
        return;
    stroke.append(point);
    draft.points = stroke.points();
    draft.end = point;
}

} // namespace kelpie
