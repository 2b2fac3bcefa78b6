#pragma once

#include "geometry/Rect.h"

#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace kelpie {

class XcbSession;

// Keeps the contents of the desktop's top-level windows off screen, so that
// a window can be captured complete (covered and off-screen parts included)
// and the desktop under this process's own windows can be rebuilt.
//
// Every kept window costs the X server a pixmap of the window's size for as
// long as it is shown, so not every window is kept. The rule:
//   - a top-level is kept only while its size (border included) passes
//     PixelLimits: a larger window could never be captured anyway, and a
//     20000 × 20000 one alone would cost 1.6 GB;
//   - the shown top-levels that are kept cost together at most `budget()`
//     pixels: sixteen screens' worth, and never less than one window of the
//     largest capturable size. A window shown beyond that is not kept.
// A window that is not kept cannot be captured on its own (its capture
// fails), and where it lies under a window of this process the rebuilt image
// shows what is beneath it instead. Windows of this process that bypass the
// window manager (the capture overlay, menus) are never kept: they are never
// captured, and keeping a screen-sized overlay would cost the server a fresh
// pixmap and a copy of every frame each time one is shown.
//
// Following the top-levels, it also notes when one of this process's own
// windows is closed: a compositing manager may go on showing it for a while
// (fading it out, or just not having repainted yet), so a capture leaves out
// its place as well (closedOwnWindows()).
//
// The windows are followed on the session's connection by a thread of their
// own, which reads every event of that connection: nobody else may.
class X11CaptureRedirection {
public:
    // The most pixels the kept windows of a screen of this size may cost
    // together while shown.
    static double budget(double screenWidth, double screenHeight);

    // Whether a window of this size is kept, when `shownCost` pixels of kept
    // windows are shown besides it and it is shown itself.
    static bool keeps(double width, double height, bool shown, double shownCost, double budget);

    // `ownPID` is this process, whose closed windows are noted.
    X11CaptureRedirection(const XcbSession& session, std::int32_t ownPID);
    ~X11CaptureRedirection();
    X11CaptureRedirection(const X11CaptureRedirection&) = delete;
    X11CaptureRedirection& operator=(const X11CaptureRedirection&) = delete;

    // Returns once every top-level created before the call has been kept or
    // refused; false if the thread did not answer.
    bool catchUp();

    // Where this process's top-levels were that were hidden or closed less
    // than `within` ago, in device pixels, border included.
    std::vector<Rect> closedOwnWindows(std::chrono::milliseconds within);

private:
    struct TopLevel {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
        bool shown = false;
        bool kept = false;
        // Shows a window of this process (itself, or a client it frames).
        bool ours = false;
        // Bypasses the window manager (override-redirect).
        bool unmanaged = false;
    };

    struct Closed {
        Rect frame;
        std::chrono::steady_clock::time_point when;
    };

    void run();
    void handle(const xcb_generic_event_t* event);
    void track(xcb_window_t window, Rect frame, bool shown, bool unmanaged);
    bool showsOurs(xcb_window_t window) const;
    void apply(xcb_window_t window);
    void reconsiderRefused();
    bool isOurs(xcb_window_t window) const;
    void post(std::uint32_t what, std::uint32_t value);

    const XcbSession& session_;
    const std::int32_t ownPID_;
    const double budget_;
    xcb_window_t mailbox_ = XCB_NONE;
    xcb_atom_t messageType_ = XCB_NONE;
    std::unordered_map<xcb_window_t, TopLevel> topLevels_; // the thread's alone

    std::mutex lock_;
    std::condition_variable answered_;
    std::uint32_t asked_ = 0;
    std::uint32_t seen_ = 0;
    std::vector<Closed> closed_;
    std::thread thread_;
};

} // namespace kelpie
