#pragma once

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationTool.h"
#include "geometry/Point.h"

#include <memory>

namespace kelpie {

class CanvasModel;

// What one tool does with the pointer on the canvas: how a press starts (a
// new draft, a move, a badge, a text editor) and how the draft of a drawing
// gesture follows the pointer. One small class per tool; the gestures on
// existing objects (move, resize, bend, endpoints) belong to the canvas.
class CanvasTool {
public:
    virtual ~CanvasTool() = default;

    // A press at `point` (annotation space) after the selected object's
    // handles have had their chance. `clickCount` is 2 for a double click.
    virtual void press(CanvasModel& canvas, Point point, int clickCount) = 0;

    // The draft of a drawing gesture follows the pointer to `point` (inside
    // the image). `shift` asks for 45° steps where the tool has a direction.
    virtual void drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point,
                        bool shift);

    // The tool's behaviour, fresh for one gesture.
    static std::unique_ptr<CanvasTool> make(AnnotationTool tool);
};

} // namespace kelpie
