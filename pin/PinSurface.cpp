#include "pin/PinSurface.h"

#include "editor/CoreAppearance.h"

#include <QEnterEvent>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kelpie {

PinSurface::PinSurface(QWidget* parent) : QWidget(parent)
{
    CoreAppearance::followAppearance(this);
}

void PinSurface::setPaintsBackground(bool paints)
{
    if (m_paintsBackground == paints)
        return;
    m_paintsBackground = paints;
    update();
}

void PinSurface::setCornerRadius(double radius)
{
    m_cornerRadius = std::max(radius, 0.0);
    update();
}

void PinSurface::setBordered(bool bordered)
{
    m_bordered = bordered;
    update();
}

bool PinSurface::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // A child's size hint changed: the owner lays the surface out again.
    if (event->type() == QEvent::LayoutRequest)
        layoutPass();
    return handled;
}

void PinSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutPass();
}

void PinSurface::layoutPass()
{
    if (onLayout) {
        const auto callback = onLayout;
        callback();
    }
}

void PinSurface::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    hover(true);
}

void PinSurface::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    hover(false);
}

void PinSurface::hover(bool inside)
{
    // The owner hears each change once, however the toolkit repeats events.
    if (m_hovered == inside)
        return;
    m_hovered = inside;
    if (onHover) {
        const auto callback = onHover;
        callback(inside);
    }
}

void PinSurface::paintEvent(QPaintEvent* event)
{
    if (!m_paintsBackground)
        return;
    QPainter painter(this);
    const auto appearance = CoreAppearance::appearance(this);
    const QColor fill = CoreAppearance::surface.resolved(appearance);
    if (m_cornerRadius <= 0 && !m_bordered) {
        painter.fillRect(event->rect(), fill);
        return;
    }
    // The outline lies on whole device pixels inside the bounds, and the
    // corners outside the rounding stay clear for the desktop behind.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(event->rect());
    const double ratio = devicePixelRatioF();
    const double line = m_bordered ? std::max(1.0, std::round(ratio)) / ratio : 0;
    const QRectF outline = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
    QPainterPath shape;
    shape.addRoundedRect(outline, m_cornerRadius, m_cornerRadius);
    // A window already shaped to the rounding keeps no clear pixels: without
    // a compositing manager the half-covered edge pixels would show dark.
    if (window() && !window()->mask().isEmpty())
        painter.fillRect(rect(), fill);
    else
        painter.fillPath(shape, fill);
    if (m_bordered)
        painter.strokePath(shape, QPen(CoreAppearance::separator.resolved(appearance), line));
}

} // namespace kelpie
