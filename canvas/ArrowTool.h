#pragma once

#include "canvas/CanvasTool.h"

namespace kelpie {

// Draws arrows and lines from their start to the pointer, in 45° steps with
// Shift; compact canvases bend new arrows by default.
class ArrowTool final : public CanvasTool {
public:
    explicit ArrowTool(AnnotationTool kind) : m_kind(kind) { }

    void press(CanvasModel& canvas, Point point, int clickCount) override;
    void drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point,
                bool shift) override;

private:
    AnnotationTool m_kind;
};

} // namespace kelpie
