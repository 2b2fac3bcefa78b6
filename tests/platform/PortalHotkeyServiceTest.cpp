#include "platform/PortalHotkeyService.h"

#include "settings/HotkeyManager.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/FakePortal.h"

#include <QJsonObject>

#include <gtest/gtest.h>

#include <vector>

namespace kelpie {
namespace {

using namespace std::chrono_literals;
using HotkeyID = HotkeyService::HotkeyID;

constexpr std::uint32_t keyF1 = 122;
constexpr std::uint32_t keyF3 = 99;
constexpr std::uint32_t keyK = 40;
constexpr std::uint32_t keyS = 1;

class PortalHotkeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(portal.startError().isEmpty()) << portal.startError().toStdString();
        service = std::make_unique<PortalHotkeyService>(portal.connection());
        service->setTimeout(3s);
        service->setFailureHandler([this](const QString& message) { failures << message; });
        ASSERT_TRUE(service->installHandler([this](HotkeyID identity) {
            presses.push_back(identity);
            return true;
        }));
    }

    // Registers as the hot-key manager does on its first apply: capture F1,
    // pin F3, then the fixed Control+Option+S, in one turn.
    void registerDefaults()
    {
        ASSERT_TRUE(service->registerHotkey(keyF1, 0, {HotkeyManager::signature, 1}));
        ASSERT_TRUE(service->registerHotkey(keyF3, 0, {HotkeyManager::signature, 2}));
        ASSERT_TRUE(service->registerHotkey(keyS, HotkeyService::control | HotkeyService::option,
                                            {HotkeyManager::signature, 3}));
    }

    bool waitForBinds(qsizetype count)
    {
        return test::waitFor([&] {
            return portal.calls(QStringLiteral("BindShortcuts")).size() >= count
                && service->sessionHandle().size() > 0;
        });
    }

    // id → preferred trigger of one BindShortcuts call.
    static std::map<QString, QString> boundTriggers(const QJsonValue& call)
    {
        std::map<QString, QString> triggers;
        const QJsonArray shortcuts
            = call.toObject().value(QStringLiteral("args")).toArray().at(1).toArray();
        for (const QJsonValue& shortcut : shortcuts) {
            const QJsonArray pair = shortcut.toArray();
            triggers[pair.at(0).toString()]
                = pair.at(1).toObject().value(QStringLiteral("preferred_trigger")).toString();
        }
        return triggers;
    }

    test::FakePortal portal;
    std::unique_ptr<PortalHotkeyService> service;
    std::vector<HotkeyID> presses;
    QStringList failures;
};

TEST(PortalHotkeyTrigger, spellsCombinationsTheWayDesktopsTakeThem)
{
    EXPECT_EQ(PortalHotkeyService::preferredTrigger(keyF1, 0), QStringLiteral("F1"));
    EXPECT_EQ(
        PortalHotkeyService::preferredTrigger(keyK, HotkeyService::control | HotkeyService::shift),
        QStringLiteral("CTRL+SHIFT+K"));
    EXPECT_EQ(
        PortalHotkeyService::preferredTrigger(keyS, HotkeyService::option | HotkeyService::control),
        QStringLiteral("CTRL+ALT+S"));
    EXPECT_EQ(PortalHotkeyService::preferredTrigger(49, HotkeyService::command),
              QStringLiteral("LOGO+space"));
    // A modifier key has no trigger of its own.
    EXPECT_TRUE(PortalHotkeyService::preferredTrigger(56, HotkeyService::control).isEmpty());
}

TEST_F(PortalHotkeys, bindsTheTurnsRegistrationsAsOneSetInOneSession)
{
    registerDefaults();
    ASSERT_TRUE(waitForBinds(1));

    const QJsonArray sessions = portal.calls(QStringLiteral("CreateSession"));
    ASSERT_EQ(sessions.size(), 1);
    const QJsonObject sessionOptions
        = sessions[0].toObject()[QStringLiteral("args")].toArray().at(0).toObject();
    EXPECT_EQ(sessionOptions[QStringLiteral("session_handle_token")],
              QJsonValue(QStringLiteral("kelpie_hotkeys")));
    EXPECT_FALSE(sessionOptions[QStringLiteral("handle_token")].toString().isEmpty());

    const QJsonArray binds = portal.calls(QStringLiteral("BindShortcuts"));
    ASSERT_EQ(binds.size(), 1);
    EXPECT_EQ(binds[0].toObject()[QStringLiteral("args")].toArray().at(0).toString(),
              service->sessionHandle());
    const std::map<QString, QString> expected
        = {{QStringLiteral("capture"), QStringLiteral("F1")},
           {QStringLiteral("pin"), QStringLiteral("F3")},
           {QStringLiteral("fallback-capture"), QStringLiteral("CTRL+ALT+S")}};
    EXPECT_EQ(boundTriggers(binds[0]), expected);
    EXPECT_TRUE(test::waitFor([&] { return service->boundShortcuts().size() == 3; }));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(PortalHotkeys, deliversActivationsOfItsOwnSessionOnly)
{
    registerDefaults();
    ASSERT_TRUE(waitForBinds(1));
    ASSERT_TRUE(test::waitFor([&] { return !service->boundShortcuts().empty(); }));

    // Another session of the same application, then ours.
    portal.activate(service->sessionHandle() + QStringLiteral("_other"), QStringLiteral("pin"));
    portal.activate(service->sessionHandle(), QStringLiteral("pin"));
    portal.activate(service->sessionHandle(), QStringLiteral("fallback-capture"));
    ASSERT_TRUE(test::waitFor([&] { return presses.size() >= 2; }));
    test::waitFor([] { return false; }, 100);
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].signature, HotkeyManager::signature);
    EXPECT_EQ(presses[0].id, 2u);
    EXPECT_EQ(presses[1].id, 3u);
}

TEST_F(PortalHotkeys, aChangedKeyKeepsItsNameAndAnUnchangedSetIsNotBoundAgain)
{
    registerDefaults();
    ASSERT_TRUE(waitForBinds(1));
    ASSERT_TRUE(test::waitFor([&] { return service->boundShortcuts().size() == 3; }));

    // The pin key becomes Control+Shift+K, as the manager's apply() does it:
    // the new one registered, then the old one (reference 2) removed.
    ASSERT_TRUE(service->registerHotkey(keyK, HotkeyService::control | HotkeyService::shift,
                                        {HotkeyManager::signature, 4}));
    service->unregisterHotkey(2);
    ASSERT_TRUE(waitForBinds(2));
    const QJsonArray binds = portal.calls(QStringLiteral("BindShortcuts"));
    EXPECT_EQ(boundTriggers(binds[1]).at(QStringLiteral("pin")), QStringLiteral("CTRL+SHIFT+K"));
    EXPECT_EQ(boundTriggers(binds[1]).at(QStringLiteral("capture")), QStringLiteral("F1"));

    portal.activate(service->sessionHandle(), QStringLiteral("pin"));
    ASSERT_TRUE(test::waitFor([&] { return !presses.empty(); }));
    EXPECT_EQ(presses[0].id, 4u);

    // Paused and re-applied with the same keys: nothing new to bind.
    ASSERT_TRUE(test::waitFor([&] { return service->boundShortcuts().size() == 3; }));
    service->unregisterHotkey(1);
    service->unregisterHotkey(3);
    service->unregisterHotkey(4);
    test::waitFor([] { return false; }, 100);
    ASSERT_TRUE(service->registerHotkey(keyF1, 0, {HotkeyManager::signature, 5}));
    ASSERT_TRUE(service->registerHotkey(keyK, HotkeyService::control | HotkeyService::shift,
                                        {HotkeyManager::signature, 6}));
    ASSERT_TRUE(service->registerHotkey(keyS, HotkeyService::control | HotkeyService::option,
                                        {HotkeyManager::signature, 7}));
    test::waitFor([] { return false; }, 300);
    EXPECT_EQ(portal.calls(QStringLiteral("BindShortcuts")).size(), 2);
}

TEST_F(PortalHotkeys, reportsARefusalThroughTheFailureHandler)
{
    portal.answer(QStringLiteral("CreateSession"), 0);
    portal.answer(QStringLiteral("BindShortcuts"), 1);
    registerDefaults();
    ASSERT_TRUE(test::waitFor([&] { return !failures.isEmpty(); }));
    EXPECT_TRUE(failures[0].contains(QStringLiteral("kelpie --capture-now")));
    EXPECT_EQ(service->lastFailure(), failures[0]);
    EXPECT_TRUE(service->boundShortcuts().empty());

    // A failed session is reported too.
    PortalHotkeyService other(portal.connection());
    QStringList otherFailures;
    other.setFailureHandler([&](const QString& message) { otherFailures << message; });
    portal.answer(QStringLiteral("CreateSession"), 2);
    ASSERT_TRUE(other.registerHotkey(keyF1, 0, {HotkeyManager::signature, 1}));
    ASSERT_TRUE(test::waitFor([&] { return !otherFailures.isEmpty(); }));
    EXPECT_TRUE(other.sessionHandle().isEmpty());
}

TEST_F(PortalHotkeys, isAvailableOnlyWhereThePortalHasGlobalShortcuts)
{
    EXPECT_TRUE(PortalHotkeyService::available(portal.connection()));
    portal.setShortcutsVersion(0);
    EXPECT_FALSE(PortalHotkeyService::available(portal.connection()));

    // The application was named to the portal before it was asked anything.
    const QJsonArray calls = portal.calls();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].toObject()[QStringLiteral("method")],
              QJsonValue(QStringLiteral("Register")));
    EXPECT_EQ(calls[1].toObject()[QStringLiteral("method")], QJsonValue(QStringLiteral("Get")));
}

} // namespace
} // namespace kelpie
