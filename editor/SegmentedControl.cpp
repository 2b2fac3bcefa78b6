#include "editor/SegmentedControl.h"

#include "editor/ControlIcon.h"
#include "editor/CoreAppearance.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

constexpr double labelPadding = 10;

// The tints of a tool button that is on (ToolbarButton), so a chosen segment
// reads the same way.
const CoreAppearance::NamedColor chosenBackground{"segmentChosenBackground",
                                                  QColor::fromRgbF(0.90f, 0.94f, 0.92f),
                                                  QColor::fromRgbF(0.19f, 0.29f, 0.25f)};
const CoreAppearance::NamedColor chosenContent{"segmentChosenContent", CoreAppearance::accent.light,
                                               QColor::fromRgbF(0.68f, 0.86f, 0.78f)};

} // namespace

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent) : QWidget(parent)
{
    for (const QString& label : labels)
        m_segments.push_back(Segment{label, QString(), ControlImage(), 0});
    setFont(CoreAppearance::systemFont(13));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    CoreAppearance::followAppearance(this);
}

void SegmentedControl::setSelectedSegment(int index)
{
    if (index < -1 || index >= count())
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    update();
}

QString SegmentedControl::label(int index) const
{
    return index >= 0 && index < count() ? m_segments[std::size_t(index)].label : QString();
}

QString SegmentedControl::segmentToolTip(int index) const
{
    return index >= 0 && index < count() ? m_segments[std::size_t(index)].toolTip : QString();
}

ControlImage SegmentedControl::segmentImage(int index) const
{
    return index >= 0 && index < count() ? m_segments[std::size_t(index)].image : ControlImage();
}

int SegmentedControl::segmentWidth(int index) const
{
    if (index < 0 || index >= count())
        return 0;
    const Segment& segment = m_segments[std::size_t(index)];
    if (segment.width > 0)
        return segment.width;
    if (!segment.image.isNull())
        return int(std::ceil(segment.image.size().width() + labelPadding));
    return int(
        std::ceil(QFontMetricsF(font()).horizontalAdvance(segment.label) + 2 * labelPadding));
}

void SegmentedControl::setSegmentImage(int index, const ControlImage& image, const QString& toolTip)
{
    if (index < 0 || index >= count())
        return;
    Segment& segment = m_segments[std::size_t(index)];
    segment.image = image;
    segment.label.clear();
    segment.toolTip = toolTip;
    updateGeometry();
    update();
}

void SegmentedControl::setSegmentWidth(int index, int width)
{
    if (index < 0 || index >= count())
        return;
    m_segments[std::size_t(index)].width = std::max(width, 0);
    updateGeometry();
    update();
}

QRectF SegmentedControl::segmentRect(int index) const
{
    double x = 0;
    for (int i = 0; i < index && i < count(); ++i)
        x += segmentWidth(i);
    return QRectF(x, 0, segmentWidth(index), height);
}

int SegmentedControl::segmentAt(QPoint point) const
{
    for (int i = 0; i < count(); ++i)
        if (segmentRect(i).contains(point))
            return i;
    return -1;
}

QSize SegmentedControl::sizeHint() const
{
    int width = 0;
    for (int i = 0; i < count(); ++i)
        width += segmentWidth(i);
    return QSize(width, height);
}

bool SegmentedControl::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = segmentToolTip(segmentAt(help->pos()));
        if (!tip.isEmpty())
            QToolTip::showText(help->globalPos(), tip, this,
                               segmentRect(segmentAt(help->pos())).toAlignedRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void SegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto appearance = CoreAppearance::appearance(this);
    const QColor separator = CoreAppearance::separator.resolved(appearance);
    const QColor label = CoreAppearance::label.resolved(appearance);
    const double alpha = isEnabled() ? 1.0 : 0.42;

    const QRectF bounds = QRectF(QPointF(0, 0), QSizeF(sizeHint())).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.fillPath(outline, CoreAppearance::surface.resolved(appearance));

    painter.save();
    painter.setClipPath(outline);
    if (m_selected >= 0)
        painter.fillRect(segmentRect(m_selected), chosenBackground.resolved(appearance));
    painter.restore();

    QColor border = separator;
    border.setAlphaF(std::min(1.0f, border.alphaF() * 2.2f));
    painter.setPen(QPen(border, 1));
    for (int i = 1; i < count(); ++i) {
        const double x = segmentRect(i).left() + 0.5;
        painter.drawLine(QLineF(x, 5, x, height - 5));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);

    painter.setOpacity(alpha);
    for (int i = 0; i < count(); ++i) {
        const Segment& segment = m_segments[std::size_t(i)];
        const QRectF rect = segmentRect(i);
        const QColor tint = i == m_selected ? chosenContent.resolved(appearance) : label;
        if (!segment.image.isNull()) {
            const QSizeF size = segment.image.size();
            const QRectF target(rect.center() - QPointF(size.width() / 2, size.height() / 2), size);
            const double ratio = devicePixelRatioF();
            painter.drawImage(target.topLeft(),
                              ControlIcon::render(segment.image, size, tint, ratio));
        } else {
            painter.setPen(tint);
            painter.setFont(font());
            painter.drawText(rect, Qt::AlignCenter, segment.label);
        }
    }
    if (hasFocus()) {
        QColor ring = CoreAppearance::accent.resolved(appearance);
        ring.setAlphaF(0.7f);
        painter.setOpacity(1);
        painter.setPen(QPen(ring, 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    choose(segmentAt(event->position().toPoint()));
}

void SegmentedControl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const int step = event->key() == Qt::Key_Left ? -1 : 1;
        choose(std::clamp(m_selected + step, 0, count() - 1));
        return;
    }
    QWidget::keyPressEvent(event);
}

void SegmentedControl::choose(int index)
{
    if (index < 0 || index >= count() || !isEnabled())
        return;
    setSelectedSegment(index);
    Q_EMIT segmentChosen(index);
}

} // namespace kelpie
