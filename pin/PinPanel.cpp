#include "pin/PinPanel.h"

#include "editor/WindowLevel.h"
#include "pin/PinSurface.h"

#include <QPainterPath>
#include <QRegion>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace kelpie {

PinPanel::PinPanel(QWidget* pinWindow)
    : QWidget(pinWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_surface(new PinSurface(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    WindowLevel::set(this, WindowLevel::floating);
    resize(initialWidth, initialHeight);

    m_surface->setPaintsBackground(true);
    m_surface->setCornerRadius(cornerRadius);
    m_surface->setBordered(true);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(m_surface);
}

void PinPanel::setAcceptsKey(bool accepts)
{
    if (m_acceptsKey == accepts)
        return;
    m_acceptsKey = accepts;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
    // Changing a flag hides a top-level window; it comes back as it was.
    if (visible)
        show();
}

} // namespace kelpie

namespace kelpie {

void PinPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Without a compositing manager the clear corners of a translucent
    // window show black; the window's shape follows the rounding instead.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

} // namespace kelpie
