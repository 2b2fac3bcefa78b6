#include "pin/PinChromeState.h"

namespace kelpie {

PinChromeState::PinChromeState(DelayScheduler& scheduler) : m_scheduler(scheduler) { }

PinChromeState::~PinChromeState() { cancelPendingHide(); }

void PinChromeState::hover(int surface, bool inside)
{
    if (inside)
        m_hovering.insert(surface);
    else
        m_hovering.erase(surface);
    refreshVisibility();
}

bool PinChromeState::shouldShow() const
{
    if (m_closed || !windows)
        return false;
    const Windows state = windows();
    if (!state.parentAlive || !state.parentVisible)
        return false;
    if (state.anyKey || !m_hovering.empty())
        return true;
    return isAuxiliaryActive && isAuxiliaryActive();
}

void PinChromeState::refreshVisibility()
{
    cancelPendingHide();
    if (shouldShow()) {
        if (onShow)
            onShow(m_hasSecondary);
        return;
    }
    if (m_closed)
        return;
    m_pendingHide = m_scheduler.schedule(hideDelay, [this] { hideIfStillHidden(); });
}

void PinChromeState::hideIfStillHidden()
{
    m_pendingHide.reset();
    if (!shouldShow() && onHide)
        onHide();
}

void PinChromeState::close()
{
    m_closed = true;
    cancelPendingHide();
}

void PinChromeState::cancelPendingHide()
{
    if (m_pendingHide) {
        m_scheduler.cancel(*m_pendingHide);
        m_pendingHide.reset();
    }
}

} // namespace kelpie
