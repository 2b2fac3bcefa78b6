#pragma once

#include "pin/DelayScheduler.h"

#include <chrono>
#include <functional>
#include <optional>
#include <set>

namespace kelpie {

// When a pin's two chrome panels show. They show while the pin or one of
// the panels has the keyboard, while the pointer is over any of the three,
// or while an auxiliary control (the colour dialog) is in use. Otherwise
// they hide after a short grace, so that the pointer can cross the gap
// between the pin and a panel: entering the panel within the grace cancels
// the hide. Once closed, nothing shows again.
//
// No widgets: the windows' state is asked through `windows`, and the
// panels are ordered in and out through `onShow` and `onHide`.
class PinChromeState {
public:
    static constexpr std::chrono::milliseconds hideDelay{180};

    // The surfaces whose hover counts.
    enum Surface : int {
        pinSurface = 0,
        primarySurface = 1,
        secondarySurface = 2,
    };

    // The state of the pin window and its panels when asked.
    struct Windows {
        bool parentAlive = false;
        bool parentVisible = false;
        // The pin, the primary or the secondary panel has the keyboard.
        bool anyKey = false;
    };

    explicit PinChromeState(DelayScheduler& scheduler);
    ~PinChromeState();

    PinChromeState(const PinChromeState&) = delete;
    PinChromeState& operator=(const PinChromeState&) = delete;

    std::function<Windows()> windows;
    std::function<bool()> isAuxiliaryActive;
    // Order the primary panel to the front, and the secondary to the front
    // when `withSecondary`, else out.
    std::function<void(bool withSecondary)> onShow;
    // Order both panels out.
    std::function<void()> onHide;

    // The pointer entered or left one of the surfaces; visibility follows.
    void hover(int surface, bool inside);
    // Whether the secondary panel has a visible row; read at the next refresh.
    void setHasSecondary(bool has) { m_hasSecondary = has; }
    bool hasSecondary() const { return m_hasSecondary; }

    bool shouldShow() const;
    // Shows the panels, or schedules their hide.
    void refreshVisibility();
    // Terminal: cancels a pending hide; nothing shows afterwards.
    void close();

    bool closed() const { return m_closed; }
    bool hidePending() const { return m_pendingHide.has_value(); }
    const std::set<int>& hovering() const { return m_hovering; }

private:
    void cancelPendingHide();
    void hideIfStillHidden();

    DelayScheduler& m_scheduler;
    std::set<int> m_hovering;
    std::optional<DelayScheduler::Ticket> m_pendingHide;
    bool m_hasSecondary = false;
    bool m_closed = false;
};

} // namespace kelpie
