#pragma once

#include "canvas/CanvasTool.h"

namespace kelpie {

// Places a numbered badge at once, fully inside the image, numbered by the
// document so that undoing a badge gives its number back.
class NumberTool final : public CanvasTool {
public:
    void press(CanvasModel& canvas, Point point, int clickCount) override;
};

} // namespace kelpie
