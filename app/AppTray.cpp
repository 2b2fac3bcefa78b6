#include "app/AppTray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace kelpie {

namespace {

// The tray glyph: a frame with two crop corners, drawn rather than loaded
// so it is sharp at every panel size.
QPixmap trayGlyph(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 22.0;
    QRectF body(2 * unit, 2 * unit, 18 * unit, 18 * unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x8a, 0x8a));
    painter.drawRoundedRect(body, 5 * unit, 5 * unit);
    QPen pen(Qt::white, 2 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPainterPath corners;
    corners.moveTo(6 * unit, 10 * unit);
    corners.lineTo(6 * unit, 6 * unit);
    corners.lineTo(10 * unit, 6 * unit);
    corners.moveTo(16 * unit, 12 * unit);
    corners.lineTo(16 * unit, 16 * unit);
    corners.lineTo(12 * unit, 16 * unit);
    painter.drawPath(corners);
    return pixmap;
}

QIcon trayIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64})
        icon.addPixmap(trayGlyph(size));
    return icon;
}

} // namespace

AppTray::AppTray(bool icon, bool hotkeys) : m_menu(std::make_unique<QMenu>()), m_hotkeys(hotkeys)
{
    m_capture = m_menu->addAction(QStringLiteral("区域截图"), this, &AppTray::captureRequested);
    m_pin = m_menu->addAction(QStringLiteral("钉住剪贴板"), this, &AppTray::pinRequested);
    m_settings = m_menu->addAction(QStringLiteral("设置…"), this, &AppTray::settingsRequested);
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quit = m_menu->addAction(QStringLiteral("退出 Kelpie"), this, &AppTray::quitRequested);
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    if (!icon)
        return;
    m_icon = std::make_unique<QSystemTrayIcon>(trayIcon());
    m_icon->setToolTip(QStringLiteral("Kelpie"));
    m_icon->setContextMenu(m_menu.get());
    // A left click opens the same menu, as on panels that have no context
    // menu gesture.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menu->popup(QCursor::pos());
            });
    m_icon->show();
    watchAvailability();
}

AppTray::~AppTray()
{
    if (m_icon)
        m_icon->hide();
}

void AppTray::watchAvailability()
{
    // A tray host may start after Kelpie; the toolkit shows the item once it
    // does. Without one, say so once: the hot keys still work.
    QTimer::singleShot(0, this, [this] {
        if (m_toldNoTray || QSystemTrayIcon::isSystemTrayAvailable())
            return;
        m_toldNoTray = true;
        std::fputs(m_hotkeys ? "Kelpie: this desktop has no system tray; Kelpie keeps running and "
                               "captures with its hot keys (F1 by default).\n"
                             : "Kelpie: this desktop has no system tray; Kelpie keeps running: bind "
                               "`kelpie --capture-now` to a key in the desktop's keyboard "
                               "settings to capture.\n",
                   stderr);
    });
}

void AppTray::setWarning(const std::optional<QString>& message)
{
    if (m_warning) {
        m_menu->removeAction(m_warning);
        m_warning->deleteLater();
        m_warning = nullptr;
    }
    if (!message)
        return;
    m_warning = m_menu->addAction(*message);
    m_warning->setEnabled(false);
}

bool AppTray::shown() const
{
    return m_icon && m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace kelpie
