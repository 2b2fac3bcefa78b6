#pragma once

#include "annotation/AnnotationTextMeasurer.h"

#include <algorithm>
#include <cmath>

namespace kelpie::test {

// A predictable stand-in for font measurement: every character is half the
// font size wide, one line is 1.25 font sizes high, no wrapping. Remembers
// what it was last asked.
class FakeTextMeasurer final : public AnnotationTextMeasurer {
public:
    Size size(const QString& text, const AnnotationStyle& style, double maxWidth) const override
    {
        ++calls;
        lastText = text;
        lastStyle = style;
        lastMaxWidth = maxWidth;
        const double width = std::ceil(text.size() * style.fontSize * 0.5 + 2 * inset);
        return {std::min(std::max(width, 2 * inset + 1), maxWidth),
                std::ceil(style.fontSize * 1.25 + 2 * inset)};
    }

    mutable int calls = 0;
    mutable QString lastText;
    mutable AnnotationStyle lastStyle;
    mutable double lastMaxWidth = 0;
};

} // namespace kelpie::test
