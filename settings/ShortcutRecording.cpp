#include "settings/ShortcutRecording.h"

#include "platform/KeyCodeTable.h"

#include <QKeyEvent>

namespace kelpie {

QString ShortcutRecording::prompt() { return QStringLiteral("按快捷键（Esc 取消）"); }

QString ShortcutRecording::refusedKeyMessage()
{
    return QStringLiteral("请使用组合键或功能键，避开系统截图和常用系统快捷键");
}

ShortcutRecording::ShortcutRecording(AppShortcut shortcut) : m_shortcut(std::move(shortcut)) { }

void ShortcutRecording::setShortcut(const AppShortcut& shortcut)
{
    m_shortcut = shortcut;
    if (!m_recording)
        titleChanged();
}

QString ShortcutRecording::title() const
{
    return m_recording ? prompt() : m_shortcut.displayName();
}

void ShortcutRecording::start()
{
    if (openElsewhere) {
        openElsewhere();
        return;
    }
    if (m_recording)
        return;
    m_recording = true;
    titleChanged();
    if (onRecordingChanged)
        onRecordingChanged(true);
}

void ShortcutRecording::stop()
{
    if (!m_recording)
        return;
    m_recording = false;
    titleChanged();
    if (onRecordingChanged)
        onRecordingChanged(false);
}

bool ShortcutRecording::isEscape(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Escape)
        return true;
    const auto code = KeyCodeTable::virtualKeyCode(event.nativeScanCode());
    return code && *code == escapeKeyCode;
}

bool ShortcutRecording::isModifierOnly(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch: return true;
    default: return false;
    }
}

bool ShortcutRecording::keyDown(const QKeyEvent& event)
{
    if (!m_recording)
        return false;
    // The modifiers of a combination are pressed before its key; they are
    // part of the press to come, not a press of their own.
    if (isModifierOnly(event))
        return true;
    return press(isEscape(event), AppShortcut::from(event));
}

bool ShortcutRecording::press(bool escape, const std::optional<AppShortcut>& pressed)
{
    if (!m_recording)
        return false;
    if (escape) {
        stop();
        return true;
    }
    if (!pressed) {
        if (onFailure)
            onFailure(refusedKeyMessage());
        return true;
    }
    if (onChange) {
        // Keep a copy: the owner may change the shown shortcut while asked.
        const AppShortcut candidate = *pressed;
        if (const auto refusal = onChange(candidate)) {
            stop();
            if (onFailure)
                onFailure(*refusal);
            return true;
        }
        m_shortcut = candidate;
    } else {
        m_shortcut = *pressed;
    }
    stop();
    return true;
}

void ShortcutRecording::titleChanged()
{
    if (onTitleChanged)
        onTitleChanged();
}

} // namespace kelpie
