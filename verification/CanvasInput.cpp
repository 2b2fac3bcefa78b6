#include "verification/CanvasInput.h"

#include "canvas/AnnotationCanvas.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTextCharFormat>
#include <QWidget>

namespace kelpie {

namespace {

// The widget a press at `point` (in `widget` coordinates) reaches: the
// deepest visible child of the window under it, else the window.
QWidget* pressTarget(QWidget& widget, QPointF point)
{
    QWidget* window = widget.window();
    const QPoint inWindow = widget.mapTo(window, point.toPoint());
    QWidget* child = window->childAt(inWindow);
    return child ? child : window;
}

void send(QWidget* target, QEvent::Type type, QPointF global, Qt::MouseButton button,
          Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(global);
    QMouseEvent event(type, local, local, global, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

QPointF CanvasInput::canvasPoint(const AnnotationCanvas& canvas, QPointF image)
{
    // The picture's annotation space has its origin at the bottom-left.
    const double height = canvas.model().imageSize().height;
    const Point view = canvas.model().viewPoint(Point{image.x(), height - image.y()});
    return canvas.widgetRect(Rect(view.x, view.y, 0, 0)).topLeft();
}

void CanvasInput::drag(QWidget& widget, QPointF from, QPointF to, int steps)
{
    const QPointF globalFrom = widget.mapToGlobal(from);
    const QPointF globalTo = widget.mapToGlobal(to);
    // The pressed widget keeps the pointer, as the window system's grab
    // would; it may go away during the gesture (a window closing).
    QPointer<QWidget> target = pressTarget(widget, from);
    send(target, QEvent::MouseButtonPress, globalFrom, Qt::LeftButton, Qt::LeftButton);
    for (int step = 1; step <= steps && target; ++step) {
        const double t = double(step) / steps;
        send(target, QEvent::MouseMove, globalFrom + (globalTo - globalFrom) * t, Qt::NoButton,
             Qt::LeftButton);
    }
    if (target)
        send(target, QEvent::MouseButtonRelease, globalTo, Qt::LeftButton, Qt::NoButton);
}

void CanvasInput::click(QWidget& widget, QPointF at) { drag(widget, at, at, 0); }

void CanvasInput::dragOnPicture(AnnotationCanvas& canvas, QPointF from, QPointF to)
{
    drag(canvas, canvasPoint(canvas, from), canvasPoint(canvas, to));
}

void CanvasInput::clickOnPicture(AnnotationCanvas& canvas, QPointF at)
{
    click(canvas, canvasPoint(canvas, at));
}

void CanvasInput::key(QWidget& target, int key, Qt::KeyboardModifiers modifiers,
                      const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(&target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(&target, &release);
}

void CanvasInput::type(QWidget& target, const QString& text)
{
    for (const QChar c : text) {
        const int code = c == QLatin1Char('\n') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        key(target, code, Qt::NoModifier,
            c == QLatin1Char('\n') ? QStringLiteral("\r") : QString(c));
    }
}

void CanvasInput::compose(QWidget& target, const QString& preedit)
{
    QTextCharFormat marked;
    marked.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    const QList<QInputMethodEvent::Attribute> attributes{
        {QInputMethodEvent::TextFormat, 0, int(preedit.size()), marked},
        {QInputMethodEvent::Cursor, int(preedit.size()), 1, QVariant()},
    };
    QInputMethodEvent event(preedit, attributes);
    QCoreApplication::sendEvent(&target, &event);
}

void CanvasInput::commit(QWidget& target, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(&target, &event);
}

} // namespace kelpie
