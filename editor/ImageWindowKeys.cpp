#include "editor/ImageWindowKeys.h"

namespace kelpie::ImageWindowKeys {

Command command(int key, Qt::KeyboardModifiers modifiers, bool textViewFocused)
{
    // The keypad flag only says where the key sits.
    const Qt::KeyboardModifiers held = modifiers
        & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool command = held == Qt::ControlModifier;
    const bool shifted = held == (Qt::ControlModifier | Qt::ShiftModifier);
    if (!command && !shifted)
        return Command::none;
    if (key == Qt::Key_Z)
        return shifted ? Command::redo : Command::undo;
    if (textViewFocused)
        return Command::none;
    switch (key) {
    case Qt::Key_C: return shifted ? Command::copyAllText : Command::copy;
    case Qt::Key_A: return command ? Command::selectAll : Command::none;
    case Qt::Key_S: return command ? Command::saveDocument : Command::none;
    case Qt::Key_T: return command ? Command::pinImage : Command::none;
    case Qt::Key_M: return shifted ? Command::maskSecrets : Command::none;
    default: return Command::none;
    }
}

} // namespace kelpie::ImageWindowKeys
