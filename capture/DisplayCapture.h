#pragma once

#include "capture/CaptureService.h"
#include "capture/WindowTarget.h"

#include <QFuture>
#include <QImage>

#include <memory>
#include <vector>

class QScreen;

namespace kelpie {

// Freezing one display into a single full-resolution image together with
// the windows that can be picked on it.
namespace DisplayCapture {

using CaptureError = kelpie::CaptureError;

struct Snapshot {
    QImage image;
    // Front-most first, in screen-local points of the captured display.
    std::vector<WindowTarget> targets;
};

// How a capture ends, unless it is canceled: the snapshot, or a failure of
// the capture itself or of the capture service (passed on unchanged).
using Outcome = CaptureResult<Snapshot>;

// Freezes `screen`: an image of exactly its display's device pixels, one
// image pixel each and never resampled (at a fractional device-pixel ratio
// that is not the screen's rounded size in points times the ratio), without
// the pointer and without any window of this process, plus the pickable
// windows of the same enumeration.
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
// the pixel size breaks PixelLimits; `screenChanged` when the display's mode
// changed before the screen caught up, so its device pixels no longer match
// the screen; `system` when the window system failed.
//
// A window of this process closed just before a capture may still be shown
// for a moment (a compositing manager fading it out). The service leaves out
// such recent places too where it can tell them, but the sure way is to keep
// the windows a capture replaces mapped until its future has finished, and
// close them afterwards.
QFuture<Outcome> capture(std::shared_ptr<CaptureService> service, QScreen* screen);

} // namespace DisplayCapture
} // namespace kelpie
