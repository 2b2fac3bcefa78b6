#include "platform/X11KeyHolder.h"

#include "platform/KeyCodeTable.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace kelpie {

X11KeyHolder::X11KeyHolder(std::uint32_t virtualKeyCode)
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    bool granted = false;
    for (const std::uint32_t code : KeyCodeTable::x11KeyCodes(virtualKeyCode)) {
        if (code < setup->min_keycode || code > setup->max_keycode)
            continue;
        for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it)) {
            const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                m_connection, 1, it.data->root, 0, static_cast<xcb_keycode_t>(code),
                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            xcb_generic_error_t* error = xcb_request_check(m_connection, cookie);
            granted = error == nullptr;
            std::free(error);
            if (!granted)
                return;
        }
    }
    m_holding = granted;
}

X11KeyHolder::~X11KeyHolder()
{
    // Closing the connection ends its grabs.
    if (m_connection)
        xcb_disconnect(m_connection);
}

} // namespace kelpie
