#pragma once

#include "annotation/StrokeSimplifier.h"
#include "canvas/CanvasTool.h"

namespace kelpie {

// Draws masks: a rectangle from corner to corner, or with the brush style a
// freehand path.
class MaskTool final : public CanvasTool {
public:
    void press(CanvasModel& canvas, Point point, int clickCount) override;
    void drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point,
                bool shift) override;

private:
    StrokeSimplifier m_stroke;
};

} // namespace kelpie
