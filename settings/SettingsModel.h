#pragma once

#include "platform/LoginItemService.h"
#include "settings/AppPreferences.h"
#include "settings/ShortcutRecording.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kelpie {

// Everything the settings window does, without the window: the two
// recorders and how they are wired, the shortcut change, reset, the save
// folder, login start, and the texts and visibility of every label. The
// window shows this state and forwards its buttons here; tests drive it
// directly. Settings are written only through the preferences, and hot keys
// are changed only through the two callbacks of the owner.
class SettingsModel {
public:
    // Registers the hot keys; a message means they could not be.
    using ApplyShortcuts
        = std::function<std::optional<QString>(const AppShortcut& capture, const AppShortcut& pin)>;
    // Pauses (true) or resumes (false) the hot keys; a message means
    // resuming failed.
    using RecordingChanged = std::function<std::optional<QString>(bool recording)>;

    static QString functionHintText(); // "功能键可配合 Fn 使用，或在系统中启用标准功能键"
    static QString fallbackHintText();     // "备选 ⌃⌥S"
    static QString defaultDirectoryText(); // "桌面"
    static QString invalidShortcutsMessage();
    static QString unusableDirectoryMessage();
    static QString loginChangeFailedMessage();
    static QString permissionGrantedText();
    static QString permissionMissingText();
    // What the owner's callbacks answer once the owner is gone.
    static QString ownerGoneMessage();

    SettingsModel(std::shared_ptr<AppPreferences> preferences, ApplyShortcuts applyShortcuts,
                  RecordingChanged recordingChanged, std::shared_ptr<LoginItemService> login,
                  std::function<bool()> screenAccessGranted = {});

    SettingsModel(const SettingsModel&) = delete;
    SettingsModel& operator=(const SettingsModel&) = delete;

    // Told after any of the state below may have changed.
    std::function<void()> onChanged;

    const std::shared_ptr<AppPreferences>& preferences() const { return m_preferences; }
    ShortcutRecording& captureRecorder() { return m_captureRecorder; }
    ShortcutRecording& pinRecorder() { return m_pinRecorder; }

    // The one error line; hidden when empty.
    const QString& error() const { return m_error; }
    bool functionHintVisible() const { return m_functionHintVisible; }
    bool fallbackHintVisible() const { return m_fallbackHintVisible; }
    const QString& directoryText() const { return m_directoryText; }
    const QString& directoryToolTip() const { return m_directoryToolTip; }
    const QString& permissionText() const { return m_permissionText; }
    bool loginChecked() const { return m_loginChecked; }
    bool loginEnabled() const { return m_loginEnabled; }
    const QString& loginStatusText() const { return m_loginStatusText; }
    bool loginSettingsVisible() const { return m_loginSettingsVisible; }

    // Registers, then stores, both shortcuts; a message (nothing stored, the
    // recorders unchanged) when the hot keys or the write refuse them.
    std::optional<QString> changeShortcuts(const AppShortcut& capture, const AppShortcut& pin);
    // The capture shortcut back to F1; the pin shortcut stays.
    void resetShortcuts();
    void refreshHints();
    // Re-reads everything shown from the preferences and the desktop.
    void refresh();

    // Where the folder chooser opens: the usable stored folder, else the Desktop.
    QString directoryChooserStart() const;
    // The folder the user chose.
    void chooseDirectory(const QString& path);
    // Back to the default folder.
    void clearDirectory();

    // The login checkbox was switched to `wanted`.
    void changeLogin(bool wanted);
    void openLoginSettings();

    // The window is closing: recording ends.
    void windowClosing();

private:
    void wire(ShortcutRecording& recorder, bool isCapture);
    void showError(const QString& message);
    void readLoginStatus();
    void changed();

    std::shared_ptr<AppPreferences> m_preferences;
    ApplyShortcuts m_applyShortcuts;
    RecordingChanged m_recordingChanged;
    std::shared_ptr<LoginItemService> m_login;
    std::function<bool()> m_screenAccessGranted;

    ShortcutRecording m_captureRecorder;
    ShortcutRecording m_pinRecorder;

    QString m_error;
    bool m_functionHintVisible = false;
    bool m_fallbackHintVisible = true;
    QString m_directoryText;
    QString m_directoryToolTip;
    QString m_permissionText;
    bool m_loginChecked = false;
    bool m_loginEnabled = true;
    QString m_loginStatusText;
    bool m_loginSettingsVisible = false;
};

} // namespace kelpie
