#include "settings/AppShortcut.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

using namespace kelpie;

namespace {

constexpr std::uint32_t cmd = AppShortcut::command;
constexpr std::uint32_t sft = AppShortcut::shift;
constexpr std::uint32_t opt = AppShortcut::option;
constexpr std::uint32_t ctl = AppShortcut::control;

AppShortcut shortcut(std::uint32_t code, std::uint32_t modifiers, const char* name)
{
    return {code, modifiers, QString::fromUtf8(name)};
}

// A key press as Qt delivers it on X11: the native scan code is the X11 key
// code, evdev + 8.
QKeyEvent press(int evdev, int key, Qt::KeyboardModifiers modifiers, const QString& text = {})
{
    return QKeyEvent(QEvent::KeyPress, key, modifiers, static_cast<quint32>(evdev + 8), 0, 0, text);
}

} // namespace

TEST(AppShortcut, ValidityRules)
{
    struct Case {
        AppShortcut shortcut;
        bool valid;
    };
    const Case cases[] = {
        {AppShortcut::capture(), true},
        {AppShortcut::pin(), true},
        {AppShortcut::fallback(), true},
        {shortcut(90, 0, "F20"), true},
        // A plain key, or one with Shift alone, would swallow typing.
        {shortcut(1, 0, "S"), false},
        {shortcut(1, sft, "S"), false},
        {shortcut(1, ctl, "S"), true},
        {shortcut(1, opt, "S"), true},
        {shortcut(1, cmd, "S"), true},
        // The desktop's screenshot keys: Command with Shift on 3, 4, 5.
        {shortcut(21, cmd | sft, "4"), false},
        {shortcut(20, cmd | sft, "3"), false},
        {shortcut(23, cmd | sft, "5"), false},
        {shortcut(21, cmd | opt | sft, "4"), false},
        {shortcut(21, ctl | sft, "4"), true},
        {shortcut(21, cmd, "4"), true},
        {shortcut(22, cmd | sft, "6"), true},
        // Quit, close, switch and search.
        {shortcut(12, cmd, "Q"), false},
        {shortcut(12, cmd | sft, "Q"), false},
        {shortcut(13, cmd | ctl, "W"), false},
        {shortcut(48, cmd, "TAB"), false},
        {shortcut(49, cmd, "SPACE"), false},
        {shortcut(49, opt, "SPACE"), true},
        {shortcut(12, ctl, "Q"), true},
        // Key numbers and modifier bits outside the model.
        {shortcut(127, ctl, "X"), true},
        {shortcut(128, ctl, "X"), false},
        {shortcut(122, 0x400, "F1"), false},
        {shortcut(122, ctl | 0x10000, "F1"), false},
        // Names: 1 to 16 bytes of UTF-8, no white space or line breaks.
        {shortcut(1, ctl, ""), false},
        {shortcut(1, ctl, "S S"), false},
        {shortcut(1, ctl, "S\n"), false},
        {shortcut(1, ctl, "S\t"), false},
        {shortcut(1, ctl, "S\u00a0"), false},
        {shortcut(1, ctl, "S\u2028"), false},
        {shortcut(1, ctl, "ABCDEFGHIJKLMNOP"), true},
        {shortcut(1, ctl, "ABCDEFGHIJKLMNOPQ"), false},
        {shortcut(1, ctl, "键键键键键"), true},    // 15 bytes
        {shortcut(1, ctl, "键键键键键键"), false}, // 18 bytes, only 6 characters
        // The modifier keys themselves would swallow every combination
        // made with them: Command, Shift, Option, Control, left and right.
        {shortcut(55, ctl, "SUPER_L"), false},
        {shortcut(54, ctl, "SUPER_R"), false},
        {shortcut(56, ctl, "SHIFT"), false},
        {shortcut(60, opt, "SHIFT"), false},
        {shortcut(58, ctl, "ALT"), false},
        {shortcut(61, cmd, "ALT"), false},
        {shortcut(59, opt, "CONTROL"), false},
        {shortcut(62, cmd | opt, "CONTROL"), false},
        {shortcut(57, ctl, "CAPSLOCK"), true}, // a lock key, not a modifier
        {shortcut(53, ctl, "ESC"), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.shortcut.isValid(), c.valid)
            << c.shortcut.keyCode << " " << c.shortcut.modifiers << " "
            << c.shortcut.keyName.toStdString();
}

TEST(AppShortcut, EqualityAndFunctionKeys)
{
    EXPECT_EQ(shortcut(1, ctl, "S"), shortcut(1, ctl, "Whatever"));
    EXPECT_EQ(std::hash<AppShortcut>()(shortcut(1, ctl, "S")),
              std::hash<AppShortcut>()(shortcut(1, ctl, "x")));
    EXPECT_NE(shortcut(1, ctl, "S"), shortcut(1, opt, "S"));
    EXPECT_NE(shortcut(1, ctl, "S"), shortcut(2, ctl, "S"));

    EXPECT_EQ(AppShortcut::fallback().modifiers, 6144u);
    for (const std::uint32_t code : AppShortcut::functionCodes)
        EXPECT_TRUE(shortcut(code, 0, "F").isFunctionKey()) << code;
    EXPECT_FALSE(shortcut(1, 0, "S").isFunctionKey());
    EXPECT_FALSE(shortcut(123, 0, "LEFT").isFunctionKey());
}

TEST(AppShortcut, DisplayNameOrdersModifierSymbols)
{
    EXPECT_EQ(AppShortcut::fallback().displayName(), QStringLiteral("⌃⌥S"));
    EXPECT_EQ(AppShortcut::capture().displayName(), QStringLiteral("F1"));
    EXPECT_EQ(shortcut(21, cmd | sft | opt | ctl, "4").displayName(), QStringLiteral("⌃⌥⇧⌘4"));
    EXPECT_EQ(shortcut(21, cmd | sft, "4").displayName(), QStringLiteral("⇧⌘4"));
}

TEST(AppShortcut, JsonFormIsStrict)
{
    const AppShortcut original = shortcut(21, ctl | sft, "4");
    const auto decoded = AppShortcut::fromJson(original.toJson());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, original);
    EXPECT_EQ(decoded->keyName, original.keyName);

    // Any key order, extra keys ignored.
    const auto reordered
        = AppShortcut::fromJson(R"({"keyName":"F3","extra":[1],"modifiers":0,"keyCode":99})");
    ASSERT_TRUE(reordered.has_value());
    EXPECT_EQ(*reordered, AppShortcut::pin());
    EXPECT_EQ(reordered->keyName, QStringLiteral("F3"));

    // Decoding does not judge validity: that is the reader's business.
    EXPECT_TRUE(AppShortcut::fromJson(R"({"keyCode":1,"modifiers":0,"keyName":"S"})"));

    for (const char* bad : {
             R"({"modifiers":0,"keyName":"F1"})",
             R"({"keyCode":122,"keyName":"F1"})",
             R"({"keyCode":122,"modifiers":0})",
             R"({"keyCode":"122","modifiers":0,"keyName":"F1"})",
             R"({"keyCode":122,"modifiers":0,"keyName":1})",
             R"({"keyCode":122.5,"modifiers":0,"keyName":"F1"})",
             R"({"keyCode":-1,"modifiers":0,"keyName":"F1"})",
             R"({"keyCode":4294967296,"modifiers":0,"keyName":"F1"})",
             R"({"keyCode":122,"modifiers":null,"keyName":"F1"})",
             R"([122,0,"F1"])",
             R"("F1")",
             R"({"keyCode":122,"modifiers":0,"keyName":"F1")",
             "",
         })
        EXPECT_FALSE(AppShortcut::fromJson(QByteArray(bad)).has_value()) << bad;
    EXPECT_TRUE(AppShortcut::fromJson(R"({"keyCode":4294967295,"modifiers":0,"keyName":"X"})"));
}

TEST(AppShortcut, FromKeyEventUsesTheGlobalModifierMapping)
{
    // Ctrl, Alt, Shift and Super are Control, Option, Shift and Command.
    auto result = AppShortcut::from(
        press(KEY_S, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier, QStringLiteral("\x13")));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, AppShortcut::fallback());
    EXPECT_EQ(result->keyName, QStringLiteral("S"));

    result = AppShortcut::from(press(KEY_4, Qt::Key_Dollar,
                                     Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier,
                                     QStringLiteral("$")));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->keyCode, 21u);
    EXPECT_EQ(result->modifiers, ctl | sft); // the keypad flag is dropped

    result = AppShortcut::from(press(KEY_K, Qt::Key_K, Qt::MetaModifier));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->modifiers, cmd);
    EXPECT_EQ(result->keyCode, 40u);

    // Super+Shift+4 is the screenshot key, whatever it types.
    EXPECT_FALSE(
        AppShortcut::from(press(KEY_4, Qt::Key_Dollar, Qt::MetaModifier | Qt::ShiftModifier)));
    EXPECT_FALSE(AppShortcut::from(press(KEY_Q, Qt::Key_Q, Qt::MetaModifier)));
}

TEST(AppShortcut, FromKeyEventNamesTheKey)
{
    // Function keys are named by their place in the F1 to F20 list.
    for (const auto& [evdev, name] : {std::pair{KEY_F1, "F1"},
                                      {KEY_F3, "F3"},
                                      {KEY_F12, "F12"},
                                      {KEY_F13, "F13"},
                                      {KEY_F20, "F20"}}) {
        const auto result = AppShortcut::from(press(evdev, Qt::Key_F1, Qt::NoModifier));
        ASSERT_TRUE(result.has_value()) << name;
        EXPECT_EQ(result->keyName, QString::fromLatin1(name));
        EXPECT_EQ(result->modifiers, 0u);
    }
    // Print stands in for F13 on a PC keyboard.
    const auto print = AppShortcut::from(press(KEY_SYSRQ, Qt::Key_Print, Qt::NoModifier));
    ASSERT_TRUE(print.has_value());
    EXPECT_EQ(print->keyCode, 105u);
    EXPECT_EQ(print->keyName, QStringLiteral("F13"));

    // Other keys: the character without Control, Alt or Super, upper-cased.
    auto letter = AppShortcut::from(press(KEY_A, Qt::Key_A, Qt::AltModifier, QStringLiteral("a")));
    ASSERT_TRUE(letter.has_value());
    EXPECT_EQ(letter->keyName, QStringLiteral("A"));
    auto cyrillic
        = AppShortcut::from(press(KEY_F, 0x0430, Qt::ControlModifier, QStringLiteral("\x06"))); // а
    ASSERT_TRUE(cyrillic.has_value());
    EXPECT_EQ(cyrillic->keyName, QStringLiteral("А"));
    EXPECT_EQ(cyrillic->keyCode, 3u);
    auto arrow = AppShortcut::from(press(KEY_LEFT, Qt::Key_Left, Qt::ControlModifier));
    ASSERT_TRUE(arrow.has_value());
    EXPECT_EQ(arrow->keyCode, 123u);
    EXPECT_FALSE(arrow->keyName.isEmpty());
    // Shift+Tab arrives as Backtab but is still the Tab key.
    auto tab = AppShortcut::from(
        press(KEY_TAB, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier));
    ASSERT_TRUE(tab.has_value());
    EXPECT_EQ(tab->keyCode, 48u);
    EXPECT_EQ(tab->keyName, QStringLiteral("TAB"));

    // A space as the name is white space: never valid.
    EXPECT_FALSE(AppShortcut::from(press(KEY_SPACE, Qt::Key_Space, Qt::AltModifier)));
    // Modifier keys on their own, and keys outside the table, give nothing.
    EXPECT_FALSE(AppShortcut::from(press(KEY_LEFTCTRL, Qt::Key_Control, Qt::AltModifier)));
    EXPECT_FALSE(AppShortcut::from(press(KEY_LEFTMETA, Qt::Key_Meta, Qt::ControlModifier)));
    EXPECT_FALSE(AppShortcut::from(press(KEY_PROG1, Qt::Key_Launch0, Qt::ControlModifier)));
    EXPECT_FALSE(AppShortcut::from(QKeyEvent(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier)));
}
