#pragma once

#include <functional>

namespace kelpie {

// Kelpie's own windows as a whole, for captures that cannot leave them out
// by themselves: a desktop portal photographs whatever is on screen.
namespace OwnWindows {

// Hides every visible top-level window of the process and returns what
// shows them again. Overlays are not shown again (a capture replaces them),
// nor windows that belong to another window (a pin's panels, which the pin
// shows when the pointer comes back).
// Windows closed or deleted in between stay closed. Empty when no window
// was visible.
std::function<void()> hideForCapture();

} // namespace OwnWindows
} // namespace kelpie
