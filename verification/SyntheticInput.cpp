#include "verification/SyntheticInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>

namespace kelpie::SyntheticInput {

namespace {

// What a press at `at` (in `widget` coordinates) reaches: the deepest
// visible child of the window under it, else the window; and `at` in its
// coordinates.
QWidget* receiverAt(QWidget* widget, QPointF at, QPointF& local)
{
    QWidget* window = widget->window();
    const QPointF inWindow = widget->mapTo(window, at);
    QWidget* child = window->childAt(inWindow.toPoint());
    QWidget* target = child ? child : window;
    local = target->mapFrom(window, inWindow);
    return target;
}

bool sendMouse(QWidget* target, QEvent::Type type, QPointF local, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

} // namespace

bool drag(QWidget* widget, QPointF from, QPointF to, int steps, Qt::KeyboardModifiers modifiers)
{
    QPointF local;
    // The press's receiver takes the whole gesture, as with a pointer grab.
    QPointer<QWidget> target = receiverAt(widget, from, local);
    const QPointF offset = local - from;
    const bool accepted = sendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton,
                                    Qt::LeftButton, modifiers);
    for (int step = 1; step <= steps && target; ++step) {
        const QPointF at = from + (to - from) * (double(step) / steps) + offset;
        sendMouse(target, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, modifiers);
    }
    if (QWidget* receiver = target.data())
        sendMouse(receiver, QEvent::MouseButtonRelease, to + offset, Qt::LeftButton, Qt::NoButton,
                  modifiers);
    return accepted;
}

bool click(QWidget* widget, QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    QPointF local;
    QPointer<QWidget> target = receiverAt(widget, at, local);
    const bool accepted
        = sendMouse(target, QEvent::MouseButtonPress, local, button, button, modifiers);
    if (QWidget* receiver = target.data())
        sendMouse(receiver, QEvent::MouseButtonRelease, local, button, Qt::NoButton, modifiers);
    return accepted;
}

bool press(QWidget* widget, QPointF at, Qt::KeyboardModifiers modifiers)
{
    QPointF local;
    QWidget* target = receiverAt(widget, at, local);
    return sendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton,
                     modifiers);
}

void moveHeld(QWidget* widget, QPointF at)
{
    QPointF local;
    QWidget* target = receiverAt(widget, at, local);
    sendMouse(target, QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
}

void release(QWidget* widget, QPointF at)
{
    QPointF local;
    QWidget* target = receiverAt(widget, at, local);
    sendMouse(target, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton,
              Qt::NoModifier);
}

void hover(QWidget* widget, QPointF at)
{
    QPointF local;
    QWidget* target = receiverAt(widget, at, local);
    sendMouse(target, QEvent::MouseMove, local, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
}

bool wheel(QWidget* widget, QPointF at, int steps, Qt::KeyboardModifiers modifiers)
{
    QPointF local;
    QWidget* target = receiverAt(widget, at, local);
    QWheelEvent event(local, target->mapToGlobal(local), QPoint(), QPoint(0, 120 * steps),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

bool key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text,
         quint32 nativeScanCode)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, nativeScanCode, 0, 0, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, nativeScanCode, 0, 0, text);
    QApplication::sendEvent(widget, &release);
    return press.isAccepted();
}

} // namespace kelpie::SyntheticInput
