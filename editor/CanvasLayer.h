#pragma once

#include <QWidget>

namespace kelpie {

// A transparent layer laid over an editor's canvas: it covers the canvas,
// follows its size, tracks the pointer and never takes the keyboard focus,
// so the canvas and the window keep handling keys. The live text and the
// secrets preview are such layers.
class CanvasLayer : public QWidget {
    Q_OBJECT

public:
    explicit CanvasLayer(QWidget* canvas);

protected:
    // The canvas was resized and the layer now covers it again.
    virtual void canvasResized() { }
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kelpie
