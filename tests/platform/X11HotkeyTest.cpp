// Global hot keys against a real X server: presses come from the XTest
// extension through a second client, which also plays "another program"
// holding a grab.

#include "platform/X11HotkeyService.h"
#include "settings/HotkeyManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

using namespace kelpie;
using Action = HotkeyManager::Action;

namespace {

// X11 key codes of the default evdev keymap.
constexpr xcb_keycode_t keyF1 = 67;
constexpr xcb_keycode_t keyF3 = 69;
constexpr xcb_keycode_t keyS = 39;
constexpr xcb_keycode_t keyP = 33;
constexpr xcb_keycode_t keyK = 45;
constexpr xcb_keycode_t keyControl = 37;
constexpr xcb_keycode_t keyAlt = 64;
constexpr xcb_keycode_t keySuper = 133;
constexpr xcb_keycode_t keyNumLock = 77;
constexpr xcb_keycode_t keyCapsLock = 66;

const AppShortcut ctrlAltP{35, AppShortcut::control | AppShortcut::option, QStringLiteral("P")};
const AppShortcut commandK{40, AppShortcut::command, QStringLiteral("K")};
const QString taken = QStringLiteral("快捷键可能已被占用，请换一个组合键");

template<typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

class X11HotkeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run me under tests/support/with-xvfb";
        other = xcb_connect(nullptr, nullptr);
        ASSERT_EQ(xcb_connection_has_error(other), 0);
        root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        auto owned = std::make_unique<X11HotkeyService>();
        service = owned.get();
        manager = std::make_unique<HotkeyManager>(std::move(owned));
        manager->onAction = [this](Action action) { fired.push_back(action); };
    }

    void TearDown() override
    {
        manager.reset();
        setLocks(false, false);
        xcb_disconnect(other);
    }

    std::uint16_t modifierState()
    {
        XcbReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(other, xcb_query_pointer(other, root), nullptr), &std::free);
        return reply ? reply->mask : 0;
    }

    void setLocks(bool numLock, bool capsLock)
    {
        const std::uint16_t state = modifierState();
        if (bool(state & XCB_MOD_MASK_2) != numLock)
            tap({}, keyNumLock);
        if (bool(state & XCB_MOD_MASK_LOCK) != capsLock)
            tap({}, keyCapsLock);
    }

    // delayMs holds the event back in the server, so that it cannot carry
    // the time stamp of the event before it (which would make it a repeat).
    void fake(std::uint8_t type, xcb_keycode_t key, std::uint32_t delayMs = XCB_CURRENT_TIME)
    {
        xcb_test_fake_input(other, type, key, delayMs, XCB_NONE, 0, 0, 0);
    }

    void sync()
    {
        std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    }

    // Holds the modifier keys, presses and releases the key, lets go of the
    // modifiers, and waits until the server has done all of it.
    void tap(std::initializer_list<xcb_keycode_t> modifiers, xcb_keycode_t key)
    {
        for (const xcb_keycode_t modifier : modifiers)
            fake(XCB_KEY_PRESS, modifier);
        fake(XCB_KEY_PRESS, key, 2);
        fake(XCB_KEY_RELEASE, key);
        for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
            fake(XCB_KEY_RELEASE, *it);
        sync();
    }

    // Serves the event loop until the condition holds; false if it never does.
    static bool waitFor(const std::function<bool()>& condition)
    {
        QDeadlineTimer deadline(10000);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(1);
        }
        return true;
    }

    // A press that reaches the manager: exactly one action, the expected one.
    void expectAction(std::initializer_list<xcb_keycode_t> modifiers, xcb_keycode_t key,
                      Action expected)
    {
        fired.clear();
        tap(modifiers, key);
        ASSERT_TRUE(waitFor([this] { return !fired.empty(); })) << "key " << int(key);
        EXPECT_EQ(fired.front(), expected) << "key " << int(key);
        // A second press must come as a second action, not as a leftover of the first.
        tap(modifiers, key);
        ASSERT_TRUE(waitFor([this] { return fired.size() >= 2; })) << "key " << int(key);
        QCoreApplication::processEvents();
        EXPECT_EQ(fired, (std::vector{expected, expected})) << "key " << int(key);
    }

    // Whether the other client may grab the combination (nobody else holds it).
    bool otherCanGrab(xcb_keycode_t key, std::uint16_t modifiers)
    {
        xcb_generic_error_t* error
            = xcb_request_check(other,
                                xcb_grab_key_checked(other, 1, root, modifiers, key,
                                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error) {
            std::free(error);
            return false;
        }
        xcb_ungrab_key(other, key, root, modifiers);
        sync();
        return true;
    }

    // Whether the other client receives a press of the key: it holds a grab.
    bool otherReceivesPress(xcb_keycode_t key)
    {
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(other)) {
                const bool match = (event->response_type & 0x7f) == XCB_KEY_PRESS
                    && reinterpret_cast<xcb_key_press_event_t*>(event)->detail == key;
                std::free(event);
                if (match)
                    return true;
            }
            QThread::msleep(1);
        }
        return false;
    }

    // Every lock mix of the combination is free for the other client.
    bool nothingGrabbed(xcb_keycode_t key, std::uint16_t modifiers)
    {
        const std::uint16_t lockMixes[]
            = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
        for (const std::uint16_t locks : lockMixes) {
            if (!otherCanGrab(key, modifiers | locks))
                return false;
        }
        return true;
    }

    std::map<AppShortcut, std::uint32_t> ids() const
    {
        std::map<AppShortcut, std::uint32_t> result;
        for (const auto& [shortcut, binding] : manager->bindings())
            result[shortcut] = binding.id;
        return result;
    }

    xcb_connection_t* other = nullptr;
    xcb_window_t root = 0;
    X11HotkeyService* service = nullptr;
    std::unique_ptr<HotkeyManager> manager;
    std::vector<Action> fired;
};

constexpr std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

} // namespace

TEST_F(X11HotkeyTest, EveryCombinationFiresWhateverTheLocks)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(manager->activeCount(), 3);

    for (const auto& [numLock, capsLock] :
         {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(testing::Message() << "Num Lock " << numLock << ", Caps Lock " << capsLock);
        setLocks(numLock, capsLock);
        ASSERT_EQ(bool(modifierState() & XCB_MOD_MASK_2), numLock);
        ASSERT_EQ(bool(modifierState() & XCB_MOD_MASK_LOCK), capsLock);
        expectAction({}, keyF1, Action::capture);
        expectAction({}, keyF3, Action::pin);
        expectAction({keyControl, keyAlt}, keyS, Action::capture);
    }
}

TEST_F(X11HotkeyTest, SuperIsCommandAndModifiersMustMatch)
{
    ASSERT_EQ(manager->apply(commandK, ctrlAltP), std::nullopt);
    expectAction({keySuper}, keyK, Action::capture);
    expectAction({keyControl, keyAlt}, keyP, Action::pin);
    setLocks(true, false);
    expectAction({keySuper}, keyK, Action::capture);

    // Ctrl+P is not Ctrl+Alt+P: the press goes where it would without us.
    xcb_grab_key(other, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_2, keyP, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    fired.clear();
    tap({keyControl}, keyP);
    EXPECT_TRUE(otherReceivesPress(keyP));
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired.empty());
}

TEST_F(X11HotkeyTest, OneKeyWithDifferentModifiersIsTwoShortcuts)
{
    const AppShortcut ctrlF3{99, AppShortcut::control, QStringLiteral("F3")};
    ASSERT_EQ(manager->apply(ctrlF3, AppShortcut::pin()), std::nullopt);
    expectAction({keyControl}, keyF3, Action::capture);
    expectAction({}, keyF3, Action::pin);
    setLocks(true, true);
    expectAction({}, keyF3, Action::pin);
    expectAction({keyControl}, keyF3, Action::capture);
}

// The server repeats a held key about every 40 ms after a delay; a held
// capture key must still be one capture.
TEST_F(X11HotkeyTest, HoldingAKeyIsOnePress)
{
    XcbReply<xcb_get_keyboard_control_reply_t> control(
        xcb_get_keyboard_control_reply(other, xcb_get_keyboard_control(other), nullptr),
        &std::free);
    ASSERT_TRUE(control && control->global_auto_repeat) << "the server does not repeat keys";
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);

    for (const bool numLock : {false, true}) {
        setLocks(numLock, false);
        fired.clear();
        fake(XCB_KEY_PRESS, keyF1, 2);
        sync();
        // Long enough for the server to start repeating, which it does
        // after 660 ms by default.
        QDeadlineTimer held(1500);
        while (!held.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        fake(XCB_KEY_RELEASE, keyF1);
        sync();
        // Everything the held key produced comes before this press.
        tap({}, keyF3);
        ASSERT_TRUE(waitFor(
            [this] { return std::find(fired.begin(), fired.end(), Action::pin) != fired.end(); }));
        EXPECT_EQ(fired, (std::vector{Action::capture, Action::pin})) << "Num Lock " << numLock;
    }
    // The key is free again: a new press is a new action.
    expectAction({}, keyF1, Action::capture);
}

TEST_F(X11HotkeyTest, CombinationHeldByAnotherClientIsReportedAndNothingChanges)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    const auto before = ids();

    // The other program holds Ctrl+Alt+P only in its Num Lock form: that is
    // enough to make the combination unusable for us.
    ASSERT_TRUE(otherCanGrab(keyP, ctrlAlt | XCB_MOD_MASK_2));
    xcb_grab_key(other, 1, root, ctrlAlt | XCB_MOD_MASK_2, keyP, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    sync();

    EXPECT_EQ(manager->apply(AppShortcut::capture(), ctrlAltP), taken);
    EXPECT_EQ(manager->lastError(), taken);
    EXPECT_EQ(ids(), before);
    // The grabs made for it in that call were given back.
    EXPECT_TRUE(otherCanGrab(keyP, ctrlAlt));
    // The previous keys still work.
    expectAction({}, keyF1, Action::capture);
    expectAction({}, keyF3, Action::pin);

    // A new capture key registered before the taken pin key is undone too.
    EXPECT_EQ(manager->apply(commandK, ctrlAltP), taken);
    EXPECT_TRUE(otherCanGrab(keyK, XCB_MOD_MASK_4));
    EXPECT_EQ(ids(), before);

    // Our grab goes over another connection: wait until the server has
    // let the other program's grab go, or ours may come first.
    xcb_ungrab_key(other, keyP, root, ctrlAlt | XCB_MOD_MASK_2);
    sync();
    ASSERT_EQ(manager->apply(AppShortcut::capture(), ctrlAltP), std::nullopt);
    expectAction({keyControl, keyAlt}, keyP, Action::pin);
}

TEST_F(X11HotkeyTest, ReapplyKeepsIdsAndTheFallbackAsCaptureIsOneGrab)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    const auto first = ids();
    const int grabs = service->grabCount();
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(ids(), first);
    EXPECT_EQ(service->grabCount(), grabs);

    ASSERT_EQ(manager->apply(AppShortcut::fallback(), AppShortcut::pin()), std::nullopt);
    EXPECT_EQ(manager->activeCount(), 2);
    EXPECT_EQ(service->grabCount(), grabs * 2 / 3);
    // F1 is no longer ours.
    EXPECT_TRUE(nothingGrabbed(keyF1, 0));
    expectAction({keyControl, keyAlt}, keyS, Action::capture);
    expectAction({}, keyF3, Action::pin);
}

TEST_F(X11HotkeyTest, PauseAndShutdownLetEveryGrabGo)
{
    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    EXPECT_FALSE(otherCanGrab(keyF1, 0));

    manager->pause();
    EXPECT_EQ(manager->activeCount(), 0);
    EXPECT_EQ(service->grabCount(), 0);
    EXPECT_TRUE(nothingGrabbed(keyF1, 0));
    EXPECT_TRUE(nothingGrabbed(keyS, ctrlAlt));
    // A press now goes to whoever else wants it; nothing reaches the manager.
    xcb_grab_key(other, 1, root, 0, keyF3, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    tap({}, keyF3);
    EXPECT_TRUE(otherReceivesPress(keyF3));
    xcb_ungrab_key(other, keyF3, root, 0);
    sync();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired.empty());

    ASSERT_EQ(manager->apply(AppShortcut::capture(), AppShortcut::pin()), std::nullopt);
    for (const auto& [_, id] : ids())
        EXPECT_GT(id, 3u);
    expectAction({}, keyF1, Action::capture);

    manager->shutdown();
    EXPECT_FALSE(manager->hasHandler());
    EXPECT_TRUE(nothingGrabbed(keyF1, 0));
    EXPECT_TRUE(nothingGrabbed(keyF3, 0));
    EXPECT_TRUE(nothingGrabbed(keyS, ctrlAlt));
}
