#pragma once

#include "capture/CaptureService.h"

#include <QDBusConnection>

#include <chrono>
#include <functional>
#include <memory>

namespace kelpie {

// The capture service of a Wayland desktop, through the screenshot portal
// (org.freedesktop.portal.Screenshot).
//
// The portal hands out one PNG file of the whole desktop and nothing else:
// no window list, no single display, no way to leave a window out. So:
// - the listing has the displays and no windows (windows cannot be picked);
// - every display captured together is cut from one desktop image: captures
//   asked for before the portal's answer arrived share that one call (see
//   DesktopImageCrop for how a screen is cut). Unlike on X11, an image can
//   be resampled: on a desktop of mixed scales the compositor renders the
//   whole desktop at one scale, and a screen of another scale is brought to
//   its own pixel size;
// - this process's own windows are kept out by hiding them, through the
//   hider the application sets, until the image has arrived;
// - the file the portal wrote is deleted once read, whatever the outcome.
//
// Display numbers: Wayland has no output ids a client can read, so a
// screen's number is a 32-bit FNV-1a hash of its name (the connector, e.g.
// "DP-1"), never 0: the same screen keeps its number while it is plugged in
// and across runs, which the X11 service's RandR ids do too.
//
// Reading the screen needs the desktop's consent, kept in the portal's
// permission store; a desktop that has not been asked yet asks the user on
// the first capture (or on requestAccess()).
class PortalCaptureService : public CaptureService {
public:
    enum class Permission { granted, denied, unset };

    // Hides this process's visible windows and returns what shows them
    // again; an empty function when none was visible, so there is nothing
    // to wait for before the screenshot.
    using WindowHider = std::function<std::function<void()>()>;

    static constexpr std::chrono::milliseconds defaultTimeout{10'000};
    // requestAccess() waits for the user to answer the desktop's dialog.
    static constexpr std::chrono::milliseconds defaultInteractiveTimeout{120'000};
    // How long hidden windows are given to leave the screen: the compositor
    // shows a window's removal with its next frame, which is at most one
    // refresh (17 ms at 60 Hz) after the client's commit, plus the time it
    // takes the client to commit; twice that and a margin.
    static constexpr std::chrono::milliseconds defaultSettleTime{50};

    explicit PortalCaptureService(QDBusConnection connection = QDBusConnection::sessionBus());
    ~PortalCaptureService() override;

    PortalCaptureService(const PortalCaptureService&) = delete;
    PortalCaptureService& operator=(const PortalCaptureService&) = delete;

    void setOwnWindowsHider(WindowHider hider);
    // How long the non-interactive and the interactive screenshot may take.
    void setTimeouts(std::chrono::milliseconds screenshot, std::chrono::milliseconds interactive);
    // The pause between hiding this process's windows and asking for the
    // screenshot (one event-loop turn always comes first).
    void setSettleTime(std::chrono::milliseconds settle);

    // What the permission store says about this application's screenshots.
    // Asks the store and waits for its answer (briefly; unset when it does
    // not answer).
    Permission permission() const;

    // True unless the user refused: an application not asked yet is asked
    // by the desktop at its first capture.
    bool hasAccess() const override;
    // One interactive screenshot, whose image is thrown away: the desktop
    // asks the user (and remembers the answer where it keeps one). True when
    // it delivered an image.
    QFuture<bool> requestAccess() override;

    // The portal reads the whole desktop and knows no windows; the pointer's
    // screen is unknown until a window of this process is under it.
    bool capturesWindows() const override { return false; }
    bool freezesEveryScreen() const override { return true; }

    std::int32_t processId() const override;
    std::uint32_t displayNumber(const QScreen* screen) const override;
    std::vector<Screen> screens() const override;
    QFuture<Result<ShareableContent>> shareableContent() override;
    // `excludedPID` can only be this process: its windows are hidden.
    // Failures: `missing` when the screen is gone, `screenChanged` when its
    // pixel size is no longer `size` or the desktop's layout changed before
    // the image arrived, `permission` when the user cancelled the desktop's
    // dialog, `system` for a portal failure, a time-out, or an image that is
    // missing or unreadable.
    QFuture<Result<QImage>> captureDisplay(const ShareableContent::Display& display,
                                           PixelLimits::PixelSize size,
                                           std::int32_t excludedPID) override;
    // Windows cannot be captured on their own: always `missing`.
    QFuture<Result<QImage>> captureWindow(const ShareableContent::Window& window,
                                          PixelLimits::PixelSize size) override;

    // The display number of a screen called `name`.
    static std::uint32_t displayNumberOf(const QString& name);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kelpie
