#pragma once

#include "editor/CanvasLayer.h"
#include "geometry/Rect.h"

#include <QRectF>

#include <functional>

namespace kelpie {

class SecretPreview;

// The confirmation view of "遮盖敏感信息", laid over an editor's canvas
// while the preview is open: every secret found is outlined with its rule's
// name, shaded where it will be masked and dashed where the user chose to
// leave it. A click on a secret asks to switch it; every other press is
// taken too, so nothing is drawn on the canvas until the preview closes.
// It never takes the keyboard focus: the window routes Return and Escape.
class SecretPreviewLayer final : public CanvasLayer {
    Q_OBJECT

public:
    explicit SecretPreviewLayer(QWidget* canvas);

    // The preview to show (owned elsewhere); null hides the layer.
    void setPreview(const SecretPreview* preview);
    // Where an image rectangle (pixels, top-left origin) lies in this
    // layer's coordinates: the live-text mapping of the canvas.
    std::function<QRectF(const Rect& imageRect)> widgetRect;

    // The secret under a point of the layer, or -1; the later one where
    // outlines overlap, as it is drawn on top.
    int itemAt(QPointF point) const;

Q_SIGNALS:
    void itemClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QRectF area(const Rect& imageRect) const;

    const SecretPreview* m_preview = nullptr;
};

} // namespace kelpie
