#pragma once

namespace kelpie::QuickHandOver {

// `kelpie --capture-now` is what desktops bind to a key: it should reach a
// running Kelpie within milliseconds. Loading the toolkit's forty libraries
// just to make one bus call took longer than the call itself, so the
// launcher makes it with the bus library alone.

// Whether the command line is exactly the desktop shortcut's: the program
// and "--capture-now". Anything else goes to the program, which reads the
// full command line and hands over by itself where that applies.
bool wanted(int argc, const char* const argv[]);

// Asks the session's Kelpie to capture now and waits until it has taken the
// request. False when there is no session bus or no Kelpie to take it.
bool captureNow();

} // namespace kelpie::QuickHandOver
