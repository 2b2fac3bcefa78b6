#pragma once

#include "capture/CaptureService.h"
#include "capture/WindowTarget.h"

#include <QFuture>
#include <QImage>

#include <memory>
#include <variant>
#include <vector>

class QScreen;

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

// How a capture ends, unless it is canceled: the snapshot, one of the
// capture's own errors, or the capture service's error passed on unchanged.
using Outcome = std::variant<Snapshot, CaptureError, CaptureService::Error>;

// Freezes `screen`: an image of exactly its device pixels (its logical size
// times its device-pixel ratio), without the pointer and without any window
// of this process, plus the pickable windows of the same enumeration.
//
// Call on the main thread; the future's steps resume there. The future
// finishes with one Outcome, or canceled without a result. Cancel it with
// QFuture::cancel(); the capture honours that at exactly two points: once the
// windows have been listed (no image is taken then) and once the image has
// arrived (the image is dropped). So a capture canceled while the image is in
// flight finishes, canceled, only after the image returns.
//
// `permission` is decided before anything else is touched; `missing` when the
// screen has no display number, its display is not listed, or no current
// screen carries that number once the image is taken; `unsupportedSize` when
// the pixel size breaks PixelLimits.
QFuture<Outcome> capture(std::shared_ptr<CaptureService> service, QScreen* screen);

} // namespace DisplayCapture
} // namespace kelpie
