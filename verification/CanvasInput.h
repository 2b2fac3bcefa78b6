#pragma once

#include <QPointF>
#include <QString>
#include <Qt>

class QWidget;

namespace kelpie {

class AnnotationCanvas;

// Input on the canvas in terms of its picture, typing and input-method
// composition, made up by a verification routine and delivered to the real
// widgets through SyntheticInput; keys and input-method events go to the
// widget given (the one with the keyboard focus).
class CanvasInput {
public:
    // The canvas widget point that shows the picture's pixel `image`
    // (x right, y down, in pixels of the picture).
    static QPointF canvasPoint(const AnnotationCanvas& canvas, QPointF image);

    // A drag and a click over the canvas, in pixels of its picture.
    static void dragOnPicture(AnnotationCanvas& canvas, QPointF from, QPointF to);
    static void clickOnPicture(AnnotationCanvas& canvas, QPointF at);

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
