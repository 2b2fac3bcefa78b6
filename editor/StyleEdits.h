#pragma once

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTool.h"

#include <optional>

namespace kelpie {

// What each style control does to the current style, as pure functions of
// the tool and the style. Each returns the edited style, or nothing when the
// control has no effect there, so that the caller only applies real changes.
namespace StyleEdits {

// The size control (slider or preset): the font size for text, the mask
// strength for a mask (nothing while the mask is solid), otherwise the
// stroke width; kept within the field's valid range.
std::optional<AnnotationStyle> withSize(AnnotationTool tool, AnnotationStyle style, double value);

// Fill segments: 0 stroke only, 1 half-transparent fill (opacity 0.25),
// 2 solid fill (opacity 1).
std::optional<AnnotationStyle> withFill(AnnotationStyle style, int segment);
// Dash segments: 0 solid, 1 dashed.
std::optional<AnnotationStyle> withDash(AnnotationStyle style, int segment);
// The arrow head kind at that index.
std::optional<AnnotationStyle> withArrowHead(AnnotationStyle style, int segment);
// The mask effect at that index: solid, pixelate, blur.
std::optional<AnnotationStyle> withMaskEffect(AnnotationStyle style, int segment);
// Mask mode segments: 0 rectangle area, 1 brush.
std::optional<AnnotationStyle> withMaskMode(AnnotationStyle style, int segment);

// The fill segment that shows a style: 2 filled at full opacity, 1 filled
// below it, 0 not filled.
int fillSegment(const AnnotationStyle& style);

// A size step or colour key ("[", "]", "1"…"8") in the plain editor: the
// step goes to the font size (text, 8–200), to the mask strength (a mask
// that is not solid, 4–80), to the brush width (a solid brushed mask, 1–80)
// or to the stroke width (1–80); a solid mask that covers a rectangle takes
// no key at all. The index picks a palette colour, except for a mask that is
// not solid. Nothing for the select tool or when nothing would change.
std::optional<AnnotationStyle> forStyleKey(AnnotationTool tool, AnnotationStyle style,
                                           std::optional<double> step, std::optional<int> index);

// A colour key in the compact editors: the markup colour at the index, for
// any tool but select; nothing for other indexes.
std::optional<AnnotationColor> markupColorForKey(AnnotationTool tool, std::optional<int> index);

} // namespace StyleEdits
} // namespace kelpie
