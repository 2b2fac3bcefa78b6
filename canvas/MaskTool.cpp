#include "canvas/MaskTool.h"

#include "canvas/CanvasModel.h"
#include "canvas/PenTool.h"

namespace kelpie {

void MaskTool::press(CanvasModel& canvas, Point point, int)
{
    canvas.beginDrawing(AnnotationTool::mask, point);
}

void MaskTool::drawTo(const CanvasModel&, AnnotationObject& draft, Point point, bool)
{
    if (draft.style.maskBrush)
        PenTool::extendStroke(m_stroke, draft, point);
    else
        draft.end = point;
}

} // namespace kelpie
