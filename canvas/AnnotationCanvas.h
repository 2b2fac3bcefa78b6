#pragma once

#include "canvas/CanvasModel.h"
#include "canvas/CanvasTextEditor.h"

#include <QWidget>

#include <functional>
#include <memory>

class QKeyEvent;
class QMouseEvent;

namespace kelpie {

class AnnotationTextView;
class AppPreferences;

// The view in which annotations are drawn, selected, moved, resized, bent,
// restyled and typed. It paints the model's preview composite scaled
// proportionally and centred, with the selection chrome on top, hosts the
// in-place text editor, and turns widget events into the model's y-up view
// space in one place. Everything else lives in CanvasModel (model()).
class AnnotationCanvas final : public QWidget, private CanvasTextEditor {
    Q_OBJECT

public:
    AnnotationCanvas(AnnotationDocument& document, CanvasStyleStore& styles, bool compactStyles,
                     QWidget* parent = nullptr);
    // Over the application's preferences.
    AnnotationCanvas(AnnotationDocument& document, std::shared_ptr<AppPreferences> preferences,
                     bool compactStyles, QWidget* parent = nullptr);
    ~AnnotationCanvas() override;

    CanvasModel& model() { return m_model; }
    const CanvasModel& model() const { return m_model; }

    // The open in-place editor, if any.
    AnnotationTextView* textEditor() const { return m_textView; }

    // Offers a key to the canvas's key map; true when handled.
    bool handleKey(const QKeyEvent& event);

    // Pointer events while editing is disabled: the host drags its window.
    std::function<void(QMouseEvent* event)> onBackgroundDrag;

    // The two conversions between widget coordinates (y down) and the
    // model's view space (y up).
    Point viewPoint(QPointF widgetPoint) const;
    QRectF widgetRect(const Rect& viewRect) const;

    // Renders what the canvas shows into an image at `devicePixelRatio`,
    // for looking at it.
    QImage grabAt(double devicePixelRatio);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Over `styles`, or when that is null over `owned`, which the canvas keeps.
    AnnotationCanvas(AnnotationDocument& document, CanvasStyleStore* styles,
                     std::unique_ptr<CanvasStyleStore> owned, bool compactStyles, QWidget* parent);

    // CanvasTextEditor: the model opens and closes the editor through these.
    void open(const QString& text) override;
    void close() override;
    QString text() const override;
    bool composing() const override;
    void relayout() override;

    void press(QMouseEvent* event, int clickCount);
    void paintChrome(QPainter& painter);
    // The preview scaled to the content rectangle in device pixels, redone
    // only where the preview changed.
    const QImage& scaledPreview(const QRectF& target, double ratio);

    std::unique_ptr<CanvasStyleStore> m_ownedStyles;
    CanvasModel m_model;
    // The open editor, a child of the canvas; null while closed.
    AnnotationTextView* m_textView = nullptr;
    QImage m_scaled;
    // The preview image m_scaled was made from.
    qint64 m_scaledFrom = 0;
};

} // namespace kelpie
