#include "editor/SecretPreviewLayer.h"

#include "text/SecretPreview.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>

namespace kelpie {

namespace {

// The outline of a secret that will be masked: a strong red that reads on
// light and dark screens alike; one left visible is drawn in grey.
const QColor maskedColor(255, 59, 48);
const QColor keptColor(142, 142, 147);
// How dark the shade over a secret about to be masked is: enough to show
// what goes, not so much that the user cannot check what it is.
constexpr int shadeAlpha = 90;
constexpr double outlineWidth = 2;
constexpr double labelPadding = 3;

} // namespace

SecretPreviewLayer::SecretPreviewLayer(QWidget* canvas) : CanvasLayer(canvas) { hide(); }

void SecretPreviewLayer::setPreview(const SecretPreview* preview)
{
    m_preview = preview;
    setVisible(preview != nullptr);
    if (preview)
        raise();
    unsetCursor();
    update();
}

QRectF SecretPreviewLayer::area(const Rect& imageRect) const
{
    return widgetRect ? widgetRect(imageRect) : QRectF();
}

int SecretPreviewLayer::itemAt(QPointF point) const
{
    if (!m_preview)
        return -1;
    const auto& items = m_preview->items();
    for (std::size_t i = items.size(); i-- > 0;) {
        for (const Rect& rect : items[i].match.rects) {
            if (area(rect).contains(point))
                return int(i);
        }
    }
    return -1;
}

void SecretPreviewLayer::paintEvent(QPaintEvent*)
{
    if (!m_preview)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont labelFont = font();
    labelFont.setPointSizeF(labelFont.pointSizeF() * 0.85);
    painter.setFont(labelFont);
    const QFontMetricsF metrics(labelFont);
    for (const SecretPreview::Item& item : m_preview->items()) {
        const QColor colour = item.masked ? maskedColor : keptColor;
        QPen pen(colour, outlineWidth, item.masked ? Qt::SolidLine : Qt::DashLine);
        QRectF first;
        for (const Rect& rect : item.match.rects) {
            const QRectF box = area(rect);
            if (box.isEmpty())
                continue;
            if (first.isNull())
                first = box;
            if (item.masked)
                painter.fillRect(box, QColor(0, 0, 0, shadeAlpha));
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box);
        }
        if (first.isNull())
            continue;
        // The rule's name sits on a tag just after the secret's first line,
        // where a screen usually has room; before it when the line reaches
        // the right edge, and above it when neither side has room.
        const QSizeF text(metrics.horizontalAdvance(item.name) + 2 * labelPadding,
                          metrics.height() + labelPadding);
        const double middle = first.center().y() - text.height() / 2;
        QPointF corner(first.right() + labelPadding, middle);
        if (corner.x() + text.width() > width())
            corner.setX(first.left() - labelPadding - text.width());
        if (corner.x() < 0)
            corner = QPointF(first.left(), std::max(0.0, first.top() - text.height()));
        const QRectF tag(corner, text);
        painter.fillRect(tag, colour);
        painter.setPen(Qt::white);
        painter.drawText(tag, Qt::AlignCenter, item.name);
    }
}

void SecretPreviewLayer::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const int index = itemAt(event->position());
    if (index >= 0)
        Q_EMIT itemClicked(index);
}

void SecretPreviewLayer::mouseMoveEvent(QMouseEvent* event)
{
    if (itemAt(event->position()) >= 0)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void SecretPreviewLayer::wheelEvent(QWheelEvent* event) { event->ignore(); }

} // namespace kelpie
