#pragma once

#include "platform/HotkeyService.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <map>
#include <vector>

namespace kelpie {

// Global hot keys on X11: each combination is a passive key grab on every
// root window, made on Qt's own X connection so that presses arrive through
// a native event filter on the main thread.
//
// Num Lock, Caps Lock and Scroll Lock change the modifier state of a press,
// so a combination is grabbed once for every distinct mix of the lock bits;
// which bits those are (and which ones Alt and Super use) is read from the
// server's modifier mapping at registration. Every grab is a checked
// request, so a combination another client holds is reported, never lost in
// an error handler.
class X11HotkeyService final : public HotkeyService, private QAbstractNativeEventFilter {
public:
    X11HotkeyService() = default;
    ~X11HotkeyService() override;

    X11HotkeyService(const X11HotkeyService&) = delete;
    X11HotkeyService& operator=(const X11HotkeyService&) = delete;

    bool installHandler(PressHandler handler) override;
    void removeHandler() override;
    std::optional<Reference> registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers,
                                            HotkeyID identity) override;
    void unregisterHotkey(Reference reference) override;

    // The X11 grabs held now, over all registrations.
    int grabCount() const;

private:
    struct Grab {
        std::uint32_t root = 0;
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
    };
    struct Registration {
        HotkeyID identity;
        std::uint16_t modifiers = 0; // without lock bits
        std::uint16_t lockMask = 0;  // the lock bits ignored when matching a press
        std::vector<Grab> grabs;
    };

    // The last press or release seen of a grabbed key, to tell the
    // server's auto-repeat from a new press.
    struct KeyHistory {
        bool seen = false;
        bool down = false;
        std::uint32_t time = 0;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool isRepeat(std::uint8_t keycode, bool press, std::uint32_t time);
    bool holds(const Grab& grab) const;
    void ungrab(const std::vector<Grab>& grabs);

    std::map<Reference, Registration> m_registrations;
    Reference m_nextReference = 1;
    std::map<std::uint8_t, KeyHistory> m_history;
    PressHandler m_handler;
    bool m_filterInstalled = false;
};

} // namespace kelpie
