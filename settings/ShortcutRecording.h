#pragma once

#include "settings/AppShortcut.h"

#include <QString>

#include <functional>
#include <optional>

class QKeyEvent;

namespace kelpie {

// What a shortcut recorder button does, without the button: it shows a
// combination, waits for a key press when started, and asks its owner
// whether a pressed combination may be taken. Idle ↔ recording; recording
// ends by Escape, by an accepted or refused combination, by losing focus or
// by stop().
class ShortcutRecording {
public:
    static QString prompt();            // "按快捷键（Esc 取消）"
    static QString refusedKeyMessage(); // a press that makes no valid shortcut
    // The physical key number of Escape.
    static constexpr std::uint32_t escapeKeyCode = 53;

    explicit ShortcutRecording(AppShortcut shortcut);

    ShortcutRecording(const ShortcutRecording&) = delete;
    ShortcutRecording& operator=(const ShortcutRecording&) = delete;

    // Asked to accept a newly pressed combination; a message refuses it.
    std::function<std::optional<QString>(const AppShortcut&)> onChange;
    // Told when recording starts (true) and ends (false).
    std::function<void(bool)> onRecordingChanged;
    // Told why a press was refused.
    std::function<void(const QString&)> onFailure;
    // Told whenever title() may have changed.
    std::function<void()> onTitleChanged;
    // Set where the desktop, not Kelpie, decides global shortcuts: starting
    // then opens the desktop's own shortcut settings instead of recording.
    std::function<void()> openElsewhere;

    const AppShortcut& shortcut() const { return m_shortcut; }
    // While recording the prompt stays; the new combination shows once
    // recording ends.
    void setShortcut(const AppShortcut& shortcut);
    bool recording() const { return m_recording; }
    // The prompt while recording, else the combination's display name.
    QString title() const;

    // Does nothing while recording.
    void start();
    // Does nothing unless recording.
    void stop();
    // A key press while recording: Escape stops; a modifier key alone waits
    // for the key it modifies; a press that makes no valid shortcut is
    // refused and recording goes on; otherwise the owner is asked. Returns
    // false when not recording (the press is the button's).
    bool keyDown(const QKeyEvent& event);
    // The same with the press already read: `escape` for Escape, else the
    // shortcut it makes (absent when it makes none).
    bool press(bool escape, const std::optional<AppShortcut>& pressed);
    // Focus moved elsewhere: ends recording like stop().
    void focusLost() { stop(); }

    // Whether a key event is Escape, by its physical key or by its meaning.
    static bool isEscape(const QKeyEvent& event);
    // Whether a key event is the press of a modifier (or lock) key alone.
    static bool isModifierOnly(const QKeyEvent& event);

private:
    void titleChanged();

    AppShortcut m_shortcut;
    bool m_recording = false;
};

} // namespace kelpie
