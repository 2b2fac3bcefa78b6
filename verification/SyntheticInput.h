#pragma once

#include <QPointF>
#include <QString>
#include <Qt>

class QWidget;

namespace kelpie {

// The controlled input of the verification routines: pointer and key events
// built in the process and delivered straight to a widget, the way the
// window system's events reach it, without moving the real pointer or
// touching the keyboard. Points are in the widget's own coordinates; each
// event goes to the child under the point, as a real press would.
namespace SyntheticInput {

// Press at `from`, moves in `steps` equal steps, release at `to`; true when
// the widget accepted the press.
bool drag(QWidget* widget, QPointF from, QPointF to, int steps = 8,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool click(QWidget* widget, QPointF at, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The three parts of a gesture, for scripts that act in the middle of one
// (Escape during a drag). Each goes to the widget under the point.
bool press(QWidget* widget, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void moveHeld(QWidget* widget, QPointF at);
void release(QWidget* widget, QPointF at);
// A hover move with no button down.
void hover(QWidget* widget, QPointF at);
// A wheel turn of `steps` notches (positive: away from the user).
bool wheel(QWidget* widget, QPointF at, int steps,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Press and release of `key` sent to `widget` (not to the focus widget, so a
// routine says exactly who receives it); true when the press was accepted.
// `nativeScanCode` is the X key code, for receivers that read the physical
// key (the shortcut recorder).
bool key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
         const QString& text = {}, quint32 nativeScanCode = 0);

} // namespace SyntheticInput
} // namespace kelpie
