#include "editor/StyleEdits.h"

#include <algorithm>
#include <cmath>

namespace kelpie::StyleEdits {
namespace {

std::optional<AnnotationStyle> changed(const AnnotationStyle& before, const AnnotationStyle& after)
{
    if (after == before)
        return std::nullopt;
    return after;
}

bool inside(int segment, std::size_t count) { return segment >= 0 && std::size_t(segment) < count; }

} // namespace

std::optional<AnnotationStyle> withSize(AnnotationTool tool, AnnotationStyle style, double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const AnnotationStyle before = style;
    switch (tool) {
    case AnnotationTool::text: style.fontSize = std::clamp(value, 8.0, 200.0); break;
    case AnnotationTool::mask:
        if (style.maskEffect == MaskEffect::solid)
            return std::nullopt;
        style.maskStrength = std::clamp(value, 4.0, 80.0);
        break;
    default: style.width = std::clamp(value, 1.0, 80.0); break;
    }
    return changed(before, style);
}

std::optional<AnnotationStyle> withFill(AnnotationStyle style, int segment)
{
    const AnnotationStyle before = style;
    switch (segment) {
    case 0: style.filled = false; break;
    case 1:
        style.filled = true;
        style.fillOpacity = 0.25;
        break;
    case 2:
        style.filled = true;
        style.fillOpacity = 1;
        break;
    default: return std::nullopt;
    }
    return changed(before, style);
}

std::optional<AnnotationStyle> withDash(AnnotationStyle style, int segment)
{
    if (!inside(segment, 2))
        return std::nullopt;
    const AnnotationStyle before = style;
    style.dashed = segment == 1;
    return changed(before, style);
}

std::optional<AnnotationStyle> withArrowHead(AnnotationStyle style, int segment)
{
    if (!inside(segment, allArrowHeads.size()))
        return std::nullopt;
    const AnnotationStyle before = style;
    style.arrowHead = allArrowHeads[std::size_t(segment)];
    return changed(before, style);
}

std::optional<AnnotationStyle> withMaskEffect(AnnotationStyle style, int segment)
{
    if (!inside(segment, allMaskEffects.size()))
        return std::nullopt;
    const AnnotationStyle before = style;
    style.maskEffect = allMaskEffects[std::size_t(segment)];
    return changed(before, style);
}

std::optional<AnnotationStyle> withMaskMode(AnnotationStyle style, int segment)
{
    if (!inside(segment, 2))
        return std::nullopt;
    const AnnotationStyle before = style;
    style.maskBrush = segment == 1;
    return changed(before, style);
}

int fillSegment(const AnnotationStyle& style)
{
    if (!style.filled)
        return 0;
    return style.fillOpacity >= 1 ? 2 : 1;
}

std::optional<AnnotationStyle> forStyleKey(AnnotationTool tool, AnnotationStyle style,
                                           std::optional<double> step, std::optional<int> index)
{
    if (tool == AnnotationTool::select)
        return std::nullopt;
    const AnnotationStyle before = style;
    const bool mask = tool == AnnotationTool::mask;
    const bool solid = style.maskEffect == MaskEffect::solid;
    if (step && std::isfinite(*step)) {
        if (tool == AnnotationTool::text)
            style.fontSize = std::clamp(style.fontSize + *step, 8.0, 200.0);
        else if (mask && !solid)
            style.maskStrength = std::clamp(style.maskStrength + *step, 4.0, 80.0);
        else if (mask && style.maskBrush)
            style.width = std::clamp(style.width + *step, 1.0, 80.0);
        else if (mask)
            return std::nullopt;
        else
            style.width = std::clamp(style.width + *step, 1.0, 80.0);
    }
    if (index && inside(*index, AnnotationColor::palette.size()) && !(mask && !solid))
        style.color = AnnotationColor::palette[std::size_t(*index)];
    return changed(before, style);
}

std::optional<AnnotationColor> markupColorForKey(AnnotationTool tool, std::optional<int> index)
{
    if (tool == AnnotationTool::select || !index
        || !inside(*index, AnnotationColor::markupPalette.size()))
        return std::nullopt;
    return AnnotationColor::markupPalette[std::size_t(*index)];
}

} // namespace kelpie::StyleEdits
