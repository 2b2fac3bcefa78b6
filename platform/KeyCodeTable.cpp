#include "platform/KeyCodeTable.h"

namespace kelpie {

namespace {

struct Entry {
    std::uint32_t x11;
    std::uint32_t code;
};

// X11 key code = evdev code + 8. Where several X11 keys share a number,
// the dedicated key comes first.
constexpr Entry table[] = {
    // letters
    {38, 0},
    {56, 11},
    {54, 8},
    {40, 2},
    {26, 14},
    {41, 3},
    {42, 5},
    {43, 4},
    {31, 34},
    {44, 38},
    {45, 40},
    {46, 37},
    {58, 46},
    {57, 45},
    {32, 31},
    {33, 35},
    {24, 12},
    {27, 15},
    {39, 1},
    {28, 17},
    {30, 32},
    {55, 9},
    {25, 13},
    {53, 7},
    {29, 16},
    {52, 6},
    // digit row: 1 2 3 4 5 6 7 8 9 0
    {10, 18},
    {11, 19},
    {12, 20},
    {13, 21},
    {14, 23},
    {15, 22},
    {16, 26},
    {17, 28},
    {18, 25},
    {19, 29},
    // punctuation: - = [ ] \ ; ' ` , . / and the ISO key beside left Shift
    {20, 27},
    {21, 24},
    {34, 33},
    {35, 30},
    {51, 42},
    {47, 41},
    {48, 39},
    {49, 50},
    {59, 43},
    {60, 47},
    {61, 44},
    {94, 10},
    // Return, Tab, Space, Backspace, Escape, Delete
    {36, 36},
    {23, 48},
    {65, 49},
    {22, 51},
    {9, 53},
    {119, 117},
    // modifier keys: Super R/L, Shift L, Caps Lock, Alt L, Ctrl L, Shift R, Alt R, Ctrl R
    {134, 54},
    {133, 55},
    {50, 56},
    {66, 57},
    {64, 58},
    {37, 59},
    {62, 60},
    {108, 61},
    {105, 62},
    // F1 to F12
    {67, 122},
    {68, 120},
    {69, 99},
    {70, 118},
    {71, 96},
    {72, 97},
    {73, 98},
    {74, 100},
    {75, 101},
    {76, 109},
    {95, 103},
    {96, 111},
    // F13 to F20
    {191, 105},
    {192, 107},
    {193, 113},
    {194, 106},
    {195, 64},
    {196, 79},
    {197, 80},
    {198, 90},
    // PC keys standing in for F13, F14, F15: Print, Scroll Lock, Pause
    {107, 105},
    {78, 107},
    {127, 113},
    // Help, then Insert in its place; Home, Page Up, End, Page Down; menu key
    {146, 114},
    {118, 114},
    {110, 115},
    {112, 116},
    {115, 119},
    {117, 121},
    {135, 110},
    // arrows: left, right, down, up
    {113, 123},
    {114, 124},
    {116, 125},
    {111, 126},
    // keypad: . * + Clear(Num Lock) / Enter - = 0 1 2 3 4 5 6 7 8 9
    {91, 65},
    {63, 67},
    {86, 69},
    {77, 71},
    {106, 75},
    {104, 76},
    {82, 78},
    {125, 81},
    {90, 82},
    {87, 83},
    {88, 84},
    {89, 85},
    {83, 86},
    {84, 87},
    {85, 88},
    {79, 89},
    {80, 91},
    {81, 92},
    // volume up, down, mute
    {123, 72},
    {122, 73},
    {121, 74},
    // Japanese keyboards: Yen, Ro, keypad comma
    {132, 93},
    {97, 94},
    {103, 95},
};

struct Name {
    std::uint32_t code;
    std::string_view keysym;
};

// Keysym names by key number, for the keys a PC keyboard has: where a
// number stands for a PC key in place of another (F13 to F15, Help, Clear),
// the PC key's name. Letters are upper case, as desktops show them.
constexpr Name names[] = {
    {0, "A"},
    {11, "B"},
    {8, "C"},
    {2, "D"},
    {14, "E"},
    {3, "F"},
    {5, "G"},
    {4, "H"},
    {34, "I"},
    {38, "J"},
    {40, "K"},
    {37, "L"},
    {46, "M"},
    {45, "N"},
    {31, "O"},
    {35, "P"},
    {12, "Q"},
    {15, "R"},
    {1, "S"},
    {17, "T"},
    {32, "U"},
    {9, "V"},
    {13, "W"},
    {7, "X"},
    {16, "Y"},
    {6, "Z"},
    {18, "1"},
    {19, "2"},
    {20, "3"},
    {21, "4"},
    {23, "5"},
    {22, "6"},
    {26, "7"},
    {28, "8"},
    {25, "9"},
    {29, "0"},
    {27, "minus"},
    {24, "equal"},
    {33, "bracketleft"},
    {30, "bracketright"},
    {42, "backslash"},
    {41, "semicolon"},
    {39, "apostrophe"},
    {50, "grave"},
    {43, "comma"},
    {47, "period"},
    {44, "slash"},
    {10, "less"},
    {36, "Return"},
    {48, "Tab"},
    {49, "space"},
    {51, "BackSpace"},
    {53, "Escape"},
    {117, "Delete"},
    {122, "F1"},
    {120, "F2"},
    {99, "F3"},
    {118, "F4"},
    {96, "F5"},
    {97, "F6"},
    {98, "F7"},
    {100, "F8"},
    {101, "F9"},
    {109, "F10"},
    {103, "F11"},
    {111, "F12"},
    {105, "Print"},
    {107, "Scroll_Lock"},
    {113, "Pause"},
    {106, "F16"},
    {64, "F17"},
    {79, "F18"},
    {80, "F19"},
    {90, "F20"},
    {114, "Insert"},
    {115, "Home"},
    {116, "Page_Up"},
    {119, "End"},
    {121, "Page_Down"},
    {110, "Menu"},
    {123, "Left"},
    {124, "Right"},
    {125, "Down"},
    {126, "Up"},
    {65, "KP_Decimal"},
    {67, "KP_Multiply"},
    {69, "KP_Add"},
    {71, "Num_Lock"},
    {75, "KP_Divide"},
    {76, "KP_Enter"},
    {78, "KP_Subtract"},
    {81, "KP_Equal"},
    {82, "KP_0"},
    {83, "KP_1"},
    {84, "KP_2"},
    {85, "KP_3"},
    {86, "KP_4"},
    {87, "KP_5"},
    {88, "KP_6"},
    {89, "KP_7"},
    {91, "KP_8"},
    {92, "KP_9"},
    {72, "XF86AudioRaiseVolume"},
    {73, "XF86AudioLowerVolume"},
    {74, "XF86AudioMute"},
};

} // namespace

std::optional<std::string_view> KeyCodeTable::keysymName(std::uint32_t virtualKeyCode)
{
    for (const Name& name : names) {
        if (name.code == virtualKeyCode)
            return name.keysym;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> KeyCodeTable::virtualKeyCode(std::uint32_t x11KeyCode)
{
    for (const Entry& entry : table) {
        if (entry.x11 == x11KeyCode)
            return entry.code;
    }
    return std::nullopt;
}

std::vector<std::uint32_t> KeyCodeTable::x11KeyCodes(std::uint32_t virtualKeyCode)
{
    std::vector<std::uint32_t> codes;
    for (const Entry& entry : table) {
        if (entry.code == virtualKeyCode)
            codes.push_back(entry.x11);
    }
    return codes;
}

} // namespace kelpie
