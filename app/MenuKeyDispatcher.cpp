#include "app/MenuKeyDispatcher.h"

#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecording.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kelpie {

namespace {

bool isTextControl(const QWidget* widget)
{
    for (const QWidget* w = widget; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
        if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w)
            || qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
            return true;
    }
    return false;
}

bool isRecording(const QWidget* widget)
{
    auto* recorder = qobject_cast<ShortcutRecorder*>(const_cast<QWidget*>(widget));
    return recorder && recorder->recording().recording();
}

} // namespace

MenuKeyDispatcher::MenuKeyDispatcher(Perform perform, QObject* parent)
    : QObject(parent), m_perform(std::move(perform))
{
    qApp->installEventFilter(this);
}

MenuKeyDispatcher::~MenuKeyDispatcher() { qApp->removeEventFilter(this); }

std::optional<MenuCommand> MenuKeyDispatcher::commandFor(const QKeyEvent& event,
                                                         const QWidget* focus)
{
    const std::optional<MenuCommand> command
        = MainMenuKeys::commandFor(event.key(), event.modifiers());
    if (!command || !focus)
        return std::nullopt;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return std::nullopt;
    if (isRecording(focus))
        return std::nullopt;
    if (isTextControl(focus) && MainMenuKeys::belongsToTextControl(*command))
        return std::nullopt;
    return command;
}

bool MenuKeyDispatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    // A press that no widget inside the window took travels up to the
    // window itself; only there is it the menu's. So the focused control and
    // the window's own keys always come first.
    auto* widget = static_cast<QWidget*>(watched);
    if (!widget->isWindow())
        return false;
    const QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() != widget)
        return false;
    const std::optional<MenuCommand> command
        = commandFor(*static_cast<QKeyEvent*>(event), focus ? focus : widget);
    if (!command || !m_perform)
        return false;
    return m_perform(*command, widget);
}

} // namespace kelpie
