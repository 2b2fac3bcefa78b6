#pragma once

#include "capture/CaptureError.h"
#include "capture/PixelLimits.h"
#include "capture/ShareableContent.h"
#include "geometry/Rect.h"

#include <QFuture>
#include <QImage>

#include <cstdint>
#include <vector>

class QScreen;

namespace kelpie {

// The window system behind every capture: which screens and windows exist,
// and single still images of a display or of one window. DisplayCapture and
// WindowCapture hold the rules (ordering, filtering, owner checks, pixel
// budget, cancellation); an implementation only reports what the window
// system says, so tests can stand a fake in its place.
//
// The synchronous members are called on the main thread. The asynchronous
// ones may do their work elsewhere; their futures finish with either a value
// or a failure, never by cancellation, and the service keeps its pending work
// alive until it finishes. Failures are `system` (with the window system's
// words in the detail) unless a member says otherwise; callers pass them on
// unchanged.
class CaptureService {
public:
    template<typename T> using Result = CaptureResult<T>;

    // A current screen as Qt shows it.
    struct Screen {
        // 0 when the screen's display cannot be told.
        std::uint32_t displayNumber = 0;
        // Qt's logical geometry: points, global, y down.
        Rect frame;

        friend bool operator==(const Screen&, const Screen&) = default;
    };

    virtual ~CaptureService();

    // True when the screen may be read now. No prompt is shown.
    virtual bool hasAccess() const = 0;

    // Whether single windows can be listed and captured; where they cannot,
    // only regions of a display are chosen.
    virtual bool capturesWindows() const { return true; }

    // True where the window system reads the whole desktop in one image and
    // cannot say which screen the pointer is on before one of Kelpie's
    // windows is under it: every screen is then frozen and covered at once.
    virtual bool freezesEveryScreen() const { return false; }

    // Asks the desktop for the right to read the screen, showing whatever
    // prompt it uses, and finishes with whether reading is allowed then.
    // Where no prompt exists the answer is hasAccess().
    virtual QFuture<bool> requestAccess();

    // The running process, whose windows never appear in a capture.
    virtual std::int32_t processId() const = 0;

    // The number of the display behind a screen; 0 when unknown.
    virtual std::uint32_t displayNumber(const QScreen* screen) const = 0;

    // The current screens, primary first.
    virtual std::vector<Screen> screens() const = 0;

    // Told that an image of this display is about to be asked for (after the
    // listing): a service may get ready for it meanwhile.
    virtual void expectDisplayCapture(std::uint32_t /*displayNumber*/) { }

    // The displays and the on-screen windows, front-most first.
    virtual QFuture<Result<ShareableContent>> shareableContent() = 0;

    // One image of `display`, exactly `size` pixels, one per device pixel,
    // without the pointer and without any window owned by `excludedPID`.
    // Never a resampled image: `screenChanged` when the display's device
    // pixels are no longer `size` or no longer where they were listed,
    // `missing` when the display is gone.
    virtual QFuture<Result<QImage>> captureDisplay(const ShareableContent::Display& display,
                                                   PixelLimits::PixelSize size,
                                                   std::int32_t excludedPID)
        = 0;

    // The complete contents of one window (covered and off-screen parts
    // included), exactly `size` pixels, without the pointer. `missing` when
    // the window is gone or hidden, or no longer has the frame it was listed
    // with (so its image could not be placed where it was).
    virtual QFuture<Result<QImage>> captureWindow(const ShareableContent::Window& window,
                                                  PixelLimits::PixelSize size)
        = 0;

    // The current screen whose display number is `displayNumber`, if any.
    // Never matches 0.
    QScreen* screen(std::uint32_t displayNumber) const;
};

} // namespace kelpie
