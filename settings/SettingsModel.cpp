#include "settings/SettingsModel.h"

#include <QUrl>

namespace kelpie {

QString SettingsModel::functionHintText()
{
    return QStringLiteral("功能键可配合 Fn 使用，或在系统中启用标准功能键");
}

QString SettingsModel::fallbackHintText() { return QStringLiteral("备选 ⌃⌥S"); }

QString SettingsModel::defaultDirectoryText() { return QStringLiteral("桌面"); }

QString SettingsModel::invalidShortcutsMessage()
{
    return QStringLiteral("快捷键设置损坏，当前使用默认值");
}

QString SettingsModel::unusableDirectoryMessage()
{
    return QStringLiteral("保存位置不可用，请重新选择");
}

QString SettingsModel::loginChangeFailedMessage()
{
    return QStringLiteral("未能更改开机启动，请检查系统登录项设置");
}

QString SettingsModel::permissionGrantedText() { return QStringLiteral("已授权"); }

QString SettingsModel::permissionMissingText()
{
    return QStringLiteral("未授权，允许后重新打开应用");
}

QString SettingsModel::ownerGoneMessage() { return QStringLiteral("应用已关闭"); }

SettingsModel::SettingsModel(std::shared_ptr<AppPreferences> preferences,
                             ApplyShortcuts applyShortcuts, RecordingChanged recordingChanged,
                             std::shared_ptr<LoginItemService> login,
                             std::function<bool()> screenAccessGranted)
    : m_preferences(std::move(preferences)), m_applyShortcuts(std::move(applyShortcuts)),
      m_recordingChanged(std::move(recordingChanged)), m_login(std::move(login)),
      m_screenAccessGranted(std::move(screenAccessGranted)),
      m_captureRecorder(m_preferences->captureShortcut()),
      m_pinRecorder(m_preferences->pinShortcut())
{
    wire(m_captureRecorder, true);
    wire(m_pinRecorder, false);
    refresh();
}

void SettingsModel::wire(ShortcutRecording& recorder, bool isCapture)
{
    recorder.onChange = [this, isCapture](const AppShortcut& shortcut) {
        return isCapture ? changeShortcuts(shortcut, m_preferences->pinShortcut())
                         : changeShortcuts(m_preferences->captureShortcut(), shortcut);
    };
    recorder.onRecordingChanged = [this](bool recording) {
        if (!m_recordingChanged)
            return;
        if (const auto message = m_recordingChanged(recording))
            showError(*message);
    };
    recorder.onFailure = [this](const QString& message) { showError(message); };
    recorder.onTitleChanged = [this] { changed(); };
}

std::optional<QString> SettingsModel::changeShortcuts(const AppShortcut& capture,
                                                      const AppShortcut& pin)
{
    if (!m_applyShortcuts)
        return ownerGoneMessage();
    if (auto message = m_applyShortcuts(capture, pin))
        return message;
    m_preferences->setShortcuts(capture, pin);
    if (m_preferences->lastWriteFailure()) {
        // The hot keys now hold a pair that was never stored: put back the
        // stored one, so what works is what the next start will use.
        m_applyShortcuts(m_preferences->captureShortcut(), m_preferences->pinShortcut());
        return AppPreferences::saveFailureMessage();
    }
    m_captureRecorder.setShortcut(capture);
    m_pinRecorder.setShortcut(pin);
    showError({});
    refreshHints();
    return std::nullopt;
}

void SettingsModel::resetShortcuts()
{
    if (const auto message = changeShortcuts(AppShortcut::capture(), m_preferences->pinShortcut()))
        showError(*message);
}

void SettingsModel::refreshHints()
{
    const AppShortcut capture = m_preferences->captureShortcut();
    m_functionHintVisible = capture.isFunctionKey();
    m_fallbackHintVisible = !(capture == AppShortcut::fallback());
    changed();
}

void SettingsModel::refresh()
{
    m_captureRecorder.setShortcut(m_preferences->captureShortcut());
    m_pinRecorder.setShortcut(m_preferences->pinShortcut());

    const auto stored = m_preferences->saveDirectory();
    if (!stored) {
        m_directoryText = defaultDirectoryText();
        const auto desktop = AppPreferences::defaultSaveDirectory();
        m_directoryToolTip = desktop ? desktop->toLocalFile() : QString();
    } else {
        m_directoryText = stored->toLocalFile();
        m_directoryToolTip = m_directoryText;
    }

    const bool granted = !m_screenAccessGranted || m_screenAccessGranted();
    m_permissionText = granted ? permissionGrantedText() : permissionMissingText();
    readLoginStatus();
    refreshHints();

    if (m_preferences->hasInvalidShortcuts())
        showError(invalidShortcutsMessage());
    else if (stored && !m_preferences->usableSaveDirectory())
        showError(unusableDirectoryMessage());
    changed();
}

QString SettingsModel::directoryChooserStart() const
{
    if (const auto usable = m_preferences->usableSaveDirectory())
        return usable->toLocalFile();
    const auto desktop = AppPreferences::defaultSaveDirectory();
    return desktop ? desktop->toLocalFile() : QString();
}

void SettingsModel::chooseDirectory(const QString& path)
{
    if (path.isEmpty())
        return;
    m_preferences->setSaveDirectory(QUrl::fromLocalFile(path));
    const bool stored = !m_preferences->lastWriteFailure();
    showError({});
    refresh();
    if (!stored)
        showError(AppPreferences::saveFailureMessage());
}

void SettingsModel::clearDirectory()
{
    m_preferences->setSaveDirectory(std::nullopt);
    const bool stored = !m_preferences->lastWriteFailure();
    showError({});
    refresh();
    if (!stored)
        showError(AppPreferences::saveFailureMessage());
}

void SettingsModel::changeLogin(bool wanted)
{
    m_loginEnabled = false;
    changed();
    const Status<LoginItemError> done = m_login
        ? (wanted ? m_login->registerItem() : m_login->unregisterItem())
        : Status<LoginItemError>(LoginItemError::notFound);
    showError(done ? QString() : loginChangeFailedMessage());
    m_loginEnabled = true;
    readLoginStatus();
    changed();
}

void SettingsModel::openLoginSettings()
{
    if (m_login)
        m_login->openSettings();
}

void SettingsModel::readLoginStatus()
{
    const LoginItemStatus status = m_login ? m_login->status() : LoginItemStatus::notFound;
    m_loginChecked
        = status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval;
    m_loginSettingsVisible = status == LoginItemStatus::requiresApproval;
    switch (status) {
    case LoginItemStatus::notRegistered: m_loginStatusText.clear(); break;
    case LoginItemStatus::enabled: m_loginStatusText = QStringLiteral("已开启"); break;
    case LoginItemStatus::requiresApproval:
        m_loginStatusText = QStringLiteral("等待系统批准");
        break;
    case LoginItemStatus::notFound: m_loginStatusText = QStringLiteral("开机启动暂不可用"); break;
    case LoginItemStatus::unknown: m_loginStatusText = QStringLiteral("无法确认状态"); break;
    }
}

void SettingsModel::windowClosing()
{
    m_captureRecorder.stop();
    m_pinRecorder.stop();
}

void SettingsModel::showError(const QString& message)
{
    m_error = message;
    changed();
}

void SettingsModel::changed()
{
    if (onChanged)
        onChanged();
}

} // namespace kelpie
