#pragma once

#include "app/MainMenuKeys.h"

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

namespace kelpie {

// Delivers the main menu's key equivalents to the window that has the
// keyboard. It watches every key press of the application (installed first,
// so that a window's own key handling, installed later, still comes before
// it) and hands a press that means a menu command to `perform` with the
// window it was meant for. A focused text field keeps the editing keys, a
// recording shortcut recorder keeps every key, and a modal dialog or an open
// popup keeps them all.
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
