#include "canvas/NumberTool.h"

#include "canvas/CanvasGeometry.h"
#include "canvas/CanvasModel.h"

namespace kelpie {

void NumberTool::press(CanvasModel& canvas, Point point, int)
{
    const AnnotationStyle style = canvas.newStyle(AnnotationTool::number);
    const Rect box = CanvasGeometry::badgeBox(point, style.width, canvas.imageSize());
    AnnotationState state = canvas.document().state();
    const AnnotationObject badge(AnnotationTool::number, style, box.origin,
                                 {box.maxX(), box.maxY()}, {}, state.nextNumber);
    state.objects.append(badge);
    state.nextNumber += 1;
    canvas.document().commit(std::move(state));
    canvas.select(badge.id());
}

} // namespace kelpie
