#include "canvas/CanvasTool.h"

#include "canvas/ArrowTool.h"
#include "canvas/MaskTool.h"
#include "canvas/NumberTool.h"
#include "canvas/PenTool.h"
#include "canvas/RectangleTool.h"
#include "canvas/SelectTool.h"
#include "canvas/TextTool.h"

namespace kelpie {

void CanvasTool::drawTo(const CanvasModel&, AnnotationObject& draft, Point point, bool)
{
    draft.end = point;
}

std::unique_ptr<CanvasTool> CanvasTool::make(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::select: return std::make_unique<SelectTool>();
    case AnnotationTool::rectangle:
    case AnnotationTool::ellipse: return std::make_unique<RectangleTool>(tool);
    case AnnotationTool::arrow:
    case AnnotationTool::line: return std::make_unique<ArrowTool>(tool);
    case AnnotationTool::pen:
    case AnnotationTool::highlight: return std::make_unique<PenTool>(tool);
    case AnnotationTool::mask: return std::make_unique<MaskTool>();
    case AnnotationTool::text: return std::make_unique<TextTool>();
    case AnnotationTool::number: return std::make_unique<NumberTool>();
    }
    return std::make_unique<SelectTool>();
}

} // namespace kelpie
