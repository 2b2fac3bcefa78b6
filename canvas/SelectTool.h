#pragma once

#include "canvas/CanvasTool.h"

namespace kelpie {

// Picks the object under the pointer and moves it; a double click on a text
// opens it for editing, a press on nothing clears the selection.
class SelectTool final : public CanvasTool {
public:
    void press(CanvasModel& canvas, Point point, int clickCount) override;
};

} // namespace kelpie
