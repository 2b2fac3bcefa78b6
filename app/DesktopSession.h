#pragma once

#include <QProcessEnvironment>

namespace kelpie {

// Which kind of desktop session Kelpie runs in, read from the environment
// the session gives its programs. It decides the window-system services:
// on Wayland the screen is read and keys are bound through the desktop's
// portals, never through X11, even when the toolkit itself talks to
// XWayland (whose root window reads back black and whose key grabs never
// see a press made in a Wayland window).
namespace DesktopSession {

enum class Kind {
    x11,
    wayland,
};

Kind detect(const QProcessEnvironment& environment);

// Whether there is a display to start on at all: an X server, a Wayland
// compositor, or a toolkit platform named explicitly (tests).
bool hasDisplay(const QProcessEnvironment& environment);

} // namespace DesktopSession
} // namespace kelpie
