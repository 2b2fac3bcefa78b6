#include "canvas/PenTool.h"

#include "canvas/CanvasModel.h"

namespace kelpie {

void PenTool::press(CanvasModel& canvas, Point point, int) { canvas.beginDrawing(m_kind, point); }

void PenTool::drawTo(const CanvasModel&, AnnotationObject& draft, Point point, bool)
{
    m_stroke.extend(draft.points, point);
    draft.end = point;
}

} // namespace kelpie
