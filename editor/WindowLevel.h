#pragma once

class QWidget;

namespace kelpie {

// Stacking levels of top-level windows: ordinary windows (0), floating pins
// and their panels (3), and the windows that cover a whole screen above
// everything else (1000). X11 has no levels of its own; a level above 0
// keeps the window on top, and 1000 and beyond also bypass the window
// manager so the window covers the desktop's panels.
namespace WindowLevel {

constexpr int normal = 0;
constexpr int floating = 3;
constexpr int screenSaver = 1000;

int of(const QWidget* window);
// Applies the level's window flags; a visible window stays visible. A
// window raised above a covering one bypasses the manager as well, or the
// covering window would hide it; such a window takes the keyboard when it
// is shown or clicked, and a drag on its background moves it, as the
// manager would have done.
void set(QWidget* window, int level);

// Shows a window whose geometry is its whole screen. A Wayland client
// cannot place its windows, so there it is shown full screen, the one way
// to be sure it covers its screen and is not tiled beside other windows.
void showCoveringScreen(QWidget* window);

} // namespace WindowLevel
} // namespace kelpie
