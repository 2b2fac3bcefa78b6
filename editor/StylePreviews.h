#pragma once

#include "annotation/AnnotationColor.h"
#include "editor/ControlImage.h"

#include <QSizeF>
#include <QString>

namespace kelpie {

// The small drawings on the style controls: what each option of the option
// row looks like, the stroke of a width preset, and the compact row's colour
// swatches and arrow samples. All but the swatches are template images that
// take the control's tint.
namespace StylePreviews {

inline constexpr QSizeF optionSize{44, 24};
inline constexpr QSizeF swatchSize{16, 16};
inline constexpr QSizeF arrowSampleSize{32, 22};

// One option of the option row by kind: "fill-none", "fill-soft",
// "fill-solid", "solid", "dashed", "filled", "open", "double". Absent
// (a null image) for any other kind.
ControlImage option(const QString& kind);

// A line of `width` points across the preset size, thicker lines capped so
// they stay inside the image.
ControlImage strokeSample(double width);

// A round swatch of the colour with a faint outline, not a template.
ControlImage colorSwatch(const AnnotationColor& color);

// A straight or a curved arrow.
ControlImage arrowSample(bool curved);

} // namespace StylePreviews
} // namespace kelpie
