#include "editor/FloatingControls.h"

#include "editor/CoreAppearance.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelpie {

FloatingControls::FloatingControls(const std::vector<QWidget*>& rows, Kind kind, QWidget* parent)
    : QWidget(parent), m_horizontalPadding(kind == Kind::primaryToolbar ? 14 : 16),
      m_verticalPadding(kind == Kind::primaryToolbar ? 6 : 10), m_stack(new QWidget),
      m_scroll(new QScrollArea(this))
{
    auto* layout = new QVBoxLayout(m_stack);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QWidget* row : rows)
        layout->addWidget(row, 0, Qt::AlignLeft);

    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setAutoFillBackground(false);
    m_scroll->setWidget(m_stack);
    // setWidget turns the background filling on; the panel's own shows through.
    m_stack->setAutoFillBackground(false);
    m_scroll->viewport()->installEventFilter(this);
    CoreAppearance::followAppearance(this);
    fitContent();
}

QSizeF FloatingControls::stackFittingSize() const
{
    m_stack->layout()->activate();
    return m_stack->layout()->sizeHint();
}

double FloatingControls::scrollerHeight() const
{
    return m_scroll->horizontalScrollBar()->sizeHint().height();
}

QSizeF FloatingControls::panelSize(double maxWidth) const
{
    const QSizeF fitting = stackFittingSize();
    double width = fitting.width() + 2 * m_horizontalPadding;
    double height = fitting.height() + 2 * m_verticalPadding;
    if (width > maxWidth) {
        width = std::max(maxWidth, 0.0);
        height += scrollerHeight();
    }
    return {width, height};
}

void FloatingControls::place(const QRectF& rect)
{
    // Panel sizes are whole points; rounding keeps a half-point origin from
    // growing the panel by one.
    setGeometry(
        QRect(qRound(rect.x()), qRound(rect.y()), qRound(rect.width()), qRound(rect.height())));
    fitContent();
}

void FloatingControls::fitContent()
{
    const QSizeF fitting = stackFittingSize();
    const QRect frame = rect().adjusted(
        static_cast<int>(m_horizontalPadding), static_cast<int>(m_verticalPadding),
        -static_cast<int>(m_horizontalPadding), -static_cast<int>(m_verticalPadding));
    m_scroll->setGeometry(frame.isValid() ? frame : QRect());
    m_scroll->setHorizontalScrollBarPolicy(
        frame.width() < fitting.width() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_stack->resize(fitting.toSize());
    // The scroll view updates its range only once it is laid out; the
    // position is brought back into the range the new width allows now.
    QScrollBar* bar = m_scroll->horizontalScrollBar();
    const int overflow = std::max(0, qCeil(fitting.width()) - std::max(frame.width(), 0));
    bar->setValue(std::clamp(bar->value(), 0, overflow));
}

void FloatingControls::setSurfaceCornerRadius(std::optional<double> radius)
{
    m_surfaceCornerRadius = radius;
    update();
}

QSize FloatingControls::sizeHint() const
{
    return panelSize(std::numeric_limits<double>::max()).toSize();
}

void FloatingControls::paintEvent(QPaintEvent*)
{
    if (!m_surfaceCornerRadius)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto appearance = CoreAppearance::appearance(this);
    // Filled and outlined by a one-point separator line, as the editor's
    // panels are, so the panel keeps its edge over white content. The line
    // lies on whole device pixels inside the bounds.
    const double ratio = devicePixelRatioF();
    const double line = std::max(1.0, std::round(ratio)) / ratio;
    const QRectF outline = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
    QPainterPath shape;
    shape.addRoundedRect(outline, *m_surfaceCornerRadius, *m_surfaceCornerRadius);
    painter.fillPath(shape, CoreAppearance::surface.resolved(appearance));
    painter.strokePath(shape, QPen(CoreAppearance::separator.resolved(appearance), line));
}

bool FloatingControls::eventFilter(QObject* watched, QEvent* event)
{
    // A panel only ever scrolls sideways, so an ordinary wheel turn does so.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta
            = wheel->pixelDelta().isNull() ? wheel->angleDelta() / 4 : wheel->pixelDelta();
        const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        QScrollBar* bar = m_scroll->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kelpie
