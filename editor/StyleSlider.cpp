#include "editor/StyleSlider.h"

#include <QEvent>
#include <QMouseEvent>

namespace kelpie {

StyleSlider::StyleSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) { }

void StyleSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_tracking && isEnabled()) {
        m_tracking = true;
        if (beginTracking)
            beginTracking();
    }
    QSlider::mousePressEvent(event);
}

void StyleSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        finishTracking();
}

// A drag can also end without a release reaching the slider: the window is
// hidden or the slider disabled underneath the pointer. The begin must still
// be paired, or the caller's transaction would stay open.
void StyleSlider::hideEvent(QHideEvent* event)
{
    QSlider::hideEvent(event);
    finishTracking();
}

void StyleSlider::changeEvent(QEvent* event)
{
    QSlider::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        finishTracking();
}

void StyleSlider::finishTracking()
{
    if (!m_tracking)
        return;
    m_tracking = false;
    if (endTracking)
        endTracking();
}

} // namespace kelpie
