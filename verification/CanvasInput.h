#pragma once

#include <QPointF>
#include <QString>
#include <Qt>

class QWidget;

namespace kelpie {

class AnnotationCanvas;

// Pointer, key and input-method events made up by a verification routine
// and delivered to the real widgets, the way the window system would
// deliver them: a press goes to the deepest widget under the point and
// that widget keeps the pointer until the release; keys and input-method
// events go to the widget given (the one with the keyboard focus).
class CanvasInput {
public:
    // The canvas widget point that shows the picture's pixel `image`
    // (x right, y down, in pixels of the picture).
    static QPointF canvasPoint(const AnnotationCanvas& canvas, QPointF image);

    // A left-button press, `steps` moves and a release from `from` to `to`,
    // both in `widget` coordinates, delivered inside widget's window.
    static void drag(QWidget& widget, QPointF from, QPointF to, int steps = 6);
    static void click(QWidget& widget, QPointF at);
    // The same over the canvas, in pixels of its picture.
    static void dragOnPicture(AnnotationCanvas& canvas, QPointF from, QPointF to);
    static void clickOnPicture(AnnotationCanvas& canvas, QPointF at);

    static void key(QWidget& target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    const QString& text = {});
    // One key press per character, each carrying the character as its text.
    static void type(QWidget& target, const QString& text);

    // What an input method sends while composing: `preedit` shown as
    // marked text with the cursor at its end, nothing committed.
    static void compose(QWidget& target, const QString& preedit);
    // What it sends when a candidate is confirmed: `text` committed and the
    // marked text gone.
    static void commit(QWidget& target, const QString& text);
};

} // namespace kelpie
