#pragma once

#include "capture/CaptureService.h"

#include <memory>

namespace kelpie {

// The capture service of an X11 desktop, on a connection of its own.
//
// From the moment it is made until it is destroyed it asks the server
// (Composite, automatic redirection) to keep the top-level windows' contents
// off screen, within the bounds X11CaptureRedirection states. That is what
// lets a window be captured complete, covered or off-screen parts included,
// and lets a display be frozen without this process's windows and without
// hiding them first: where they lie (and, under a compositing manager, where
// their shadows fall), the image is rebuilt from the contents of the windows
// beneath over the desktop's background. A compositing manager keeps those
// contents anyway; without one the server does it for us, at the cost of one
// pixmap per kept window.
//
// Images are the displays' and windows' own device pixels, one image pixel
// each, at any device-pixel ratio; a display or window whose size changed
// under the caller's feet fails (screenChanged, missing) instead.
//
// Images come through MIT-SHM when the server offers it, else GetImage.
// Display numbers are RandR output ids; the work of the asynchronous members
// runs on one worker thread of the service's own, in order.
class X11CaptureService : public CaptureService {
public:
    X11CaptureService();
    ~X11CaptureService() override;

    // False when the X server could not be reached; every request then
    // fails with the service's error.
    bool isConnected() const;

    // Returns once every top-level window created before the call is kept
    // off screen (or refused); every listing does this itself. False when
    // the server did not answer.
    bool catchUp() const;

    bool hasAccess() const override;
    std::int32_t processId() const override;
    std::uint32_t displayNumber(const QScreen* screen) const override;
    std::vector<Screen> screens() const override;
    void expectDisplayCapture(std::uint32_t displayNumber) override;
    QFuture<Result<ShareableContent>> shareableContent() override;
    QFuture<Result<QImage>> captureDisplay(const ShareableContent::Display& display,
                                           PixelLimits::PixelSize size,
                                           std::int32_t excludedPID) override;
    QFuture<Result<QImage>> captureWindow(const ShareableContent::Window& window,
                                          PixelLimits::PixelSize size) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kelpie
