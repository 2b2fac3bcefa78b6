#pragma once

#include "platform/HotkeyService.h"
#include "settings/AppShortcut.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace kelpie {

// Registers the capture and pin shortcuts, plus the fixed second capture key
// Control+Option+S, with the desktop's global hot-key service, and turns
// presses into actions on the main thread. A change that cannot be
// registered in full leaves the previous registrations working.
class HotkeyManager {
public:
    enum class Action { capture, pin };

    struct Binding {
        HotkeyService::Reference reference = 0;
        std::uint32_t id = 0;
    };

    // "KLPE" read as a big-endian 32-bit code.
    static constexpr std::uint32_t signature = (std::uint32_t('K') << 24)
        | (std::uint32_t('L') << 16) | (std::uint32_t('P') << 8) | std::uint32_t('E');

    explicit HotkeyManager(std::unique_ptr<HotkeyService> service);
    ~HotkeyManager();

    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Called on the main thread, after the press, for each press.
    std::function<void(Action)> onAction;

    // Absent when both shortcuts and the fallback are registered; otherwise
    // the message to show, also kept in lastError().
    std::optional<QString> apply(const AppShortcut& capture, const AppShortcut& pin);
    // Unregisters everything; the press handler stays installed.
    void pause();
    // pause(), then removes the press handler.
    void shutdown();

    int activeCount() const { return static_cast<int>(m_bindings.size()); }
    const std::optional<QString>& lastError() const { return m_lastError; }
    const std::map<AppShortcut, Binding>& bindings() const { return m_bindings; }
    const std::map<std::uint32_t, Action>& actions() const { return m_actions; }
    std::uint32_t nextID() const { return m_nextID; }
    bool hasHandler() const { return m_handlerInstalled; }

    // The press handler given to the service: a press of ours is served
    // later on the main thread against the then-current actions.
    bool handlePress(HotkeyService::HotkeyID identity);

private:
    std::optional<QString> fail(const QString& message);
    void serve(std::uint32_t id);

    std::unique_ptr<HotkeyService> m_service;
    std::map<AppShortcut, Binding> m_bindings;
    std::map<std::uint32_t, Action> m_actions;
    bool m_handlerInstalled = false;
    std::uint32_t m_nextID = 1;
    std::optional<QString> m_lastError;
    // Pending presses are posted to this object, so they die with the manager.
    QObject m_context;
};

} // namespace kelpie
