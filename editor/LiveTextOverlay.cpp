#include "editor/LiveTextOverlay.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QStyleHints>

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace {

// A text overlay draws its selection in the highlight colour at this
// opacity, as a text view would over plain text...
constexpr double selectionOpacity = 0.15;
// ...and the whole layer passes through a colour filter that multiplies
// alpha by this gain: over a busy picture the plain tint is too faint to see,
// while 0.39 still leaves the text under it readable.
constexpr double contentAlphaGain = 2.6;

QColor filtered(QColor colour)
{
    colour.setAlphaF(float(std::min(1.0, colour.alphaF() * contentAlphaGain)));
    return colour;
}

} // namespace

LiveTextOverlay::LiveTextOverlay(QWidget* canvas) : CanvasLayer(canvas) { m_contents = rect(); }

void LiveTextOverlay::setAnalysis(std::shared_ptr<const TextAnalysis> analysis, QSize imageSize)
{
    const bool hadSelection = m_model.hasActiveTextSelection();
    m_imageSize = analysis ? imageSize : QSize();
    m_model.setAnalysis(std::move(analysis));
    m_model.takeChangedArea();
    unsetCursor();
    update();
    if (hadSelection)
        Q_EMIT textSelectionChanged();
}

void LiveTextOverlay::setSelectedRanges(const QList<Range>& ranges)
{
    m_model.setSelectedRanges(ranges);
    selectionChanged();
}

void LiveTextOverlay::resetSelection()
{
    const bool had = m_model.hasActiveTextSelection();
    m_model.resetSelection();
    if (had)
        selectionChanged();
}

bool LiveTextOverlay::analysisHasText(QPointF point) const
{
    const QPointF image = imagePoint(point);
    return m_model.hasText({image.x(), image.y()});
}

void LiveTextOverlay::setContentsRectNeedsUpdate()
{
    m_contents = contentsRect ? contentsRect() : QRectF(rect());
    update();
}

QPointF LiveTextOverlay::imagePoint(QPointF point) const
{
    if (m_imageSize.isEmpty() || m_contents.isEmpty())
        return {-1, -1};
    return {(point.x() - m_contents.x()) * m_imageSize.width() / m_contents.width(),
            (point.y() - m_contents.y()) * m_imageSize.height() / m_contents.height()};
}

QRectF LiveTextOverlay::widgetRect(const Rect& imageRect) const
{
    if (m_imageSize.isEmpty())
        return {};
    const double sx = m_contents.width() / m_imageSize.width();
    const double sy = m_contents.height() / m_imageSize.height();
    return {m_contents.x() + imageRect.minX() * sx, m_contents.y() + imageRect.minY() * sy,
            imageRect.width() * sx, imageRect.height() * sy};
}

void LiveTextOverlay::paintEvent(QPaintEvent* event)
{
    const QList<Rect> highlights = m_model.highlights();
    if (highlights.isEmpty())
        return;
    QColor colour = palette().color(QPalette::Active, QPalette::Highlight);
    colour.setAlphaF(float(selectionOpacity));
    colour = filtered(colour);
    QPainter painter(this);
    const QRect dirty = event->rect();
    for (const Rect& highlight : highlights) {
        const QRectF area = widgetRect(highlight);
        if (area.intersects(dirty))
            painter.fillRect(area, colour);
    }
}

int LiveTextOverlay::clickCount(const QMouseEvent& event)
{
    const auto interval = quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    const QPointF distance = event.position() - m_lastPressPoint;
    const bool again = m_clicks > 0 && event.timestamp() - m_lastPressTime <= interval
        && distance.manhattanLength() <= QGuiApplication::styleHints()->startDragDistance();
    m_clicks = again ? m_clicks + 1 : 1;
    m_lastPressTime = event.timestamp();
    m_lastPressPoint = event.position();
    return m_clicks;
}

void LiveTextOverlay::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    const bool overText = event->button() == Qt::LeftButton && analysisHasText(at)
        && (!shouldBegin || shouldBegin(at));
    if (!overText) {
        // A left press elsewhere ends the selection; a right press keeps it
        // for the context menu. Either belongs to the canvas.
        if (event->button() == Qt::LeftButton) {
            m_clicks = 0;
            resetSelection();
        }
        event->ignore();
        return;
    }
    const QPointF image = imagePoint(at);
    m_model.press({image.x(), image.y()}, clickCount(*event));
    selectionChanged();
    event->accept();
}

// The second press of a double click already came through mousePressEvent.
void LiveTextOverlay::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_model.selecting())
        event->accept();
    else
        event->ignore();
}

void LiveTextOverlay::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    if (!m_model.selecting()) {
        updateCursor(at);
        event->ignore();
        return;
    }
    const QPointF image = imagePoint(at);
    m_model.drag({image.x(), image.y()});
    selectionChanged();
    event->accept();
}

void LiveTextOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_model.selecting() || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_model.release();
    event->accept();
}

void LiveTextOverlay::contextMenuEvent(QContextMenuEvent* event) { event->ignore(); }

void LiveTextOverlay::updateCursor(QPointF point)
{
    // Without a cursor of its own the overlay shows the canvas's.
    if (analysisHasText(point) && (!shouldBegin || shouldBegin(point)))
        setCursor(Qt::IBeamCursor);
    else
        unsetCursor();
}

void LiveTextOverlay::selectionChanged()
{
    const QList<Rect> changed = m_model.takeChangedArea();
    if (changed.isEmpty())
        return;
    QRegion region;
    for (const Rect& area : changed)
        region += widgetRect(area).toAlignedRect().adjusted(-1, -1, 1, 1);
    update(region);
    Q_EMIT textSelectionChanged();
}

} // namespace kelpie
