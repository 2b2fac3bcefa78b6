#pragma once

#include "annotation/AnnotationStyle.h"
#include "geometry/Size.h"

#include <QString>

namespace kelpie {

// Measures the box a text annotation needs. The model cannot measure text
// itself (that takes fonts), yet resizing a text object must know the size
// its text will have at the new font size. The renderer's text layout is
// the one real implementation, so that what is resized, drawn and edited in
// place wraps identically; tests pass a deterministic stand-in.
class AnnotationTextMeasurer {
public:
    // The margin, in image pixels, between a text box's edge and its text on
    // all four sides.
    static constexpr double inset = 4;

    virtual ~AnnotationTextMeasurer() = default;

    // The box `text` needs when drawn in `style` (font size, weight) and
    // wrapped to `maxWidth`, where both the width given and the width returned
    // include the two insets. Width lies in 2 × inset + 1 … maxWidth; the
    // height covers at least one line (also for empty text), one more when the
    // text ends with a line break, plus the two insets. Whole pixels.
    virtual Size size(const QString& text, const AnnotationStyle& style, double maxWidth) const = 0;
};

} // namespace kelpie
