#include "canvas/MaskTool.h"

#include "canvas/CanvasModel.h"

namespace kelpie {

void MaskTool::press(CanvasModel& canvas, Point point, int)
{
    canvas.beginDrawing(AnnotationTool::mask, point);
}

void MaskTool::drawTo(const CanvasModel&, AnnotationObject& draft, Point point, bool)
{
    if (draft.style.maskBrush)
        m_stroke.extend(draft.points, point);
    draft.end = point;
}

} // namespace kelpie
