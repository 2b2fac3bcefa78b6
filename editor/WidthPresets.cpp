#include "editor/WidthPresets.h"

#include <algorithm>
#include <cmath>

namespace kelpie::WidthPresets {

std::array<int, 4> base(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::mask: return {8, 16, 24, 32};
    case AnnotationTool::highlight: return {12, 20, 28, 36};
    case AnnotationTool::number: return {2, 3, 4, 6};
    default: return {2, 4, 6, 10};
    }
}

int scaled(AnnotationTool tool, int preset, double scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        scale = 1;
    const double lowest = tool == AnnotationTool::mask ? 4 : 1;
    return int(std::clamp(std::floor(preset * scale), lowest, 80.0));
}

std::array<int, 4> values(AnnotationTool tool, double scale)
{
    std::array<int, 4> result = base(tool);
    for (int& value : result)
        value = scaled(tool, value, scale);
    return result;
}

bool showIcons(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::rectangle:
    case AnnotationTool::ellipse:
    case AnnotationTool::arrow:
    case AnnotationTool::line:
    case AnnotationTool::pen:
    case AnnotationTool::highlight: return true;
    default: return false;
    }
}

} // namespace kelpie::WidthPresets
