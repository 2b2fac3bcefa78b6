#pragma once

#include "editor/CanvasLayer.h"
#include "editor/LiveTextSelection.h"

#include <QList>
#include <QRectF>
#include <QSize>

#include <functional>
#include <memory>

namespace kelpie {

// The live-text layer laid over an editor's canvas: it covers the canvas,
// follows its size, and lets the user drag-select the recognised text. It
// paints nothing but the selection; over text the pointer becomes an
// I-beam. Presses that do not start a selection, hover moves, wheel and
// context-menu events go on to the canvas beneath. It never takes the
// keyboard focus: the canvas and the window keep handling keys.
//
// The owner says where the image lies in the overlay (`contentsRect`, in
// overlay coordinates; the whole overlay when unset) and calls
// setContentsRectNeedsUpdate() when that changes (zoom); a resize of the
// canvas refits the overlay by itself.
class LiveTextOverlay final : public CanvasLayer {
    Q_OBJECT

public:
    using Range = LiveTextSelection::Range;

    explicit LiveTextOverlay(QWidget* canvas);

    // The analysis of an image of `imageSize` pixels; null clears it. Drops
    // the selection.
    void setAnalysis(std::shared_ptr<const TextAnalysis> analysis, QSize imageSize);
    const std::shared_ptr<const TextAnalysis>& analysis() const { return m_model.analysis(); }

    QString text() const { return m_model.text(); }
    QString selectedText() const { return m_model.selectedText(); }
    QList<Range> selectedRanges() const { return m_model.selectedRanges(); }
    void setSelectedRanges(const QList<Range>& ranges);
    bool hasActiveTextSelection() const { return m_model.hasActiveTextSelection(); }
    void resetSelection();
    // Whether recognised text lies under a point of the overlay.
    bool analysisHasText(QPointF point) const;

    // Re-reads contentsRect and repaints.
    void setContentsRectNeedsUpdate();
    std::function<QRectF()> contentsRect;
    // Asked before a press over text starts a selection; true when unset.
    std::function<bool(QPointF point)> shouldBegin;

    const LiveTextSelection& model() const { return m_model; }

    // The overlay's mapping between its own points and image pixels.
    QPointF imagePoint(QPointF point) const;
    QRectF widgetRect(const Rect& imageRect) const;

Q_SIGNALS:
    // The selection changed (a drag, a reset, a new analysis, select-all).
    void textSelectionChanged();

protected:
    void canvasResized() override { setContentsRectNeedsUpdate(); }
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Repaints what the last selection change touched and reports it.
    void selectionChanged();
    void updateCursor(QPointF point);
    int clickCount(const QMouseEvent& event);

    LiveTextSelection m_model;
    QSize m_imageSize;
    QRectF m_contents;

    // The last press, for counting double and triple clicks.
    quint64 m_lastPressTime = 0;
    QPointF m_lastPressPoint;
    int m_clicks = 0;
};

} // namespace kelpie
