#pragma once

#include "editor/ScreenshotAdjustment.h"
#include "editor/ScreenshotPlacement.h"
#include "editor/ScreenshotPresentation.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace kelpie {

class ScreenshotBorder;

// The content of the screenshot editor: the frozen screen, dimmed outside
// the rounded crop, with the canvas placed over the crop at exactly its
// source position, and the border, handles and size badge on top. While the
// canvas holds nothing the crop can be re-cropped in place by its border,
// its handles, or by drawing a new region outside it; the gesture itself
// lives in ScreenshotAdjustment, which this view feeds.
//
// Clicks go to the chrome (the floating panels and the status) first, then
// to the view itself on the crop's border band and outside the crop, and to
// the canvas elsewhere.
class ScreenshotView : public QWidget {
    Q_OBJECT

public:
    ScreenshotView(const ScreenshotPresentation& presentation, Size imagePixels,
                   QWidget* parent = nullptr);
    ~ScreenshotView() override;

    // After every layout pass and every change of the region.
    std::function<void()> onLayout;
    std::function<void()> onAdjustmentBegin;
    std::function<void()> onAdjustmentCancel;
    // Asked when a re-crop ends on a new region; true when it is taken (the
    // owner then replaces the editor, and this view with it).
    std::function<bool(const Rect&)> onRegionChange;

    const ScreenshotPresentation& presentation() const { return m_presentation; }
    Size imagePixels() const { return m_imagePixels; }
    // The crop in capture space; it follows a re-crop while it runs.
    const Rect& region() const { return m_adjustment.region(); }
    const std::optional<ScreenshotPlacement>& placement() const { return m_adjustment.placement(); }
    void setPlacement(const std::optional<ScreenshotPlacement>& placement);

    bool canAdjust() const { return m_adjustment.canAdjust; }
    void setCanAdjust(bool canAdjust);
    bool sourceGeometryAvailable() const { return m_adjustment.sourceGeometryAvailable; }
    void setSourceGeometryAvailable(bool available);
    bool isAdjusting() const { return m_adjustment.isAdjusting(); }
    const ScreenshotAdjustment& adjustment() const { return m_adjustment; }

    // The canvas. The view hides it while re-cropping and takes the
    // presses on its border band from it.
    QWidget* imageView() const { return m_imageView; }
    void setImageView(QWidget* view);
    // The floating panels and the status label, which get clicks first.
    void setChrome(const std::vector<QWidget*>& chrome);
    std::vector<QWidget*> chrome() const;

    ScreenshotBorder* border() const { return m_border; }
    // Adds the border over every other child.
    void installBorder();
    void refreshBorder();
    std::optional<Point> capturePoint(Point viewPoint) const;
    void cancelAdjustment();
    // The editor's cancel action: true when it ended a re-crop.
    bool cancelOperation();

    // Who receives a press at a point in widget coordinates.
    enum class Hit {
        nothing,
        chrome,
        view,
        content,
    };
    Hit hitTest(QPointF widgetPoint) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Point viewPoint(QPointF widgetPoint) const;
    Size bounds() const;
    // A mouse event at a widget point; true when the view used it.
    bool pointer(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
                 QPointF widgetPoint);
    void watchContent(QObject* object);
    void releasePointer();
    void relayout();
    void repaintCrop(const std::optional<ScreenshotPlacement>& before);

    ScreenshotPresentation m_presentation;
    Size m_imagePixels;
    ScreenshotAdjustment m_adjustment;
    QImage m_drawImage;
    QPointer<QWidget> m_imageView;
    std::vector<QPointer<QWidget>> m_chrome;
    ScreenshotBorder* m_border;
};

} // namespace kelpie
