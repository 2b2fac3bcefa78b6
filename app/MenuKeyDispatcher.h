#pragma once

#include "app/MainMenuKeys.h"

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

namespace kelpie {

// Delivers the main menu's key equivalents to the window that has the
// keyboard. It watches the key presses of the application and takes one
// only when it reaches a window unhandled, that is after the focused
// control and the window's own key handling passed it on; a press that
// means a menu command then goes to `perform` with that window. A focused
// text field keeps the editing keys, a recording shortcut recorder keeps
// every key, and a modal dialog or an open popup keeps them all.
class MenuKeyDispatcher : public QObject {
    Q_OBJECT
public:
    // Runs `command` for `window`; true when something took it.
    using Perform = std::function<bool(MenuCommand command, QWidget* window)>;

    explicit MenuKeyDispatcher(Perform perform, QObject* parent = nullptr);
    ~MenuKeyDispatcher() override;

    // Whether a press on `focus` (the focused widget, or the window without
    // one) is the menu's to take; the command when it is.
    static std::optional<MenuCommand> commandFor(const QKeyEvent& event, const QWidget* focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Perform m_perform;
};

} // namespace kelpie
