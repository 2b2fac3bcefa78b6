#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindowKeys.h"
#include "editor/ImageWindowMenu.h"
#include "tests/editor/ExportFakes.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

using namespace kelpie;
using Action = ImageWindowMenu::Action;
using Command = ImageWindowKeys::Command;

namespace {

// An editor showing recognised text, idle, nothing selected.
ImageWindowMenu::State idleWithText()
{
    ImageWindowMenu::State state;
    state.overlayVisible = true;
    state.fullText = QStringLiteral("第一行\nsecond line");
    state.canUndo = true;
    state.canRedo = true;
    state.alpha = 1;
    return state;
}

QStringList titles(const QList<ImageWindowMenu::Item>& items)
{
    QStringList made;
    for (const auto& item : items)
        made.append(item.separator ? QStringLiteral("-") : item.title);
    return made;
}

Command press(int key, Qt::KeyboardModifiers modifiers, bool textView = false)
{
    return ImageWindowKeys::command(key, modifiers, textView);
}

} // namespace

TEST(ImageWindowMenuTest, ItemsFollowTheTextAndTheMode)
{
    ImageWindowMenu::State state = idleWithText();
    EXPECT_EQ(titles(ImageWindowMenu::items(state)),
              (QStringList{QStringLiteral("复制全部文字"), QStringLiteral("-"),
                           QStringLiteral("复制图片"), QStringLiteral("保存图片…"),
                           QStringLiteral("钉住")}));
    state.selectedText = QStringLiteral("第一行");
    state.screenshot = true;
    EXPECT_EQ(titles(ImageWindowMenu::items(state)),
              (QStringList{QStringLiteral("复制文字"), QStringLiteral("全选文字"),
                           QStringLiteral("-"), QStringLiteral("复制图片"),
                           QStringLiteral("保存图片…"), QStringLiteral("钉住")}));
    // Hidden text offers nothing, and no separator stands alone.
    state.overlayVisible = false;
    EXPECT_EQ(titles(ImageWindowMenu::items(state)),
              (QStringList{QStringLiteral("复制图片"), QStringLiteral("保存图片…"),
                           QStringLiteral("钉住")}));
}

TEST(ImageWindowMenuTest, PinOffersOpacityCheckedByItsAlpha)
{
    ImageWindowMenu::State state = idleWithText();
    state.pinned = true;
    state.alpha = 0.5;
    const QList<ImageWindowMenu::Item> items = ImageWindowMenu::items(state);
    EXPECT_EQ(titles(items).mid(0, 2), (QStringList{QStringLiteral("全选文字"), QStringLiteral("-")}));
    ASSERT_EQ(items.last().title, QStringLiteral("透明度"));
    const auto& presets = items.last().submenu;
    EXPECT_EQ(titles(presets), (QStringList{QStringLiteral("100%"), QStringLiteral("75%"),
                                            QStringLiteral("50%"), QStringLiteral("25%")}));
    QStringList checked;
    for (const auto& preset : presets) {
        EXPECT_TRUE(ImageWindowMenu::enabled(preset.action, state));
        if (ImageWindowMenu::checked(preset, state))
            checked.append(preset.title);
    }
    EXPECT_EQ(checked, QStringList{QStringLiteral("50%")});
    // An alpha between presets checks none; without a window 100 % holds.
    EXPECT_EQ(ImageWindowMenu::alphaPercent(0.6), 60);
    EXPECT_EQ(ImageWindowMenu::alphaPercent(std::nullopt), 100);
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::opacityPreset, idleWithText()));
}

TEST(ImageWindowMenuTest, OutputsAreDisabledMidDragInATransactionAfterCloseAndWithoutComposite)
{
    const ImageWindowMenu::State idle = idleWithText();
    for (const Action output :
         {Action::copyImage, Action::saveImage, Action::saveDocument, Action::pinImage}) {
        EXPECT_TRUE(ImageWindowMenu::enabled(output, idle));
        ImageWindowMenu::State state = idle;
        state.gesture = true;
        EXPECT_FALSE(ImageWindowMenu::enabled(output, state)) << "mid-drag";
        state = idle;
        state.transaction = true;
        EXPECT_FALSE(ImageWindowMenu::enabled(output, state)) << "in a transaction";
        state = idle;
        state.closed = true;
        EXPECT_FALSE(ImageWindowMenu::enabled(output, state)) << "after close";
        state = idle;
        state.hasComposite = false;
        EXPECT_FALSE(ImageWindowMenu::enabled(output, state)) << "without composite";
    }
}

TEST(ImageWindowMenuTest, TextCommandsAndHistoryWaitForTheGestureAndNeedText)
{
    ImageWindowMenu::State state = idleWithText();
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::copySelectedText, state)) << "nothing selected";
    state.selectedText = QStringLiteral("second");
    EXPECT_TRUE(ImageWindowMenu::enabled(Action::copySelectedText, state));
    EXPECT_TRUE(ImageWindowMenu::enabled(Action::copyAllText, state));
    EXPECT_TRUE(ImageWindowMenu::enabled(Action::undo, state));
    state.transaction = true;
    // A selection may still be copied while a slider drags; the rest waits.
    EXPECT_TRUE(ImageWindowMenu::enabled(Action::copySelectedText, state));
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::copyAllText, state));
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::undo, state));
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::redo, state));
    state.transaction = false;
    state.gesture = true;
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::copySelectedText, state));
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::redo, state));
    state.gesture = false;
    state.overlayVisible = false;
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::copySelectedText, state));
    EXPECT_TRUE(ImageWindowMenu::enabled(Action::copyAllText, state))
        << "the whole text does not depend on the overlay showing";
    state.fullText.clear();
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::copyAllText, state));
    state.canUndo = false;
    EXPECT_FALSE(ImageWindowMenu::enabled(Action::undo, state));
}

TEST(ImageWindowKeysTest, CommandKeysWithCtrl)
{
    EXPECT_EQ(press(Qt::Key_C, Qt::ControlModifier), Command::copy);
    EXPECT_EQ(press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier), Command::copyAllText)
        << "Ctrl+Shift+C is not a copy";
    EXPECT_EQ(press(Qt::Key_A, Qt::ControlModifier), Command::selectAll);
    EXPECT_EQ(press(Qt::Key_S, Qt::ControlModifier), Command::saveDocument);
    EXPECT_EQ(press(Qt::Key_T, Qt::ControlModifier), Command::pinImage);
    EXPECT_EQ(press(Qt::Key_Z, Qt::ControlModifier), Command::undo);
    EXPECT_EQ(press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier), Command::redo);
    // Other modifiers make no command, nor does a key without Ctrl.
    EXPECT_EQ(press(Qt::Key_C, Qt::NoModifier), Command::none);
    EXPECT_EQ(press(Qt::Key_C, Qt::ShiftModifier), Command::none);
    EXPECT_EQ(press(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier), Command::none);
    EXPECT_EQ(press(Qt::Key_C, Qt::ControlModifier | Qt::MetaModifier), Command::none);
    EXPECT_EQ(press(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier), Command::none);
    EXPECT_EQ(press(Qt::Key_X, Qt::ControlModifier), Command::none);
    // The keypad flag is only where the key sits.
    EXPECT_EQ(press(Qt::Key_Z, Qt::ControlModifier | Qt::KeypadModifier), Command::undo);
}

TEST(ImageWindowKeysTest, CapsLockStillCountsAsTheLetter)
{
    // With Caps Lock on the key types "C" but is still the C key.
    const QKeyEvent upper(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("C"));
    EXPECT_EQ(press(upper.key(), upper.modifiers()), Command::copy);
}

TEST(ImageWindowKeysTest, WhileTextIsTypedOnlyUndoAndRedoReachTheWindow)
{
    EXPECT_EQ(press(Qt::Key_Z, Qt::ControlModifier, true), Command::undo);
    EXPECT_EQ(press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, true), Command::redo);
    EXPECT_EQ(press(Qt::Key_C, Qt::ControlModifier, true), Command::none);
    EXPECT_EQ(press(Qt::Key_A, Qt::ControlModifier, true), Command::none);
    EXPECT_EQ(press(Qt::Key_S, Qt::ControlModifier, true), Command::none);
}

TEST(ImageWindowKeysTest, ReturnAndKeypadEnterWithoutModifiersAreScreenshotReturns)
{
    const auto isReturn = [](int key, Qt::KeyboardModifiers modifiers) {
        return AnnotationWindow::isScreenshotReturn(QKeyEvent(QEvent::KeyPress, key, modifiers));
    };
    EXPECT_TRUE(isReturn(Qt::Key_Return, Qt::NoModifier));
    EXPECT_TRUE(isReturn(Qt::Key_Enter, Qt::KeypadModifier));
    EXPECT_FALSE(isReturn(Qt::Key_Return, Qt::ShiftModifier));
    EXPECT_FALSE(isReturn(Qt::Key_Enter, Qt::KeypadModifier | Qt::ControlModifier));
}
