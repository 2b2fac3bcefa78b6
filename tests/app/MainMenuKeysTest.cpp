// The main menu's key equivalents: the table, and who keeps which key.

#include "app/MainMenuKeys.h"
#include "app/MenuKeyDispatcher.h"

#include "settings/AppShortcut.h"
#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecording.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

constexpr Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;

TEST(MainMenuKeys, TheRowsInMenuOrder)
{
    QStringList titles;
    for (const MenuKey& row : MainMenuKeys::entries())
        titles.append(row.title);
    EXPECT_EQ(titles.join(u'|'), QStringLiteral("设置…|退出 Kelpie|剪切|复制|粘贴|全选|保存|撤销|"
                                                "重做|复制全部文字|钉图"));
}

TEST(MainMenuKeys, EachKeyMeansOneCommandWithExactlyItsModifiers)
{
    using C = MenuCommand;
    const std::vector<std::tuple<int, Qt::KeyboardModifiers, std::optional<C>>> cases{
        {Qt::Key_Comma, ctrl, C::openSettings},
        {Qt::Key_Q, ctrl, C::quit},
        {Qt::Key_X, ctrl, C::cut},
        {Qt::Key_C, ctrl, C::copy},
        {Qt::Key_V, ctrl, C::paste},
        {Qt::Key_A, ctrl, C::selectAll},
        {Qt::Key_S, ctrl, C::saveDocument},
        {Qt::Key_Z, ctrl, C::undo},
        {Qt::Key_Z, ctrlShift, C::redo},
        {Qt::Key_C, ctrlShift, C::copyAllText},
        {Qt::Key_T, ctrl, C::pinImage},
        // The keypad flag does not change the key.
        {Qt::Key_C, ctrl | Qt::KeypadModifier, C::copy},
        // Another modifier, or none, is another key.
        {Qt::Key_C, Qt::NoModifier, std::nullopt},
        {Qt::Key_C, ctrl | Qt::AltModifier, std::nullopt},
        {Qt::Key_C, Qt::MetaModifier, std::nullopt},
        {Qt::Key_T, ctrlShift, std::nullopt},
        {Qt::Key_Q, ctrl | Qt::MetaModifier, std::nullopt},
        {Qt::Key_W, ctrl, std::nullopt},
    };
    for (const auto& [key, modifiers, expected] : cases)
        EXPECT_EQ(MainMenuKeys::commandFor(key, modifiers), expected)
            << QKeySequence(key | modifiers.toInt()).toString().toStdString();
}

QKeyEvent press(int key, Qt::KeyboardModifiers modifiers)
{
    return QKeyEvent(QEvent::KeyPress, key, modifiers);
}

TEST(MenuKeyDispatcher, ATextFieldKeepsTheEditingKeysButNotTheOthers)
{
    QWidget window;
    auto* field = new QLineEdit(&window);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_C, ctrl), field), std::nullopt);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Z, ctrlShift), field), std::nullopt);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_T, ctrl), field), MenuCommand::pinImage);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Q, ctrl), field), MenuCommand::quit);
    // Any other widget passes the editing keys on to the menu.
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_C, ctrl), &window), MenuCommand::copy);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_C, ctrl), nullptr), std::nullopt);
}

TEST(MenuKeyDispatcher, ARecordingRecorderKeepsEveryKey)
{
    ShortcutRecording recording(AppShortcut::capture());
    ShortcutRecorder recorder(recording);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Q, ctrl), &recorder), MenuCommand::quit);
    recording.start();
    ASSERT_TRUE(recording.recording());
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Q, ctrl), &recorder), std::nullopt);
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Comma, ctrl), &recorder), std::nullopt);
    recording.stop();
    EXPECT_EQ(MenuKeyDispatcher::commandFor(press(Qt::Key_Q, ctrl), &recorder), MenuCommand::quit);
}

} // namespace
