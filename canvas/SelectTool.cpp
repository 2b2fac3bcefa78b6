#include "canvas/SelectTool.h"

#include "canvas/CanvasModel.h"

namespace kelpie {

void SelectTool::press(CanvasModel& canvas, Point point, int clickCount)
{
    const std::optional<AnnotationObject> hit = canvas.objectAt(point);
    if (clickCount > 1 && hit && hit->tool() == AnnotationTool::text) {
        canvas.beginTextEditing(hit, point);
        return;
    }
    if (!hit) {
        canvas.deselect();
        return;
    }
    canvas.select(hit->id());
    canvas.beginMove(*hit, point);
}

} // namespace kelpie
