#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelpie {

// The one mapping between X11 key codes (evdev numbering plus 8, as every
// current X server uses) and Kelpie's layout-independent physical key
// numbers (122 = F1, 1 = S, 49 = Space, ...). The keys a PC keyboard has in
// place of F13 to F15 (Print, Scroll Lock, Pause), Insert (Help) and Num Lock
// (Clear) share their numbers, so one number can stand for several X11 keys.
namespace KeyCodeTable {

// The physical key number of an X11 key code; absent for keys Kelpie
// does not know.
std::optional<std::uint32_t> virtualKeyCode(std::uint32_t x11KeyCode);

// Every X11 key code that stands for the key number, the dedicated key
// first; empty when none does.
std::vector<std::uint32_t> x11KeyCodes(std::uint32_t virtualKeyCode);

// The XKB keysym name (as xkbcommon spells it, without the XKB_KEY_ prefix)
// of the key that stands for the key number on a PC keyboard, for desktops
// that take key combinations as text: "F1", "S" (letters upper case),
// "Print" for F13's number. Absent for modifier keys and keys without one
// well-known name.
std::optional<std::string_view> keysymName(std::uint32_t virtualKeyCode);

} // namespace KeyCodeTable
} // namespace kelpie
