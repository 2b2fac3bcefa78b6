#pragma once

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace kelpie {

// Holds one key, without modifiers, grabbed on every root window through a
// connection of its own: to the X server that is another client, exactly
// what Kelpie's hot keys meet when another program has taken a key. The
// built-in checks use it to see that a taken key is reported and that the
// keys registered before stay working.
class X11KeyHolder {
public:
    // `virtualKeyCode` as in the key-code table (122 is F1).
    explicit X11KeyHolder(std::uint32_t virtualKeyCode);
    ~X11KeyHolder();
    X11KeyHolder(const X11KeyHolder&) = delete;
    X11KeyHolder& operator=(const X11KeyHolder&) = delete;

    // Whether the server granted the grab.
    bool holding() const { return m_holding; }

private:
    xcb_connection_t* m_connection = nullptr;
    bool m_holding = false;
};

} // namespace kelpie
