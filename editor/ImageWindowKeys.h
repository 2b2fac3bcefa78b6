#pragma once

#include <Qt>

namespace kelpie {

// The menu commands an editor or pin window answers from the keyboard,
// bound to Ctrl as the command key (Shift where a second command shares the
// letter). The letter is the key, not the character it types, so Caps Lock
// changes nothing; Alt or Super held makes it no command. While a text
// object is typed only undo and redo reach the window (which leaves an input
// method's composition alone); the rest belong to the text.
namespace ImageWindowKeys {

enum class Command {
    none,
    copy,        // Ctrl+C
    copyAllText, // Ctrl+Shift+C
    selectAll,   // Ctrl+A
    saveDocument, // Ctrl+S
    undo,        // Ctrl+Z
    redo,        // Ctrl+Shift+Z
    pinImage,    // Ctrl+T
    maskSecrets, // Ctrl+Shift+M
};

Command command(int key, Qt::KeyboardModifiers modifiers, bool textViewFocused);

} // namespace ImageWindowKeys
} // namespace kelpie
