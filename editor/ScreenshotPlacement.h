#pragma once

#include "geometry/Rect.h"

#include <optional>

namespace kelpie {

// Where the screenshot editor draws its parts, in view space (points,
// origin bottom-left, y up).
struct ScreenshotPlacement {
    // The whole frozen screen.
    Rect background;
    // The crop, which is the canvas's frame.
    Rect image;
    Rect toolbar;
    std::optional<Rect> parameters;

    friend bool operator==(const ScreenshotPlacement&, const ScreenshotPlacement&) = default;
};

} // namespace kelpie
