#include "overlay/SelectionWindow.h"

#include "editor/WindowLevel.h"
#include "overlay/SelectionView.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

namespace kelpie {
namespace {

QRect primaryGeometryOf(const QScreen* screen)
{
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        return primary->geometry();
    return screen ? screen->geometry() : QRect();
}

} // namespace

SelectionWindow::SelectionWindow(const QImage& image, const QRect& screenGeometry,
                                 const QRect& primaryGeometry)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      m_view(new SelectionView(image,
                               Size{static_cast<double>(screenGeometry.width()),
                                    static_cast<double>(screenGeometry.height())},
                               this)),
      m_frameInDesktop(desktopFrame(screenGeometry, primaryGeometry))
{
    setWindowTitle(QStringLiteral("Kelpie · 框选"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    WindowLevel::set(this, WindowLevel::screenSaver);
    setGeometry(screenGeometry);
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
}

SelectionWindow::SelectionWindow(const QImage& image, const QScreen* screen)
    : SelectionWindow(image, screen ? screen->geometry() : QRect(), primaryGeometryOf(screen))
{
    if (screen)
        setScreen(const_cast<QScreen*>(screen));
}

Rect SelectionWindow::desktopFrame(const QRect& screen, const QRect& primary)
{
    // Global desktop space has its origin at the primary screen's
    // bottom-left corner and grows upwards.
    const double primaryBottom = static_cast<double>(primary.y()) + primary.height();
    return {static_cast<double>(screen.x() - primary.x()),
            primaryBottom - (static_cast<double>(screen.y()) + screen.height()),
            static_cast<double>(screen.width()), static_cast<double>(screen.height())};
}

void SelectionWindow::present()
{
    show();
    raise();
    activateWindow();
    m_view->setFocus(Qt::ActiveWindowFocusReason);
}

void SelectionWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
}

} // namespace kelpie
