#pragma once

class QWidget;

namespace kelpie {

// Keeps a top-level window off the desktop's task bar and pager lists
// (EWMH _NET_WM_STATE_SKIP_TASKBAR), now and every time it is shown again:
// the state goes on the window before it is mapped, where the window
// manager reads it, and is asked of the window manager when the window is
// already managed. Does nothing on a platform other than X11.
namespace X11TaskbarHint {

void skipTaskbar(QWidget* window);
// Whether the X server has the state on the window's property now.
bool skipsTaskbar(const QWidget* window);

} // namespace X11TaskbarHint
} // namespace kelpie
