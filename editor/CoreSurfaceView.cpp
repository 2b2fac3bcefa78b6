#include "editor/CoreSurfaceView.h"

#include "editor/CoreAppearance.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace kelpie {

CoreSurfaceView::CoreSurfaceView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    CoreAppearance::followAppearance(this);
}

void CoreSurfaceView::setCornerRadius(double radius)
{
    m_cornerRadius = radius;
    // Rounded corners leave the window behind them visible.
    setAttribute(Qt::WA_OpaquePaintEvent, radius <= 0);
    update();
}

void CoreSurfaceView::setBordered(bool bordered)
{
    m_bordered = bordered;
    update();
}

void CoreSurfaceView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const auto appearance = CoreAppearance::appearance(this);
    const QColor fill = CoreAppearance::surface.resolved(appearance);
    if (m_cornerRadius <= 0 && !m_bordered) {
        painter.fillRect(event->rect(), fill);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outline, m_cornerRadius, m_cornerRadius);
    painter.fillPath(shape, fill);
    if (m_bordered)
        painter.strokePath(shape, QPen(CoreAppearance::separator.resolved(appearance), 1));
}

} // namespace kelpie
