#include "editor/ControlSymbol.h"

namespace kelpie {

QString roleName(ControlSymbol symbol)
{
    switch (symbol) {
    case ControlSymbol::cursorArrow: return QStringLiteral("cursorarrow");
    case ControlSymbol::arrowUpRight: return QStringLiteral("arrow.up.right");
    case ControlSymbol::rectangle: return QStringLiteral("rectangle");
    case ControlSymbol::rectangleFill: return QStringLiteral("rectangle.fill");
    case ControlSymbol::circle: return QStringLiteral("circle");
    case ControlSymbol::lineDiagonal: return QStringLiteral("line.diagonal");
    case ControlSymbol::textFormat: return QStringLiteral("textformat");
    case ControlSymbol::pencil: return QStringLiteral("pencil");
    case ControlSymbol::highlighter: return QStringLiteral("highlighter");
    case ControlSymbol::numberCircle: return QStringLiteral("number.circle");
    case ControlSymbol::pin: return QStringLiteral("pin");
    case ControlSymbol::squareAndArrowDown: return QStringLiteral("square.and.arrow.down");
    case ControlSymbol::docOnDoc: return QStringLiteral("doc.on.doc");
    case ControlSymbol::arrowCounterclockwise: return QStringLiteral("arrow.counterclockwise");
    case ControlSymbol::xmark: return QStringLiteral("xmark");
    case ControlSymbol::checkmark: return QStringLiteral("checkmark");
    case ControlSymbol::arrowUturnBackward: return QStringLiteral("arrow.uturn.backward");
    case ControlSymbol::arrowUturnForward: return QStringLiteral("arrow.uturn.forward");
    case ControlSymbol::eyeSlash: return QStringLiteral("eye.slash");
    }
    return {};
}

} // namespace kelpie
