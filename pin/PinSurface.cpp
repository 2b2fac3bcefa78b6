#include "pin/PinSurface.h"

#include "editor/CoreAppearance.h"

#include <QEnterEvent>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

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
    painter.fillRect(event->rect(),
                     CoreAppearance::surface.resolved(CoreAppearance::appearance(this)));
}

} // namespace kelpie
