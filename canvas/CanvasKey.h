#pragma once

namespace kelpie {

// One key press as the canvas handles it, free of widget events. `key` is a
// Qt::Key value. The modifiers follow the toolkit's convention: `command` is
// Ctrl, `control` is the logo key (Meta), `option` is Alt.
struct CanvasKey {
    int key = 0;
    bool shift = false;
    bool command = false;
    bool control = false;
    bool option = false;
};

} // namespace kelpie
