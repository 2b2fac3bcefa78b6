#include "settings/HotkeyManager.h"

#include "FakeHotkeyService.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace kelpie;
using Action = HotkeyManager::Action;
using kelpie::test::FakeService;

namespace {

class HotkeyManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<FakeService>();
        service = owned.get();
        manager = std::make_unique<HotkeyManager>(std::move(owned));
        manager->onAction = [this](Action action) { fired.push_back(action); };
    }

    std::vector<Action> pressAndServe(const AppShortcut& shortcut)
    {
        fired.clear();
        service->press(shortcut);
        QCoreApplication::processEvents();
        return fired;
    }

    std::map<AppShortcut, std::uint32_t> ids() const
    {
        std::map<AppShortcut, std::uint32_t> result;
        for (const auto& [shortcut, binding] : manager->bindings())
            result[shortcut] = binding.id;
        return result;
    }

    FakeService* service = nullptr;
    std::unique_ptr<HotkeyManager> manager;
    std::vector<Action> fired;
};

const AppShortcut ctrlAltP{35, AppShortcut::control | AppShortcut::option, QStringLiteral("P")};
const AppShortcut ctrlAltK{40, AppShortcut::control | AppShortcut::option, QStringLiteral("K")};

} // namespace

TEST_F(HotkeyManagerTest, RegistersCapturePinAndFallback)
{
    EXPECT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(manager->activeCount(), 3);
    EXPECT_EQ(service->live.size(), 3u);
    EXPECT_EQ(manager->nextID(), 4u);
    for (const auto& [_, registered] : service->live)
        EXPECT_EQ(registered.identity.signature, 0x4B4C5045u); // "KLPE"

    EXPECT_EQ(pressAndServe(AppShortcut::capture()), std::vector{Action::capture});
    EXPECT_EQ(pressAndServe(AppShortcut::pin()), std::vector{Action::pin});
    EXPECT_EQ(pressAndServe(AppShortcut::fallback()), std::vector{Action::capture});

    // The fallback as the capture key: one registration serves both roles.
    EXPECT_EQ(manager->apply(AppShortcut::fallback(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(manager->activeCount(), 2);
    EXPECT_EQ(service->live.size(), 2u);
    EXPECT_EQ(pressAndServe(AppShortcut::fallback()), std::vector{Action::capture});
    EXPECT_EQ(pressAndServe(AppShortcut::capture()), std::vector<Action>{});
}

TEST_F(HotkeyManagerTest, RefusesBadPairsBeforeTouchingAnything)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    const auto before = ids();
    const int attempts = service->attempts;

    const QString invalid = QStringLiteral("请选择带修饰键的组合键或功能键");
    const QString clash = QStringLiteral("截图与钉图快捷键不能相同，也不能占用备选截图键");
    EXPECT_EQ(manager->apply({1, 0, QStringLiteral("S")}, AppShortcut::pin()), invalid);
    EXPECT_EQ(manager->lastError(), invalid);
    // Invalidity is checked before equality.
    EXPECT_EQ(manager->apply({1, 0, QStringLiteral("S")}, {1, 0, QStringLiteral("S")}), invalid);
    EXPECT_EQ(manager->apply(
                  ctrlAltP, {35, AppShortcut::control | AppShortcut::option, QStringLiteral("P2")}),
              clash);
    EXPECT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::fallback()), clash);
    EXPECT_EQ(manager->lastError(), clash);

    EXPECT_EQ(ids(), before);
    EXPECT_EQ(service->attempts, attempts);
    EXPECT_EQ(manager->nextID(), 4u);

    // Success clears the message.
    EXPECT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(manager->lastError(), std::nullopt);
}

TEST_F(HotkeyManagerTest, HandlerThatCannotBeInstalledIsRetriedNextTime)
{
    service->refuseHandler = true;
    EXPECT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()),
              QStringLiteral("无法启用全局快捷键，可先从菜单栏截图"));
    EXPECT_FALSE(manager->hasHandler());
    EXPECT_EQ(manager->activeCount(), 0);
    EXPECT_EQ(service->attempts, 0);

    service->refuseHandler = false;
    EXPECT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_TRUE(manager->hasHandler());
    // Installed once, kept across applies and pauses.
    manager->pause();
    manager->apply(AppShortcut::capture(), AppShortcut::pin());
    EXPECT_EQ(service->installs, 2);
}

TEST_F(HotkeyManagerTest, TakenCombinationLeavesThePreviousBindingsWorking)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    const auto before = ids();
    const auto liveBefore = service->live.size();

    // The new capture key registers, the new pin key is taken: the capture
    // key registered in this call is given back.
    service->taken.insert({ctrlAltP.keyCode, ctrlAltP.modifiers});
    EXPECT_EQ(manager->apply(ctrlAltK, ctrlAltP),
              QStringLiteral("快捷键可能已被占用，请换一个组合键"));
    EXPECT_EQ(manager->lastError(), QStringLiteral("快捷键可能已被占用，请换一个组合键"));
    EXPECT_EQ(ids(), before);
    EXPECT_EQ(service->live.size(), liveBefore);
    EXPECT_FALSE(service->press(ctrlAltK).has_value());
    EXPECT_EQ(pressAndServe(AppShortcut::capture()), std::vector{Action::capture});
    EXPECT_EQ(pressAndServe(AppShortcut::pin()), std::vector{Action::pin});

    // The ids handed out in the failed call are spent.
    EXPECT_EQ(manager->nextID(), 6u);
    service->taken.clear();
    ASSERT_EQ(manager->apply(ctrlAltK, ctrlAltP), std::nullopt);
    EXPECT_EQ(ids().at(ctrlAltK), 6u);
    EXPECT_EQ(ids().at(ctrlAltP), 7u);
}

TEST_F(HotkeyManagerTest, ReapplyKeepsWhatStaysAndDropsWhatGoes)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    const auto first = ids();
    const int attempts = service->attempts;
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(ids(), first);
    EXPECT_EQ(service->attempts, attempts);

    // A new pin key: only it is registered, only the old pin key goes.
    ASSERT_EQ(manager->apply(AppShortcut::capture(), ctrlAltP), std::nullopt);
    EXPECT_EQ(service->attempts, attempts + 1);
    EXPECT_EQ(ids().at(AppShortcut::capture()), first.at(AppShortcut::capture()));
    EXPECT_EQ(ids().at(AppShortcut::fallback()), first.at(AppShortcut::fallback()));
    EXPECT_EQ(ids().count(AppShortcut::pin()), 0u);
    EXPECT_EQ(service->live.size(), 3u);
    EXPECT_EQ(pressAndServe(ctrlAltP), std::vector{Action::pin});

    // Swapping roles keeps the registrations but swaps the actions.
    ASSERT_EQ(manager->apply(ctrlAltP, AppShortcut::capture()), std::nullopt);
    EXPECT_EQ(pressAndServe(ctrlAltP), std::vector{Action::capture});
    EXPECT_EQ(pressAndServe(AppShortcut::capture()), std::vector{Action::pin});
}

TEST_F(HotkeyManagerTest, PauseAndShutdown)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    manager->apply(AppShortcut::capture(), AppShortcut::fallback()); // leaves a message
    manager->pause();
    EXPECT_EQ(manager->activeCount(), 0);
    EXPECT_TRUE(manager->actions().empty());
    EXPECT_TRUE(service->live.empty());
    EXPECT_TRUE(manager->hasHandler());
    EXPECT_TRUE(manager->lastError().has_value());
    EXPECT_EQ(pressAndServe(AppShortcut::capture()), std::vector<Action>{});

    // Everything again, with fresh ids.
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    for (const auto& [_, id] : ids())
        EXPECT_GE(id, 4u);

    manager->shutdown();
    EXPECT_EQ(manager->activeCount(), 0);
    EXPECT_FALSE(manager->hasHandler());
    EXPECT_FALSE(service->handler);
    EXPECT_TRUE(service->live.empty());
}

TEST_F(HotkeyManagerTest, PressesAreServedLaterAgainstTheThenCurrentBindings)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);

    // Not inside the press: afterwards, from the event loop.
    fired.clear();
    EXPECT_EQ(service->press(AppShortcut::pin()), true);
    EXPECT_TRUE(fired.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, std::vector{Action::pin});

    // A press whose hot key is unregistered before it is served is ignored.
    fired.clear();
    service->press(AppShortcut::capture());
    manager->pause();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired.empty());

    // Foreign signatures are not ours to handle; unknown ids of ours are
    // handled and ignored.
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_FALSE(service->handler({0x41424344, 1}));
    EXPECT_TRUE(service->handler({HotkeyManager::signature, 999}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired.empty());

    // A pending press dies with its manager.
    service->press(AppShortcut::capture());
    manager.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired.empty());
}
