#include "canvas/RectangleTool.h"

#include "canvas/CanvasModel.h"

namespace kelpie {

void RectangleTool::pressOrMoveSelected(CanvasModel& canvas, AnnotationTool kind, Point point)
{
    if (const std::optional<AnnotationObject> selected = canvas.selected();
        selected && selected->hit(point, canvas.hitTolerance())) {
        canvas.beginMove(*selected, point);
        return;
    }
    canvas.beginDrawing(kind, point);
}

void RectangleTool::press(CanvasModel& canvas, Point point, int)
{
    pressOrMoveSelected(canvas, m_kind, point);
}

} // namespace kelpie
