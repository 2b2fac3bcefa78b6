#include "settings/AppShortcut.h"

#include "platform/KeyCodeTable.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace {

// Key codes refused with Command and Shift: 3, 4 and 5, the desktop's own
// screenshot keys.
constexpr std::array<std::uint32_t, 3> commandShiftReserved = {20, 21, 23};
// Key codes refused with Command: Q, W, Tab and Space.
constexpr std::array<std::uint32_t, 4> commandReserved = {12, 13, 48, 49};
// The modifier keys themselves, left and right: Command, Shift, Option and
// Control. Grabbing one would swallow every combination made with it.
constexpr std::array<std::uint32_t, 8> modifierKeys = {55, 54, 56, 60, 58, 61, 59, 62};

constexpr std::uint32_t maximumKeyCode = 127;
constexpr qsizetype maximumKeyNameBytes = 16;

template<std::size_t N> bool contains(const std::array<std::uint32_t, N>& codes, std::uint32_t code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool hasWhitespace(const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isSpace(c))
            return true;
    }
    return false;
}

std::optional<std::uint32_t> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > 4294967295.0
        || number != std::floor(number))
        return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch: return true;
    default: return false;
    }
}

// What the key says without Control, Alt or Super: Qt's key value is
// already free of those. Keys that type nothing get Qt's own name.
QString unmodifiedLabel(const QKeyEvent& event)
{
    const int key = event.key();
    if (key == Qt::Key_Backtab)
        return QStringLiteral("TAB");
    if (key > 0 && key < 0x01000000) {
        const char32_t character = static_cast<char32_t>(key);
        return QString::fromUcs4(&character, 1).toUpper();
    }
    if (key == 0 || key == Qt::Key_unknown)
        return {};
    return QKeySequence(key).toString(QKeySequence::PortableText).toUpper();
}

} // namespace

AppShortcut AppShortcut::capture() { return {122, 0, QStringLiteral("F1")}; }

AppShortcut AppShortcut::pin() { return {99, 0, QStringLiteral("F3")}; }

AppShortcut AppShortcut::fallback() { return {1, control | option, QStringLiteral("S")}; }

bool AppShortcut::isFunctionKey() const { return contains(functionCodes, keyCode); }

bool AppShortcut::isValid() const
{
    if (keyCode > maximumKeyCode)
        return false;
    if ((modifiers & ~modifierMask) != 0)
        return false;
    const qsizetype nameBytes = keyName.toUtf8().size();
    if (nameBytes < 1 || nameBytes > maximumKeyNameBytes || hasWhitespace(keyName))
        return false;
    if (!isFunctionKey() && (modifiers & (command | option | control)) == 0)
        return false;
    if ((modifiers & command) && (modifiers & shift) && contains(commandShiftReserved, keyCode))
        return false;
    if ((modifiers & command) && contains(commandReserved, keyCode))
        return false;
    if (contains(modifierKeys, keyCode))
        return false;
    return true;
}

QString AppShortcut::displayName() const
{
    QString name;
    if (modifiers & control)
        name += QStringLiteral("⌃");
    if (modifiers & option)
        name += QStringLiteral("⌥");
    if (modifiers & shift)
        name += QStringLiteral("⇧");
    if (modifiers & command)
        name += QStringLiteral("⌘");
    return name + keyName;
}

QByteArray AppShortcut::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("keyCode"), static_cast<qint64>(keyCode));
    object.insert(QStringLiteral("modifiers"), static_cast<qint64>(modifiers));
    object.insert(QStringLiteral("keyName"), keyName);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<AppShortcut> AppShortcut::fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto code = wholeNumber(object.value(QStringLiteral("keyCode")));
    const auto mask = wholeNumber(object.value(QStringLiteral("modifiers")));
    const QJsonValue name = object.value(QStringLiteral("keyName"));
    if (!code || !mask || !name.isString())
        return std::nullopt;
    return AppShortcut{*code, *mask, name.toString()};
}

std::optional<AppShortcut> AppShortcut::from(const QKeyEvent& event)
{
    if (isModifierKey(event.key()))
        return std::nullopt;
    const auto code = KeyCodeTable::virtualKeyCode(event.nativeScanCode());
    if (!code)
        return std::nullopt;

    AppShortcut shortcut;
    shortcut.keyCode = *code;
    const Qt::KeyboardModifiers flags = event.modifiers();
    if (flags & Qt::ShiftModifier)
        shortcut.modifiers |= shift;
    if (flags & Qt::AltModifier)
        shortcut.modifiers |= option;
    if (flags & Qt::MetaModifier)
        shortcut.modifiers |= command;
    if (flags & Qt::ControlModifier)
        shortcut.modifiers |= control;

    const auto* function = std::find(functionCodes.begin(), functionCodes.end(), *code);
    if (function != functionCodes.end())
        shortcut.keyName = QStringLiteral("F%1").arg(function - functionCodes.begin() + 1);
    else
        shortcut.keyName = unmodifiedLabel(event);

    if (!shortcut.isValid())
        return std::nullopt;
    return shortcut;
}

} // namespace kelpie
