#pragma once

namespace kelpie {

// Waits until the X server has carried out every request the toolkit's
// connection has sent so far (one round trip). What a window shows, a grab
// or a map is then the server's state, not a request still in a buffer.
// False when there is no X11 connection.
namespace X11Sync {
bool roundTrip();
}

} // namespace kelpie
