#include "canvas/ArrowTool.h"

#include "canvas/CanvasGeometry.h"
#include "canvas/CanvasModel.h"
#include "canvas/RectangleTool.h"

namespace kelpie {

void ArrowTool::press(CanvasModel& canvas, Point point, int)
{
    RectangleTool::pressOrMoveSelected(canvas, m_kind, point);
}

void ArrowTool::drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point, bool shift)
{
    draft.end = CanvasGeometry::snapped(point, draft.start, shift, canvas.imageSize());
    if (canvas.compactStyles() && draft.tool() == AnnotationTool::arrow)
        draft.applyPresetCurve(canvas.imageSize());
}

} // namespace kelpie
