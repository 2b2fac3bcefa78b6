#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;

namespace kelpie {

// A global key combination: a layout-independent physical key number (F1 is
// 122, S is 1), a modifier mask and the label shown to the user. Equality and
// hashing ignore the label.
struct AppShortcut {
    static constexpr std::uint32_t command = 0x100;
    static constexpr std::uint32_t shift = 0x200;
    static constexpr std::uint32_t option = 0x800;
    static constexpr std::uint32_t control = 0x1000;
    static constexpr std::uint32_t modifierMask = command | shift | option | control;

    // The physical keys F1 to F20, in order.
    static constexpr std::array<std::uint32_t, 20> functionCodes = {
        122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90};

    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    QString keyName;

    static AppShortcut capture();
    static AppShortcut pin();
    // Control+Option+S: always registered as a second capture key.
    static AppShortcut fallback();

    // The key needs Command, Option or Control unless it is F1 to F20; the
    // desktop's screenshot keys, Command with Q, W, Tab or Space, and the
    // modifier keys themselves are refused.
    bool isValid() const;
    bool isFunctionKey() const;
    // "⌃⌥⇧⌘" for the modifiers that are set, in that order, then the key name.
    QString displayName() const;

    // {"keyCode": n, "modifiers": n, "keyName": s}.
    QByteArray toJson() const;
    // All three keys are required and must have their exact types; the
    // numbers must be whole and fit 32 bits unsigned. Validity is not checked.
    static std::optional<AppShortcut> fromJson(const QByteArray& json);

    // A shortcut from a key press: Ctrl, Alt, Shift and Super become Control,
    // Option, Shift and Command; the key comes from the event's native key
    // code. Absent when the key is unknown or the result is not valid.
    static std::optional<AppShortcut> from(const QKeyEvent& event);

    friend bool operator==(const AppShortcut& a, const AppShortcut& b)
    {
        return a.keyCode == b.keyCode && a.modifiers == b.modifiers;
    }
    // An order consistent with equality, for ordered maps.
    friend bool operator<(const AppShortcut& a, const AppShortcut& b)
    {
        return a.keyCode != b.keyCode ? a.keyCode < b.keyCode : a.modifiers < b.modifiers;
    }
};

} // namespace kelpie

template<> struct std::hash<kelpie::AppShortcut> {
    std::size_t operator()(const kelpie::AppShortcut& shortcut) const noexcept
    {
        return std::hash<std::uint64_t>()((std::uint64_t(shortcut.keyCode) << 32)
                                          | shortcut.modifiers);
    }
};
