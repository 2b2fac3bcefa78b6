#pragma once

#include "canvas/CanvasTool.h"
#include "canvas/StrokeSimplifier.h"

namespace kelpie {

// Draws freehand pen and highlight strokes along the pointer's path.
class PenTool final : public CanvasTool {
public:
    explicit PenTool(AnnotationTool kind) : m_kind(kind) { }

    void press(CanvasModel& canvas, Point point, int clickCount) override;
    void drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point,
                bool shift) override;

private:
    AnnotationTool m_kind;
    StrokeSimplifier m_stroke;
};

} // namespace kelpie
