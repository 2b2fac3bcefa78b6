// The settings window on a real X server with the real global hot keys:
// keys come from XTest, so the recorder sees what a keyboard sends, and a
// recorded combination is then grabbed for real.

#include "SettingsHarness.h"
#include "platform/X11HotkeyService.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutRecorder.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QLabel>
#include <QWindow>

using namespace kelpie;
using namespace kelpie::test;
using Action = HotkeyManager::Action;

namespace {

class SettingsWindowX11Test : public SettingsHarness {
protected:
    std::unique_ptr<HotkeyService> makeService() override
    {
        return std::make_unique<X11HotkeyService>();
    }

    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run me under tests/support/with-xvfb";
        SettingsHarness::SetUp();
        window = std::make_unique<SettingsWindow>(
            preferences,
            [this](const AppShortcut& c, const AppShortcut& p) { return applyShortcuts(c, p); },
            [this](bool recording) { return recordingChanged(recording); }, login);
        window->present();
        // The window manager may keep the focus where it was until the
        // user clicks; every test clicks the recorder before typing.
        ASSERT_TRUE(waitFor([this] { return window->windowHandle()->isExposed(); }));
    }
    void TearDown() override
    {
        window.reset();
        hotkeys.reset();
        SettingsHarness::TearDown();
    }

    // Presses keys with XTest and waits until `condition` holds.
    bool press(const char* keys, const std::function<bool()>& condition)
    {
        return xdotool({QStringLiteral("key"), QString::fromLatin1(keys)}) && waitFor(condition);
    }
    void clickRecorder()
    {
        const QPoint centre
            = window->captureRecorder()->mapToGlobal(window->captureRecorder()->rect().center());
        ASSERT_TRUE(
            xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                     QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")}));
        ASSERT_TRUE(waitFor([this] {
            return window->model().captureRecorder().recording() && window->isActiveWindow()
                && QApplication::focusWidget() == window->captureRecorder();
        }));
    }

    std::unique_ptr<SettingsWindow> window;
};

TEST_F(SettingsWindowX11Test, RecordsACombinationThatThenCaptures)
{
    // F1 works from the start, even with the settings window focused.
    EXPECT_TRUE(press("F1", [this] { return fired == std::vector{Action::capture}; }));

    clickRecorder();
    EXPECT_EQ(hotkeys->activeCount(), 0);
    ASSERT_TRUE(
        press("ctrl+shift+k", [this] { return !window->model().captureRecorder().recording(); }));
    const AppShortcut ctrlShiftK{40, AppShortcut::control | AppShortcut::shift,
                                 QStringLiteral("K")};
    EXPECT_EQ(preferences->captureShortcut(), ctrlShiftK);
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("⌃⇧K"));
    EXPECT_EQ(hotkeys->activeCount(), 3);

    fired.clear();
    EXPECT_TRUE(press("ctrl+shift+k", [this] { return fired == std::vector{Action::capture}; }));
    fired.clear();
    EXPECT_TRUE(press("ctrl+alt+s", [this] { return fired == std::vector{Action::capture}; }));
}

TEST_F(SettingsWindowX11Test, APausedKeyReachesTheRecorderAndARefusalRestoresTheKeys)
{
    clickRecorder();
    // F3 is the pin key, not grabbed while recording: the recorder gets it,
    // and the pair it would make is refused.
    ASSERT_TRUE(press("F3", [this] { return !window->model().captureRecorder().recording(); }));
    EXPECT_EQ(window->errorLabel()->text(),
              QStringLiteral("截图与钉图快捷键不能相同，也不能占用备选截图键"));
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("F1"));
    EXPECT_TRUE(press("F3", [this] { return fired == std::vector{Action::pin}; }));

    // Escape ends recording with nothing changed.
    clickRecorder();
    ASSERT_TRUE(press("Escape", [this] { return !window->model().captureRecorder().recording(); }));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_EQ(hotkeys->activeCount(), 3);
}

} // namespace
