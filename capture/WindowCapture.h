#pragma once

#include "geometry/Rect.h"

#include <QImage>

namespace kelpie {

// Capturing one window on its own, fresh and complete.
namespace WindowCapture {

enum class CaptureError {
    permission,      // screen reading is not allowed right now
    missing,         // the window is gone, hidden, or owned by another process
    unsupportedSize, // the pixel size breaks PixelLimits
};

struct Snapshot {
    QImage image;
    // The window's frame in Quartz global space at capture time: points,
    // origin at the primary display's top-left, y down.
    Rect quartzFrame;
};

} // namespace WindowCapture
} // namespace kelpie
