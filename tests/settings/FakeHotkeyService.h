#pragma once

#include "platform/HotkeyService.h"
#include "settings/AppShortcut.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <utility>

namespace kelpie::test {

// Records what the manager asks of the hot-key facility, refuses what it is
// told to, and lets a test press registered keys.
struct FakeService : HotkeyService {
    struct Registered {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        HotkeyID identity;
    };

    bool installHandler(PressHandler h) override
    {
        ++installs;
        if (refuseHandler)
            return false;
        handler = std::move(h);
        return true;
    }
    void removeHandler() override { handler = nullptr; }
    std::optional<Reference> registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers,
                                            HotkeyID identity) override
    {
        ++attempts;
        if (taken.count({keyCode, modifiers}))
            return std::nullopt;
        const Reference reference = nextReference++;
        live.emplace(reference, Registered{keyCode, modifiers, identity});
        return reference;
    }
    void unregisterHotkey(Reference reference) override
    {
        ASSERT_EQ(live.erase(reference), 1u) << "unregistered twice or never registered";
    }

    // What a press of the combination hands to the handler, if it is registered.
    std::optional<bool> press(const AppShortcut& shortcut)
    {
        for (const auto& [_, registered] : live) {
            if (registered.keyCode == shortcut.keyCode
                && registered.modifiers == shortcut.modifiers)
                return handler ? std::optional(handler(registered.identity)) : std::nullopt;
        }
        return std::nullopt;
    }

    PressHandler handler;
    std::map<Reference, Registered> live;
    std::set<std::pair<std::uint32_t, std::uint32_t>> taken;
    Reference nextReference = 100;
    bool refuseHandler = false;
    int installs = 0;
    int attempts = 0;
};

} // namespace kelpie::test
