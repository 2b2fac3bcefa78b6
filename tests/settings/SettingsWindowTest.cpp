#include "settings/SettingsWindow.h"

#include "SettingsHarness.h"
#include "settings/ShortcutRecorder.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QTest>

using namespace kelpie;
using namespace kelpie::test;

namespace {

// The window over the harness, shown and active, with an application-wide
// Ctrl+Q action standing in for the tray menu's quit item.
class SettingsWindowTest : public SettingsHarness {
protected:
    void SetUp() override
    {
        SettingsHarness::SetUp();
        window = std::make_unique<SettingsWindow>(
            preferences,
            [this](const AppShortcut& c, const AppShortcut& p) { return applyShortcuts(c, p); },
            [this](bool recording) { return recordingChanged(recording); }, login);
        window->onClose = [this] { ++closes; };
        quit = new QAction(window.get());
        quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        quit->setShortcutContext(Qt::ApplicationShortcut);
        QObject::connect(quit, &QAction::triggered, [this] { ++quits; });
        window->addAction(quit);
        window->present();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // A key press delivered as the toolkit does: the application's
    // shortcuts get it first unless the focused widget claims it.
    void press(std::uint32_t physicalKey, int qtKey, Qt::KeyboardModifiers modifiers,
               const QString& text = {})
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        if (qt_sendShortcutOverrideEvent(target, 0, qtKey, modifiers, text))
            return;
        const auto event = key(physicalKey, qtKey, modifiers, text);
        QApplication::sendEvent(target, event.get());
    }

    void startRecording()
    {
        QTest::mouseClick(window->captureRecorder(), Qt::LeftButton);
        ASSERT_TRUE(window->model().captureRecorder().recording());
        ASSERT_EQ(QApplication::focusWidget(), window->captureRecorder());
    }

    std::unique_ptr<SettingsWindow> window;
    QAction* quit = nullptr;
    int quits = 0;
    int closes = 0;
};

TEST_F(SettingsWindowTest, RecordingTakesTheApplicationsOwnKeys)
{
    startRecording();
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("按快捷键（Esc 取消）"));
    press(keys::q, Qt::Key_Q, Qt::ControlModifier, QStringLiteral("q"));
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(preferences->captureShortcut(),
              (AppShortcut{keys::q, AppShortcut::control, QStringLiteral("Q")}));
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("⌃Q"));

    // Not recording, the same keys are the application's again.
    press(keys::q, Qt::Key_Q, Qt::ControlModifier, QStringLiteral("q"));
    EXPECT_EQ(quits, 1);
}

TEST_F(SettingsWindowTest, TabIsAPressNotAFocusMove)
{
    startRecording();
    press(keys::tab, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_TRUE(window->model().captureRecorder().recording());
    EXPECT_EQ(QApplication::focusWidget(), window->captureRecorder());
    EXPECT_TRUE(window->errorLabel()->isVisible());
    EXPECT_EQ(window->errorLabel()->text(),
              QStringLiteral("请使用组合键或功能键，避开系统截图和常用系统快捷键"));

    press(keys::escape, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(window->model().captureRecorder().recording());
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("F1"));
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));
}

TEST_F(SettingsWindowTest, ClosingWhileRecordingEndsItFirst)
{
    startRecording();
    EXPECT_EQ(hotkeys->activeCount(), 0);
    int activeWhenClosed = -1;
    window->onClose = [&] {
        ++closes;
        activeWhenClosed = hotkeys->activeCount();
    };
    window->close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(activeWhenClosed, 3);
    EXPECT_FALSE(window->model().captureRecorder().recording());
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));

    // Re-presented later, it is the same window with the stored values.
    window->present();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->captureRecorder()->text(), QStringLiteral("F1"));
}

TEST_F(SettingsWindowTest, DestroyingTheWindowWhileRecordingResumesTheKeys)
{
    startRecording();
    window.reset();
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));
    EXPECT_EQ(hotkeys->activeCount(), 3);
}

TEST_F(SettingsWindowTest, LabelsShowTheModel)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kelpie · 设置"));
    EXPECT_EQ(window->size(), QSize(720, 240));
    EXPECT_EQ(window->captureRecorder()->width(), 160);
    EXPECT_FALSE(window->errorLabel()->isVisible());
    EXPECT_TRUE(window->functionHint()->isVisible());
    EXPECT_TRUE(window->fallbackHint()->isVisible());
    EXPECT_EQ(window->directoryLabel()->text(), QStringLiteral("桌面"));
    EXPECT_FALSE(window->pinRecorder()->isVisible());
    EXPECT_FALSE(window->loginCheckBox()->isVisible());

    startRecording();
    press(keys::s, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier, QStringLiteral("s"));
    EXPECT_FALSE(window->fallbackHint()->isVisible());
    EXPECT_FALSE(window->functionHint()->isVisible());

    // A long folder is cut in the middle; the tool tip has it whole.
    const QString deep = home() + QStringLiteral("/") + QString(60, u'd') + QStringLiteral("/end");
    ASSERT_TRUE(QDir().mkpath(deep));
    window->model().chooseDirectory(deep);
    EXPECT_EQ(window->directoryLabel()->toolTip(), deep);
    EXPECT_TRUE(window->directoryLabel()->text().contains(QStringLiteral("…")));
    EXPECT_TRUE(window->directoryLabel()->text().endsWith(QStringLiteral("end")));
}

TEST_F(SettingsWindowTest, TheLoginCheckboxChangesLoginStart)
{
    window->loginCheckBox()->click();
    EXPECT_EQ(login->calls, 1);
    EXPECT_EQ(login->current, LoginItemStatus::enabled);
    EXPECT_TRUE(window->loginCheckBox()->isChecked());
    EXPECT_TRUE(window->loginCheckBox()->isEnabled());
    window->loginCheckBox()->click();
    EXPECT_EQ(login->current, LoginItemStatus::notRegistered);
    EXPECT_FALSE(window->loginCheckBox()->isChecked());
}

} // namespace
