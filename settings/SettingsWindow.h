#pragma once

#include "settings/SettingsModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kelpie {

class CoreSurfaceView;
class ShortcutRecorder;

// The settings panel: a small titled window (720 × 240) in which the user
// records the capture shortcut, resets it and chooses the default save
// folder. Created by the application on first use and kept; closing it only
// hides it. What it does lives in its SettingsModel; the window shows that
// state and forwards its buttons.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int contentWidth = 720;
    static constexpr int contentHeight = 240;

    // Builds the window, refreshes it and centres it on the primary screen.
    // Without `login` the desktop's autostart entry is used.
    SettingsWindow(std::shared_ptr<AppPreferences> preferences,
                   SettingsModel::ApplyShortcuts applyShortcuts,
                   SettingsModel::RecordingChanged recordingChanged,
                   std::shared_ptr<LoginItemService> login = {}, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Called when the window closes, after recording has ended.
    std::function<void()> onClose;

    SettingsModel& model() { return *m_model; }

    // Refreshes, shows, raises and activates the window.
    void present();

    // The actions of the buttons.
    void resetShortcuts();
    // Opens the folder chooser on this window; OK stores the folder, Cancel
    // changes nothing.
    void chooseDirectory();
    void clearDirectory();
    void changeLogin();
    void openLoginSettings();

    // The views, for the controller's and the tests' eyes.
    ShortcutRecorder* captureRecorder() const { return m_captureRecorder; }
    ShortcutRecorder* pinRecorder() const { return m_pinRecorder; }
    QLabel* directoryLabel() const { return m_directory; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* functionHint() const { return m_functionHint; }
    QLabel* fallbackHint() const { return m_fallbackHint; }
    QCheckBox* loginCheckBox() const { return m_login; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    QWidget* row(const QString& title, const QList<QWidget*>& views);
    void showModel();
    void applyColors();

    std::unique_ptr<SettingsModel> m_model;
    CoreSurfaceView* m_surface = nullptr;
    ShortcutRecorder* m_captureRecorder = nullptr;
    ShortcutRecorder* m_pinRecorder = nullptr;
    QLabel* m_directory = nullptr;
    QLabel* m_permission = nullptr;
    QCheckBox* m_login = nullptr;
    QLabel* m_loginStatus = nullptr;
    QPushButton* m_loginSettings = nullptr;
    QLabel* m_error = nullptr;
    QLabel* m_functionHint = nullptr;
    QLabel* m_fallbackHint = nullptr;
};

} // namespace kelpie
