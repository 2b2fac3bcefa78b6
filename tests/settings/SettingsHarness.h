#pragma once

#include "FakeHotkeyService.h"
#include "ScratchHome.h"
#include "platform/KeyCodeTable.h"
#include "platform/LoginItemService.h"
#include "settings/AppPreferences.h"
#include "settings/HotkeyManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>

#include <memory>
#include <vector>

namespace kelpie::test {

// A login-start facility whose answers a test sets.
struct FakeLoginItem : LoginItemService {
    Status<LoginItemError> registerItem() override
    {
        ++calls;
        if (refuse)
            return LoginItemError::unwritable;
        current = LoginItemStatus::enabled;
        return Done{};
    }
    Status<LoginItemError> unregisterItem() override
    {
        ++calls;
        if (refuse)
            return LoginItemError::unwritable;
        current = LoginItemStatus::notRegistered;
        return Done{};
    }
    LoginItemStatus status() const override { return current; }
    bool openSettings() override
    {
        ++settingsOpened;
        return true;
    }

    LoginItemStatus current = LoginItemStatus::notRegistered;
    bool refuse = false;
    int calls = 0;
    int settingsOpened = 0;
};

// Preferences in a scratch home, a hot-key manager over the fake service,
// and the two callbacks the application gives the settings window: apply
// registers through the manager; recording pauses the manager and, when it
// ends, registers the stored shortcuts again.
class SettingsHarness : public ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        ASSERT_TRUE(QDir().mkpath(config() + QStringLiteral("/kelpie")));
        store = std::make_shared<PreferencesStore>(config() + QStringLiteral("/kelpie/test.json"));
        preferences = std::make_shared<AppPreferences>(store);
        hotkeys = std::make_unique<HotkeyManager>(makeService());
        hotkeys->onAction = [this](HotkeyManager::Action action) { fired.push_back(action); };
        ASSERT_EQ(hotkeys->apply(preferences->captureShortcut(), preferences->pinShortcut()),
                  std::nullopt);
        login = std::make_shared<FakeLoginItem>();
    }

    // The fake service by default; tests on a real X server use the real one.
    virtual std::unique_ptr<HotkeyService> makeService()
    {
        auto owned = std::make_unique<FakeService>();
        service = owned.get();
        return owned;
    }

    std::optional<QString> applyShortcuts(const AppShortcut& capture, const AppShortcut& pin)
    {
        return hotkeys->apply(capture, pin);
    }
    std::optional<QString> recordingChanged(bool recording)
    {
        if (recording) {
            ++pauses;
            hotkeys->pause();
            return std::nullopt;
        }
        ++resumes;
        return hotkeys->apply(preferences->captureShortcut(), preferences->pinShortcut());
    }

    // What a press of the combination fires, once served.
    std::vector<HotkeyManager::Action> pressGlobally(const AppShortcut& shortcut)
    {
        fired.clear();
        service->press(shortcut);
        QCoreApplication::processEvents();
        return fired;
    }

    // A key press as the toolkit delivers it: the X11 key code of the
    // physical key, Qt's key and modifiers.
    static std::unique_ptr<QKeyEvent> key(std::uint32_t physicalKey, int qtKey,
                                          Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                                          const QString& text = {})
    {
        const auto codes = KeyCodeTable::x11KeyCodes(physicalKey);
        return std::make_unique<QKeyEvent>(QEvent::KeyPress, qtKey, modifiers,
                                           codes.empty() ? 0u : codes.front(), 0u, 0u, text);
    }

    std::shared_ptr<PreferencesStore> store;
    std::shared_ptr<AppPreferences> preferences;
    // Null when the service is not the fake one.
    FakeService* service = nullptr;
    std::unique_ptr<HotkeyManager> hotkeys;
    std::vector<HotkeyManager::Action> fired;
    std::shared_ptr<FakeLoginItem> login;
    int pauses = 0;
    int resumes = 0;
};

// Physical key numbers used by the tests.
namespace keys {
constexpr std::uint32_t a = 0, s = 1, k = 40, q = 12, tab = 48, escape = 53, f1 = 122, f5 = 96;
}

inline const AppShortcut ctrlShiftK{keys::k, AppShortcut::control | AppShortcut::shift,
                                    QStringLiteral("K")};
inline const AppShortcut ctrlAltP{35, AppShortcut::control | AppShortcut::option,
                                  QStringLiteral("P")};

} // namespace kelpie::test
