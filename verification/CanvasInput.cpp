#include "verification/CanvasInput.h"

#include "canvas/AnnotationCanvas.h"
#include "verification/SyntheticInput.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTextCharFormat>
#include <QWidget>

namespace kelpie {

QPointF CanvasInput::canvasPoint(const AnnotationCanvas& canvas, QPointF image)
{
    // The picture's annotation space has its origin at the bottom-left.
    const double height = canvas.model().imageSize().height;
    const Point view = canvas.model().viewPoint(Point{image.x(), height - image.y()});
    return canvas.widgetRect(Rect(view.x, view.y, 0, 0)).topLeft();
}

void CanvasInput::dragOnPicture(AnnotationCanvas& canvas, QPointF from, QPointF to)
{
    SyntheticInput::drag(&canvas, canvasPoint(canvas, from), canvasPoint(canvas, to), 6);
}

void CanvasInput::clickOnPicture(AnnotationCanvas& canvas, QPointF at)
{
    SyntheticInput::click(&canvas, canvasPoint(canvas, at));
}

void CanvasInput::type(QWidget& target, const QString& text)
{
    for (const QChar c : text) {
        const int code = c == QLatin1Char('\n') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        SyntheticInput::key(&target, code, Qt::NoModifier,
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
