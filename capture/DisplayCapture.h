#pragma once

#include "capture/WindowTarget.h"

#include <QImage>

#include <vector>

namespace kelpie {

// Freezing one display into a single full-resolution image together with
// the windows that can be picked on it.
namespace DisplayCapture {

enum class CaptureError {
    permission,      // screen reading is not allowed right now
    missing,         // the display is unknown or went away during the capture
    unsupportedSize, // the pixel size breaks PixelLimits
};

struct Snapshot {
    QImage image;
    // Front-most first, in screen-local points of the captured display.
    std::vector<WindowTarget> targets;
};

} // namespace DisplayCapture
} // namespace kelpie
