#include "app/MainMenuKeys.h"

namespace kelpie {
namespace MainMenuKeys {

namespace {

constexpr Qt::KeyboardModifiers significant
    = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

const std::vector<MenuKey>& entries()
{
    static const std::vector<MenuKey> rows{
        {MenuCommand::openSettings, QStringLiteral("设置…"), Qt::Key_Comma, Qt::ControlModifier},
        {MenuCommand::quit, QStringLiteral("退出 Kelpie"), Qt::Key_Q, Qt::ControlModifier},
        {MenuCommand::cut, QStringLiteral("剪切"), Qt::Key_X, Qt::ControlModifier},
        {MenuCommand::copy, QStringLiteral("复制"), Qt::Key_C, Qt::ControlModifier},
        {MenuCommand::paste, QStringLiteral("粘贴"), Qt::Key_V, Qt::ControlModifier},
        {MenuCommand::selectAll, QStringLiteral("全选"), Qt::Key_A, Qt::ControlModifier},
        {MenuCommand::saveDocument, QStringLiteral("保存"), Qt::Key_S, Qt::ControlModifier},
        {MenuCommand::undo, QStringLiteral("撤销"), Qt::Key_Z, Qt::ControlModifier},
        {MenuCommand::redo, QStringLiteral("重做"), Qt::Key_Z,
         Qt::ControlModifier | Qt::ShiftModifier},
        {MenuCommand::copyAllText, QStringLiteral("复制全部文字"), Qt::Key_C,
         Qt::ControlModifier | Qt::ShiftModifier},
        {MenuCommand::pinImage, QStringLiteral("钉图"), Qt::Key_T, Qt::ControlModifier},
    };
    return rows;
}

std::optional<MenuCommand> commandFor(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & significant;
    for (const MenuKey& row : entries()) {
        if (row.key == key && row.modifiers == held)
            return row.command;
    }
    return std::nullopt;
}

bool belongsToTextControl(MenuCommand command)
{
    switch (command) {
    case MenuCommand::cut:
    case MenuCommand::copy:
    case MenuCommand::paste:
    case MenuCommand::selectAll:
    case MenuCommand::undo:
    case MenuCommand::redo: return true;
    case MenuCommand::openSettings:
    case MenuCommand::quit:
    case MenuCommand::saveDocument:
    case MenuCommand::copyAllText:
    case MenuCommand::pinImage: return false;
    }
    return false;
}

} // namespace MainMenuKeys
} // namespace kelpie
