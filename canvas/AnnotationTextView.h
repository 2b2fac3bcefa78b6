#pragma once

#include "annotation/AnnotationStyle.h"

#include <QGraphicsView>
#include <QString>

#include <functional>

class QGraphicsTextItem;
class QGraphicsScene;
class QTextDocument;

namespace kelpie {

// The in-place editor of a text annotation: a multi-line plain-text editor
// whose text is laid out exactly as the renderer will draw it. The document
// is set up in image pixels by the annotation text layout's own rules (same
// font resolved on the same reference device, same wrapping option, the
// 4-pixel inset as document margin, the wrapping width) and only scaled to
// the screen when shown, so every line breaks where the committed text will.
//
// Ctrl+Return commits and Escape cancels, except while an input method is
// composing: then both belong to the input method.
class AnnotationTextView final : public QGraphicsView {
    Q_OBJECT

public:
    explicit AnnotationTextView(QWidget* parent = nullptr);
    ~AnnotationTextView() override;

    std::function<void()> onCommit;
    std::function<void()> onCancel;
    std::function<void()> onChange;

    QString text() const;
    void setText(const QString& text);
    void selectAll();
    // An input method's pre-edit text is showing, not yet confirmed.
    bool composing() const { return !m_preedit.isEmpty(); }
    // Drops unconfirmed input-method text.
    void discardComposition();

    // Lays the text out for `style` wrapped at `maximumWidth` image pixels
    // (insets included) and shows it `scale` view points per image pixel.
    // Fonts and colours are left alone while composing.
    void setLayout(const AnnotationStyle& style, double maximumWidth, double scale);

    // The document the editor lays out, in image pixels (for tests).
    QTextDocument* document() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void fitScene();

    QGraphicsScene* m_scene;
    QGraphicsTextItem* m_item;
    QString m_preedit;
    double m_scale = 1;
};

} // namespace kelpie
