#include "platform/KeyCodeTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <linux/input-event-codes.h>
#include <map>
#include <cctype>
#include <set>
#include <string_view>

using namespace kelpie;

namespace {

// The kernel's own key numbers, checked against the layout-independent key
// numbers of the model; X11 adds 8 to every evdev code.
std::uint32_t x11(int evdev) { return static_cast<std::uint32_t>(evdev + 8); }

} // namespace

TEST(KeyCodeTable, MatchesTheKernelKeyNumbers)
{
    const std::map<int, std::uint32_t> expected = {
        {KEY_A, 0},          {KEY_S, 1},           {KEY_D, 2},           {KEY_F, 3},
        {KEY_H, 4},          {KEY_G, 5},           {KEY_Z, 6},           {KEY_X, 7},
        {KEY_C, 8},          {KEY_V, 9},           {KEY_B, 11},          {KEY_Q, 12},
        {KEY_W, 13},         {KEY_E, 14},          {KEY_R, 15},          {KEY_Y, 16},
        {KEY_T, 17},         {KEY_1, 18},          {KEY_2, 19},          {KEY_3, 20},
        {KEY_4, 21},         {KEY_6, 22},          {KEY_5, 23},          {KEY_EQUAL, 24},
        {KEY_9, 25},         {KEY_7, 26},          {KEY_MINUS, 27},      {KEY_8, 28},
        {KEY_0, 29},         {KEY_RIGHTBRACE, 30}, {KEY_O, 31},          {KEY_U, 32},
        {KEY_LEFTBRACE, 33}, {KEY_I, 34},          {KEY_P, 35},          {KEY_ENTER, 36},
        {KEY_L, 37},         {KEY_J, 38},          {KEY_APOSTROPHE, 39}, {KEY_K, 40},
        {KEY_SEMICOLON, 41}, {KEY_BACKSLASH, 42},  {KEY_COMMA, 43},      {KEY_SLASH, 44},
        {KEY_N, 45},         {KEY_M, 46},          {KEY_DOT, 47},        {KEY_TAB, 48},
        {KEY_SPACE, 49},     {KEY_GRAVE, 50},      {KEY_BACKSPACE, 51},  {KEY_ESC, 53},
        {KEY_LEFTMETA, 55},  {KEY_LEFTSHIFT, 56},  {KEY_LEFTALT, 58},    {KEY_LEFTCTRL, 59},
        {KEY_DELETE, 117},   {KEY_HOME, 115},      {KEY_END, 119},       {KEY_PAGEUP, 116},
        {KEY_PAGEDOWN, 121}, {KEY_LEFT, 123},      {KEY_RIGHT, 124},     {KEY_DOWN, 125},
        {KEY_UP, 126},       {KEY_KPENTER, 76},    {KEY_KP0, 82},        {KEY_KP9, 92},
    };
    for (const auto& [evdev, code] : expected)
        EXPECT_EQ(KeyCodeTable::virtualKeyCode(x11(evdev)), code) << "evdev " << evdev;

    const int functionKeys[] = {KEY_F1,  KEY_F2,  KEY_F3,  KEY_F4,  KEY_F5,  KEY_F6,  KEY_F7,
                                KEY_F8,  KEY_F9,  KEY_F10, KEY_F11, KEY_F12, KEY_F13, KEY_F14,
                                KEY_F15, KEY_F16, KEY_F17, KEY_F18, KEY_F19, KEY_F20};
    const std::uint32_t functionCodes[] = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                           103, 111, 105, 107, 113, 106, 64, 79,  80,  90};
    for (int index = 0; index < 20; ++index) {
        EXPECT_EQ(KeyCodeTable::virtualKeyCode(x11(functionKeys[index])), functionCodes[index])
            << "F" << index + 1;
        // The dedicated key comes first when a key number has several keys.
        const auto keys = KeyCodeTable::x11KeyCodes(functionCodes[index]);
        ASSERT_FALSE(keys.empty());
        EXPECT_EQ(keys.front(), x11(functionKeys[index])) << "F" << index + 1;
    }
    // Print, Scroll Lock and Pause are F13, F14 and F15 on a PC keyboard.
    EXPECT_EQ(KeyCodeTable::x11KeyCodes(105), (std::vector{x11(KEY_F13), x11(KEY_SYSRQ)}));
    EXPECT_EQ(KeyCodeTable::x11KeyCodes(107), (std::vector{x11(KEY_F14), x11(KEY_SCROLLLOCK)}));
    EXPECT_EQ(KeyCodeTable::x11KeyCodes(113), (std::vector{x11(KEY_F15), x11(KEY_PAUSE)}));
}

TEST(KeyCodeTable, IsOneConsistentMapping)
{
    // No X11 key stands for two key numbers: every key listed for a number
    // maps back to that number.
    std::set<std::uint32_t> numbers;
    for (std::uint32_t number = 0; number < 256; ++number) {
        for (const std::uint32_t code : KeyCodeTable::x11KeyCodes(number)) {
            EXPECT_EQ(KeyCodeTable::virtualKeyCode(code), number) << "X11 key " << code;
            EXPECT_LE(number, 127u);
            numbers.insert(number);
        }
    }
    EXPECT_GE(numbers.size(), 100u);
    // The codes below 8 are not keys on X11; the Fn key never reaches X11.
    for (std::uint32_t code = 0; code < 8; ++code)
        EXPECT_FALSE(KeyCodeTable::virtualKeyCode(code).has_value());
    EXPECT_TRUE(KeyCodeTable::x11KeyCodes(63).empty());
    EXPECT_FALSE(KeyCodeTable::virtualKeyCode(x11(KEY_PROG1)).has_value());
}

// Desktops that take combinations as text need a keysym name for every key
// a shortcut can use: all but the modifier keys themselves and the three
// Japanese-keyboard keys. Names are keysym spellings (letters, digits,
// underscores) and no two keys share one.
TEST(KeyCodeTable, NamesEveryShortcutKeyOnce)
{
    const std::set<std::uint32_t> unnamed = {54, 55, 56, 57, 58, 59, 60, 61, 62, 93, 94, 95};
    std::set<std::string_view> seen;
    for (std::uint32_t x11Code = 8; x11Code < 256; ++x11Code) {
        const std::optional<std::uint32_t> code = KeyCodeTable::virtualKeyCode(x11Code);
        if (!code)
            continue;
        const std::optional<std::string_view> name = KeyCodeTable::keysymName(*code);
        if (unnamed.count(*code)) {
            EXPECT_FALSE(name) << "key number " << *code;
            continue;
        }
        ASSERT_TRUE(name) << "key number " << *code;
        EXPECT_TRUE(std::ranges::all_of(*name, [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        })) << *name;
        // Several X11 keys may stand for one number; the name is the number's.
        if (KeyCodeTable::x11KeyCodes(*code).front() == x11Code) {
            EXPECT_TRUE(seen.insert(*name).second) << "shared name " << *name;
        }
    }
    EXPECT_EQ(KeyCodeTable::keysymName(122), std::string_view("F1"));
    EXPECT_EQ(KeyCodeTable::keysymName(105), std::string_view("Print"));
}
