#pragma once

#include "canvas/CanvasTool.h"

namespace kelpie {

// Draws rectangles and ellipses from corner to corner. A press on the
// selected object moves it instead, so it can be dragged without switching
// to the select tool.
class RectangleTool final : public CanvasTool {
public:
    explicit RectangleTool(AnnotationTool kind) : m_kind(kind) { }

    void press(CanvasModel& canvas, Point point, int clickCount) override;

    // The press shared by every tool that moves a selected object it hits.
    static void pressOrMoveSelected(CanvasModel& canvas, AnnotationTool kind, Point point);

private:
    AnnotationTool m_kind;
};

} // namespace kelpie
