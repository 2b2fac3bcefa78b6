#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace kelpie {

// The tray item and its menu: "区域截图", "钉住剪贴板", "设置…" and
// "退出 Kelpie", in that order, plus a disabled last row while a hot-key
// problem exists. Where the desktop has no tray the menu still exists (the
// main menu copies it) and the process says once that it runs without one.
class AppTray : public QObject {
    Q_OBJECT
public:
    // `icon` false builds the menu only (no tray item), for tests.
    // `hotkeys` false where the desktop binds Kelpie's keys in its own
    // settings, which the note of a missing tray then points to.
    explicit AppTray(bool icon, bool hotkeys = true);
    ~AppTray() override;

    QMenu* menu() const { return m_menu.get(); }
    // The four actions, in menu order.
    QAction* captureAction() const { return m_capture; }
    QAction* pinAction() const { return m_pin; }
    QAction* settingsAction() const { return m_settings; }
    QAction* quitAction() const { return m_quit; }
    // The disabled warning row, when one is shown.
    QAction* warningRow() const { return m_warning; }
    // Replaces the warning row: removed when `message` is absent.
    void setWarning(const std::optional<QString>& message);
    // True while a tray host shows the item.
    bool shown() const;

Q_SIGNALS:
    void captureRequested();
    void pinRequested();
    void settingsRequested();
    void quitRequested();

private:
    void watchAvailability();

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QAction* m_capture = nullptr;
    QAction* m_pin = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_warning = nullptr;
    bool m_toldNoTray = false;
    bool m_hotkeys;
};

} // namespace kelpie
