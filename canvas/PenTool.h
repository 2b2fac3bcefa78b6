#pragma once

#include "annotation/StrokeSimplifier.h"
#include "canvas/CanvasTool.h"

namespace kelpie {

// Draws freehand pen and highlight strokes along the pointer's path,
// thinned as they are drawn so that a long scribble stays cheap to show.
class PenTool final : public CanvasTool {
public:
    explicit PenTool(AnnotationTool kind) : m_kind(kind) { }

    void press(CanvasModel& canvas, Point point, int clickCount) override;
    void drawTo(const CanvasModel& canvas, AnnotationObject& draft, Point point,
                bool shift) override;

    // Adds `point` to a freehand draft when it lies at least half a pixel
    // from the last sample, keeping only the samples that shape the stroke.
    static void extendStroke(StrokeSimplifier& stroke, AnnotationObject& draft, Point point);

private:
    AnnotationTool m_kind;
    StrokeSimplifier m_stroke;
};

} // namespace kelpie
