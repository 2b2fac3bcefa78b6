#include "settings/SettingsModel.h"

#include "SettingsHarness.h"

#include <QDir>
#include <QLockFile>

using namespace kelpie;
using namespace kelpie::test;
using Action = HotkeyManager::Action;

namespace {

const QString takenMessage = QStringLiteral("快捷键可能已被占用，请换一个组合键");

class SettingsModelTest : public SettingsHarness {
protected:
    void SetUp() override
    {
        SettingsHarness::SetUp();
        makeModel();
    }

    void makeModel()
    {
        model = std::make_unique<SettingsModel>(
            preferences,
            [this](const AppShortcut& c, const AppShortcut& p) { return applyShortcuts(c, p); },
            [this](bool recording) { return recordingChanged(recording); }, login);
    }

    // Starts recording the capture shortcut and presses a key.
    void record(std::uint32_t physicalKey, int qtKey, Qt::KeyboardModifiers modifiers,
                const QString& text = {})
    {
        ShortcutRecording& recorder = model->captureRecorder();
        recorder.start();
        ASSERT_TRUE(recorder.keyDown(*key(physicalKey, qtKey, modifiers, text)));
    }

    std::unique_ptr<SettingsModel> model;
};

TEST_F(SettingsModelTest, EscapeStopsRecordingAndRegistersTheKeysAgain)
{
    ShortcutRecording& recorder = model->captureRecorder();
    EXPECT_EQ(recorder.title(), QStringLiteral("F1"));
    recorder.start();
    EXPECT_EQ(recorder.title(), QStringLiteral("按快捷键（Esc 取消）"));
    EXPECT_EQ(hotkeys->activeCount(), 0);
    EXPECT_TRUE(pressGlobally(AppShortcut::capture()).empty());
    recorder.start(); // a second press of the button changes nothing
    EXPECT_EQ(pauses, 1);

    EXPECT_TRUE(recorder.keyDown(*key(keys::escape, Qt::Key_Escape)));
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(recorder.title(), QStringLiteral("F1"));
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));
    EXPECT_EQ(pressGlobally(AppShortcut::capture()), std::vector{Action::capture});
    EXPECT_EQ(model->error(), QString());

    // Not recording, a press is the button's own business.
    EXPECT_FALSE(recorder.keyDown(*key(keys::escape, Qt::Key_Escape)));
    recorder.stop();
    EXPECT_EQ(resumes, 1);
}

TEST_F(SettingsModelTest, WhereTheDesktopDecidesShortcutsTheButtonOpensItsSettingsInstead)
{
    ShortcutRecording& recorder = model->captureRecorder();
    int opened = 0;
    recorder.openElsewhere = [&opened] { ++opened; };
    recorder.start();
    EXPECT_EQ(opened, 1);
    // The keys stay registered and no press is taken for a recording.
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(pauses, 0);
    EXPECT_EQ(recorder.title(), QStringLiteral("F1"));
    EXPECT_FALSE(recorder.keyDown(*key(keys::escape, Qt::Key_Escape)));
}

TEST_F(SettingsModelTest, ClosingOrLosingFocusEndsRecording)
{
    model->captureRecorder().start();
    model->windowClosing();
    EXPECT_FALSE(model->captureRecorder().recording());
    EXPECT_EQ(hotkeys->activeCount(), 3);

    model->pinRecorder().start();
    model->pinRecorder().focusLost();
    EXPECT_FALSE(model->pinRecorder().recording());
    EXPECT_EQ(model->pinRecorder().title(), QStringLiteral("F3"));
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(2, 2));
    EXPECT_EQ(pressGlobally(AppShortcut::pin()), std::vector{Action::pin});
}

TEST_F(SettingsModelTest, APlainKeyIsRefusedAndRecordingGoesOn)
{
    record(keys::a, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_EQ(model->error(), QStringLiteral("请使用组合键或功能键，避开系统截图和常用系统快捷键"));
    EXPECT_TRUE(model->captureRecorder().recording());

    // The modifiers of the next combination come first and are no press of
    // their own; the combination they start is then taken.
    EXPECT_TRUE(model->captureRecorder().keyDown(*key(59, Qt::Key_Control, Qt::ControlModifier)));
    EXPECT_TRUE(model->captureRecorder().recording());
    EXPECT_TRUE(model->captureRecorder().keyDown(
        *key(keys::k, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier)));
    EXPECT_FALSE(model->captureRecorder().recording());
    EXPECT_EQ(preferences->captureShortcut(), ctrlShiftK);
    EXPECT_EQ(model->error(), QString());
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));
}

TEST_F(SettingsModelTest, AnAcceptedCombinationIsStoredShownAndWorks)
{
    record(keys::k, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(preferences->captureShortcut(), ctrlShiftK);
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());
    EXPECT_EQ(model->captureRecorder().title(), QStringLiteral("⌃⇧K"));
    EXPECT_EQ(model->captureRecorder().shortcut(), ctrlShiftK);
    EXPECT_EQ(pressGlobally(ctrlShiftK), std::vector{Action::capture});
    EXPECT_TRUE(pressGlobally(AppShortcut::capture()).empty());
    EXPECT_EQ(pressGlobally(AppShortcut::fallback()), std::vector{Action::capture});
    EXPECT_FALSE(model->functionHintVisible());
    EXPECT_TRUE(model->fallbackHintVisible());

    // The pin recorder changes the pin key and keeps the capture key.
    model->pinRecorder().start();
    model->pinRecorder().press(false, ctrlAltP);
    EXPECT_EQ(preferences->captureShortcut(), ctrlShiftK);
    EXPECT_EQ(preferences->pinShortcut(), ctrlAltP);
    EXPECT_EQ(pressGlobally(ctrlAltP), std::vector{Action::pin});
}

TEST_F(SettingsModelTest, ATakenCombinationKeepsTheOldValue)
{
    service->taken.insert({ctrlShiftK.keyCode, ctrlShiftK.modifiers});
    record(keys::k, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model->error(), takenMessage);
    EXPECT_FALSE(model->captureRecorder().recording());
    EXPECT_EQ(model->captureRecorder().title(), QStringLiteral("F1"));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_EQ(store->object(QString(AppPreferences::captureKey)), std::nullopt);
    EXPECT_EQ(std::pair(pauses, resumes), std::pair(1, 1));
    EXPECT_EQ(pressGlobally(AppShortcut::capture()), std::vector{Action::capture});
    EXPECT_EQ(pressGlobally(AppShortcut::pin()), std::vector{Action::pin});

    // A pin key equal to the capture key is refused with the manager's words.
    model->pinRecorder().start();
    model->pinRecorder().press(false, AppShortcut::capture());
    EXPECT_EQ(model->error(), QStringLiteral("截图与钉图快捷键不能相同，也不能占用备选截图键"));
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());
}

TEST_F(SettingsModelTest, ResumingThatFailsIsShown)
{
    model->captureRecorder().start();
    // While the keys are paused another program takes F1.
    service->taken.insert({AppShortcut::capture().keyCode, 0});
    model->captureRecorder().stop();
    EXPECT_EQ(model->error(), takenMessage);
    EXPECT_EQ(hotkeys->activeCount(), 0);
}

TEST_F(SettingsModelTest, HintsFollowTheCaptureShortcut)
{
    EXPECT_TRUE(model->functionHintVisible());
    EXPECT_TRUE(model->fallbackHintVisible());
    record(keys::f5, Qt::Key_F5, Qt::NoModifier);
    EXPECT_EQ(preferences->captureShortcut().keyName, QStringLiteral("F5"));
    EXPECT_TRUE(model->functionHintVisible());

    record(keys::s, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier, QStringLiteral("s"));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::fallback());
    EXPECT_FALSE(model->fallbackHintVisible());
    EXPECT_FALSE(model->functionHintVisible());
    EXPECT_EQ(hotkeys->activeCount(), 2);
}

TEST_F(SettingsModelTest, ResetRestoresF1AndLeavesThePinKey)
{
    ASSERT_EQ(model->changeShortcuts(ctrlShiftK, ctrlAltP), std::nullopt);
    model->resetShortcuts();
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_EQ(preferences->pinShortcut(), ctrlAltP);
    EXPECT_EQ(model->captureRecorder().title(), QStringLiteral("F1"));
    EXPECT_EQ(pressGlobally(AppShortcut::capture()), std::vector{Action::capture});

    // With F1 as the pin key, a reset would make both keys one: refused.
    ASSERT_EQ(model->changeShortcuts(ctrlShiftK, AppShortcut::capture()), std::nullopt);
    model->resetShortcuts();
    EXPECT_EQ(model->error(), QStringLiteral("截图与钉图快捷键不能相同，也不能占用备选截图键"));
    EXPECT_EQ(preferences->captureShortcut(), ctrlShiftK);
}

TEST_F(SettingsModelTest, AShortcutThatCannotBeSavedIsNeitherShownNorKeptRegistered)
{
    QLockFile held(store->filePath() + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_EQ(model->changeShortcuts(ctrlShiftK, AppShortcut::pin()),
              AppPreferences::saveFailureMessage());
    EXPECT_EQ(model->captureRecorder().title(), QStringLiteral("F1"));
    // What works is what is stored, so the next start behaves the same.
    EXPECT_EQ(pressGlobally(AppShortcut::capture()), std::vector{Action::capture});
    EXPECT_TRUE(pressGlobally(ctrlShiftK).empty());

    record(keys::k, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model->error(), AppPreferences::saveFailureMessage());
    EXPECT_EQ(hotkeys->activeCount(), 3);
    EXPECT_TRUE(pressGlobally(ctrlShiftK).empty());
}

TEST_F(SettingsModelTest, TheSaveFolderIsChosenShownAndReset)
{
    const QString desktop = AppPreferences::defaultSaveDirectory()->toLocalFile();
    EXPECT_EQ(model->directoryText(), QStringLiteral("桌面"));
    EXPECT_EQ(model->directoryToolTip(), desktop);
    EXPECT_EQ(model->directoryChooserStart(), desktop);

    const QString shots = home() + QStringLiteral("/shots");
    ASSERT_TRUE(QDir().mkpath(shots));
    model->chooseDirectory(shots);
    EXPECT_EQ(model->directoryText(), shots);
    EXPECT_EQ(model->directoryToolTip(), shots);
    EXPECT_EQ(model->directoryChooserStart(), shots);
    EXPECT_EQ(preferences->saveDirectory()->toLocalFile(), shots);

    // The folder goes away: shown, flagged, and the chooser starts elsewhere.
    ASSERT_TRUE(QDir(shots).removeRecursively());
    model->refresh();
    EXPECT_EQ(model->directoryText(), shots);
    EXPECT_EQ(model->error(), QStringLiteral("保存位置不可用，请重新选择"));
    EXPECT_EQ(model->directoryChooserStart(), desktop);

    model->clearDirectory();
    EXPECT_EQ(model->directoryText(), QStringLiteral("桌面"));
    EXPECT_EQ(model->error(), QString());
    EXPECT_EQ(preferences->saveDirectory(), std::nullopt);
}

TEST_F(SettingsModelTest, AFolderThatCannotBeSavedSaysSo)
{
    QLockFile held(store->filePath() + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    model->chooseDirectory(home());
    EXPECT_EQ(model->error(), AppPreferences::saveFailureMessage());
    EXPECT_EQ(model->directoryText(), QStringLiteral("桌面"));
}

TEST_F(SettingsModelTest, DamagedShortcutsAreReported)
{
    ASSERT_TRUE(store->setString(QString(AppPreferences::captureKey), QStringLiteral("F9")));
    makeModel();
    EXPECT_EQ(model->error(), QStringLiteral("快捷键设置损坏，当前使用默认值"));
    EXPECT_EQ(model->captureRecorder().title(), QStringLiteral("F1"));
    // Storing a good pair replaces the damaged entry and the report.
    ASSERT_EQ(model->changeShortcuts(ctrlShiftK, AppShortcut::pin()), std::nullopt);
    model->refresh();
    EXPECT_EQ(model->error(), QString());
}

TEST_F(SettingsModelTest, LoginStartFollowsTheDesktopsAnswer)
{
    EXPECT_FALSE(model->loginChecked());
    EXPECT_EQ(model->loginStatusText(), QString());

    model->changeLogin(true);
    EXPECT_TRUE(model->loginChecked());
    EXPECT_TRUE(model->loginEnabled());
    EXPECT_EQ(model->loginStatusText(), QStringLiteral("已开启"));
    EXPECT_FALSE(model->loginSettingsVisible());

    login->refuse = true;
    model->changeLogin(false);
    EXPECT_EQ(model->error(), QStringLiteral("未能更改开机启动，请检查系统登录项设置"));
    EXPECT_TRUE(model->loginChecked()); // still on, as the desktop says
    EXPECT_TRUE(model->loginEnabled());

    login->refuse = false;
    model->changeLogin(false);
    EXPECT_EQ(model->error(), QString());
    EXPECT_FALSE(model->loginChecked());

    const std::vector<std::tuple<LoginItemStatus, bool, QString, bool>> table{
        {LoginItemStatus::requiresApproval, true, QStringLiteral("等待系统批准"), true},
        {LoginItemStatus::notFound, false, QStringLiteral("开机启动暂不可用"), false},
        {LoginItemStatus::unknown, false, QStringLiteral("无法确认状态"), false},
    };
    for (const auto& [status, checked, text, settingsShown] : table) {
        login->current = status;
        model->refresh();
        EXPECT_EQ(model->loginChecked(), checked) << text.toStdString();
        EXPECT_EQ(model->loginStatusText(), text);
        EXPECT_EQ(model->loginSettingsVisible(), settingsShown) << text.toStdString();
    }
    model->openLoginSettings();
    EXPECT_EQ(login->settingsOpened, 1);
}

TEST_F(SettingsModelTest, WithoutItsOwnerNothingIsChanged)
{
    SettingsModel orphan(preferences, {}, {}, login);
    EXPECT_EQ(orphan.changeShortcuts(ctrlShiftK, AppShortcut::pin()), QStringLiteral("应用已关闭"));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
}

} // namespace
