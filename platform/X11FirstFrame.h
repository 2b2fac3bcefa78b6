#pragma once

#include <QColor>
#include <QRect>

class QWidget;

namespace kelpie {

// Darkens a window without background by `dim` the moment the X server
// first exposes it after this call, except inside `clear` (in the window's
// own coordinates). The toolkit's first drawing of a screen-sized window
// goes through fresh shared memory that the server faults in page by page,
// tens of milliseconds in which the window shows what lay under it; a fill
// the server draws itself shows at once. A window that freezes the screen
// under it and dims it therefore looks ready that much sooner, and its
// drawing then replaces the same picture. Does nothing on a platform other
// than X11.
namespace X11FirstFrame {

void dimWhenExposed(QWidget* window, const QColor& dim, const QRect& clear = {});
// Whether windows are dimmed so here: on X11 with the render extension.
bool available();
// How many windows wait for their first exposure.
int waiting();

} // namespace X11FirstFrame
} // namespace kelpie
