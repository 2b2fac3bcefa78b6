#pragma once

#include "capture/CaptureService.h"
#include "capture/WindowTarget.h"
#include "geometry/Rect.h"

#include <QFuture>
#include <QImage>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kelpie {

// Capturing one window on its own, fresh and complete.
namespace WindowCapture {

using CaptureError = kelpie::CaptureError;

struct Snapshot {
    QImage image;
    // The window's frame in Quartz global space at capture time: points,
    // origin at the primary display's top-left, y down.
    Rect quartzFrame;
};

// How a capture ends, unless it is canceled (see DisplayCapture::capture for
// the future's contract, which is the same here).
using Outcome = CaptureResult<Snapshot>;
using ImageOutcome = CaptureResult<QImage>;

// The windows of `content` that can be picked on `screen`, front-most first:
// on screen, on the normal layer, with a known owner that is not `ownPID`,
// and meeting the screen, each clipped to it in screen-local points.
// `currentScreens` starts with the primary screen; without screens, or when
// the screen's display is not in `content`, the list is empty.
std::vector<WindowTarget> targets(const ShareableContent& content,
                                  const CaptureService::Screen& screen,
                                  std::span<const CaptureService::Screen> currentScreens,
                                  std::int32_t ownPID);

// The frame of a window, given in device pixels, in Quartz global space. A
// pixel maps to points as on the screen that shows most of the window (the
// primary screen when none does).
Rect quartzFrame(const Rect& nativeFrame, const ShareableContent& content,
                 std::span<const CaptureService::Screen> currentScreens);

// Captures the window `id`, which must still be on screen and owned by
// `ownerPID` (else `missing`, as for a window that closes, hides, moves or
// changes size before its image is read). The image has the window's own device pixels,
// one image pixel per device pixel, frame and covered or off-screen parts
// included; `unsupportedSize` when that breaks PixelLimits. Cancellation is
// honoured once the windows have been listed and once the image has arrived.
QFuture<Outcome> captureSnapshot(std::shared_ptr<CaptureService> service, std::uint32_t id,
                                 std::int32_t ownerPID);

// The same, keeping only the image.
QFuture<ImageOutcome> capture(std::shared_ptr<CaptureService> service, std::uint32_t id,
                              std::int32_t ownerPID);

} // namespace WindowCapture
} // namespace kelpie
