#pragma once

#include "capture/ShareableContent.h"
#include "geometry/Rect.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace kelpie {

class XcbSession;

// A window the user sees on the desktop: a child of the root window, which
// with a window manager is the frame around an application's window.
struct X11TopLevel {
    xcb_window_t window = XCB_NONE;
    // The application window it shows (the window itself when unmanaged);
    // none for override-redirect windows such as menus and tooltips.
    xcb_window_t client = XCB_NONE;
    // Device pixels, border included.
    Rect frame;
    // The part the user sees as the window: the frame less the shadow that
    // client-side decorations draw around it (_GTK_FRAME_EXTENTS).
    Rect visibleFrame;
    bool overrideRedirect = false;
    std::uint8_t depth = 0;
    xcb_visualid_t visual = 0;
    // The process behind the client, else behind the window itself.
    std::optional<std::int32_t> ownerPID;
};

// One enumeration of the desktop's windows. With a window manager the
// application windows are those of its EWMH client list, each seen through
// its frame; without one they are the root window's mapped children that do
// not bypass window management. Either way the order is the true stacking
// order of what is on screen.
struct X11WindowList {
    // The viewable top-levels, bottom-most first.
    std::vector<X11TopLevel> topLevels;
    // Everything viewable, front-most first, for ShareableContent.
    std::vector<ShareableContent::Window> windows;

    // Absent when the server cannot be asked.
    static std::optional<X11WindowList> list(const XcbSession& session);

    // The viewable top-level that holds `window` (the window itself for a
    // child of the root), described without its owner; absent once it is
    // gone or unmapped.
    static std::optional<X11TopLevel> topLevelOf(const XcbSession& session, xcb_window_t window);

    // The process id in an X-Resource client-id reply, if it holds one.
    static std::optional<std::int32_t> ownerFromClientIds(xcb_res_query_client_ids_reply_t* reply);
};

} // namespace kelpie
