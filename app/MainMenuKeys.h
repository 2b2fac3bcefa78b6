#pragma once

#include <QString>
#include <Qt>

#include <optional>
#include <vector>

namespace kelpie {

// The commands of the application's main menu that have key equivalents:
// the two of the tray menu's copy and the whole "编辑" menu.
enum class MenuCommand {
    openSettings,
    quit,
    cut,
    copy,
    paste,
    selectAll,
    saveDocument,
    undo,
    redo,
    copyAllText,
    pinImage,
};

// One row of the main menu: its title, its command and the key that reaches
// it. Keys follow the toolkit's convention: Command is Ctrl.
struct MenuKey {
    MenuCommand command;
    QString title;
    int key;
    Qt::KeyboardModifiers modifiers;
};

// The key equivalents of the main menu, without widgets: which key press
// means which command, and which commands a focused text control answers
// itself.
namespace MainMenuKeys {

// "设置…" and "退出 Kelpie" from the tray menu's copy, then the "编辑" menu
// in menu order.
const std::vector<MenuKey>& entries();

// The command a key press means: exactly the row's modifiers among Ctrl,
// Shift, Alt and Meta (the keypad flag does not count), or nothing.
std::optional<MenuCommand> commandFor(int key, Qt::KeyboardModifiers modifiers);

// Commands that a focused text field carries out on its own text (cut,
// copy, paste, select all, undo, redo), so the key stays with it.
bool belongsToTextControl(MenuCommand command);

} // namespace MainMenuKeys
} // namespace kelpie
