#pragma once

#include "canvas/CanvasTool.h"

namespace kelpie {

// Opens the in-place editor: on the text under the pointer, or for a new
// text where the pointer is.
class TextTool final : public CanvasTool {
public:
    void press(CanvasModel& canvas, Point point, int clickCount) override;
};

} // namespace kelpie
