#include "canvas/AnnotationWindow.h"

#include "canvas/AnnotationTextView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextEdit>

namespace kelpie {

namespace {

constexpr Qt::KeyboardModifiers commandKeys
    = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

AnnotationWindow::AnnotationWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    qApp->installEventFilter(this);
}

AnnotationWindow::~AnnotationWindow() { qApp->removeEventFilter(this); }

bool AnnotationWindow::isScreenshotReturn(const QKeyEvent& event)
{
    return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        && !(event.modifiers() & commandKeys);
}

bool AnnotationWindow::textViewHasFocus() const
{
    for (const QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
        if (qobject_cast<const AnnotationTextView*>(w) || qobject_cast<const QTextEdit*>(w))
            return true;
    }
    return false;
}

bool AnnotationWindow::handleKeyEquivalent(const QKeyEvent& event)
{
    if (QApplication::activeModalWidget() != nullptr)
        return false;
    const bool textView = textViewHasFocus();
    if (!textView) {
        if ((event.modifiers() & commandKeys) == Qt::ControlModifier && event.key() == Qt::Key_C
            && copyScreenshotSelection) {
            copyScreenshotSelection();
            return true;
        }
        if (copiesScreenshotOnReturn && isScreenshotReturn(event) && handleCanvasKey
            && handleCanvasKey(event))
            return true;
    }
    return handleMenuKey && handleMenuKey(event, textView);
}

bool AnnotationWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Key presses bound for a widget of this window, seen before it gets them.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == this
        && watched == QApplication::focusWidget()) {
        if (handleKeyEquivalent(*static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AnnotationWindow::keyPressEvent(QKeyEvent* event)
{
    if (isScreenshotReturn(*event) && (QApplication::activeModalWidget() || textViewHasFocus())) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (handleCanvasKey && handleCanvasKey(*event))
        return;
    // A key that nothing in the window took, also when no control has the
    // focus, may still be a menu command.
    if (QApplication::activeModalWidget() == nullptr && handleMenuKey
        && handleMenuKey(*event, textViewHasFocus()))
        return;
    QWidget::keyPressEvent(event);
}

} // namespace kelpie
