#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace kelpie {

// The desktop's global hot-key facility as the hot-key manager sees it:
// register a key combination under an identity, unregister it, and get a
// call for every press of a registered combination. The X11 implementation
// grabs keys on the root window; tests use a fake.
class HotkeyService {
public:
    // Identifies one registration: a four-character signature of the
    // registering component and a number it hands out.
    struct HotkeyID {
        std::uint32_t signature = 0;
        std::uint32_t id = 0;
    };

    // The service's handle of one registered combination.
    using Reference = std::uint64_t;

    // Called on the main thread for each press; returns whether the press was
    // handled (a press with a foreign identity is not).
    using PressHandler = std::function<bool(HotkeyID)>;

    // Modifier bits of a combination: Command, Shift, Option, Control.
    static constexpr std::uint32_t command = 0x100;
    static constexpr std::uint32_t shift = 0x200;
    static constexpr std::uint32_t option = 0x800;
    static constexpr std::uint32_t control = 0x1000;

    virtual ~HotkeyService() = default;

    // False when presses cannot be delivered at all (no X11 connection).
    virtual bool installHandler(PressHandler handler) = 0;
    virtual void removeHandler() = 0;

    // keyCode is a physical key number of the key-code table. Absent when
    // the combination cannot be registered, for example because another
    // client holds it; nothing stays registered then.
    virtual std::optional<Reference> registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                    HotkeyID identity)
        = 0;
    virtual void unregisterHotkey(Reference reference) = 0;
};

} // namespace kelpie
