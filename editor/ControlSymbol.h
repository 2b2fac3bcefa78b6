#pragma once

#include <QString>

#include <array>

namespace kelpie {

// Kelpie's own symbols, named by the role they play on a control.
enum class ControlSymbol {
    cursorArrow,
    arrowUpRight,
    rectangle,
    rectangleFill,
    circle,
    lineDiagonal,
    textFormat,
    pencil,
    highlighter,
    numberCircle,
    pin,
    squareAndArrowDown,
    docOnDoc,
    arrowCounterclockwise,
    xmark,
    checkmark,
    arrowUturnBackward,
    arrowUturnForward,
    eyeSlash,
};

inline constexpr std::array<ControlSymbol, 19> allControlSymbols{
    ControlSymbol::cursorArrow,
    ControlSymbol::arrowUpRight,
    ControlSymbol::rectangle,
    ControlSymbol::rectangleFill,
    ControlSymbol::circle,
    ControlSymbol::lineDiagonal,
    ControlSymbol::textFormat,
    ControlSymbol::pencil,
    ControlSymbol::highlighter,
    ControlSymbol::numberCircle,
    ControlSymbol::pin,
    ControlSymbol::squareAndArrowDown,
    ControlSymbol::docOnDoc,
    ControlSymbol::arrowCounterclockwise,
    ControlSymbol::xmark,
    ControlSymbol::checkmark,
    ControlSymbol::arrowUturnBackward,
    ControlSymbol::arrowUturnForward,
    ControlSymbol::eyeSlash,
};

// The symbol's role name, for messages and logs: "pencil", "doc.on.doc", …
QString roleName(ControlSymbol symbol);

} // namespace kelpie
