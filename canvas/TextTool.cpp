#include "canvas/TextTool.h"

#include "canvas/CanvasModel.h"

namespace kelpie {

void TextTool::press(CanvasModel& canvas, Point point, int)
{
    const std::optional<AnnotationObject> hit = canvas.objectAt(point);
    if (hit && hit->tool() == AnnotationTool::text)
        canvas.beginTextEditing(hit, point);
    else
        canvas.beginTextEditing(std::nullopt, point);
}

} // namespace kelpie
