#include "overlay/SelectionWindow.h"

#include "core/PagePopulation.h"
#include "editor/WindowLevel.h"
#include "overlay/SelectionView.h"
#include "platform/X11FirstFrame.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QEnterEvent>
#include <QResizeEvent>
#include <QScreen>

#include <system_error>
#include <thread>

namespace kelpie {
namespace {

QRect primaryGeometryOf(const QScreen* screen)
{
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        return primary->geometry();
    return screen ? screen->geometry() : QRect();
}

// Writes every page of the window's backing store once, on a thread of its
// own. A new window's backing store is fresh shared memory whose pages the
// kernel zero-fills on their first write: some 2,000 faults at 1920 × 1080,
// 8,000 at 4K, which otherwise fall into the first frame's paint. The
// caller joins the thread before the event loop can paint the window.
std::thread prefaultBackingStore(QWidget& window)
{
    // Creates the native window, still unmapped.
    (void)window.winId();
    QBackingStore* store = window.backingStore();
    if (!store)
        return {};
    store->resize(window.size());
    store->beginPaint(QRegion(window.rect()));
    auto* image = dynamic_cast<QImage*>(store->paintDevice());
    // Not bits(): it may detach and write to a copy.
    auto* bytes = image ? const_cast<uchar*>(image->constBits()) : nullptr;
    const auto count = image ? std::size_t(image->sizeInBytes()) : 0;
    store->endPaint();
    if (!bytes)
        return {};
    try {
        return std::thread([bytes, count] { populatePages(bytes, count); });
    } catch (const std::system_error&) {
        return {};
    }
}

} // namespace

SelectionWindow::SelectionWindow(const QRect& screenGeometry, const QRect& primaryGeometry)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
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
}

SelectionWindow::SelectionWindow(const QImage& image, const QRect& screenGeometry,
                                 const QRect& primaryGeometry)
    : SelectionWindow(screenGeometry, primaryGeometry)
{
    setImage(image);
}

SelectionWindow::SelectionWindow(const QImage& image, const QScreen* screen)
    : SelectionWindow(screen)
{
    setImage(image);
}

SelectionWindow::SelectionWindow(const QScreen* screen)
    : SelectionWindow(screen ? screen->geometry() : QRect(), primaryGeometryOf(screen))
{
    if (screen)
        setScreen(const_cast<QScreen*>(screen));
}

SelectionWindow::~SelectionWindow()
{
    if (m_prefault.joinable())
        m_prefault.join();
}

void SelectionWindow::setImage(const QImage& image)
{
    if (m_view)
        return;
    m_view = new SelectionView(image,
                               Size{static_cast<double>(width()), static_cast<double>(height())},
                               this);
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
}

void SelectionWindow::clear()
{
    hide();
    if (!m_view)
        return;
    setFocusProxy(nullptr);
    // Later: the view may be the one handling the event that ends the capture.
    m_view->hide();
    m_view->deleteLater();
    m_view = nullptr;
}

void SelectionWindow::prepare()
{
    // Once: the memory stays written after the thread is joined.
    if (m_prepared)
        return;
    m_prepared = true;
    // Where the server dims the window as it maps it, the window looks
    // ready before its own first drawing reaches the server; writing that
    // drawing's memory now would only take the processor from the screen's
    // read.
    if (X11FirstFrame::available()) {
        (void)winId();
        return;
    }
    m_prefault = prefaultBackingStore(*this);
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
    // The pages are written while show() waits for the display server,
    // unless the window was made ready earlier.
    prepare();
    // Dimmed by the server as it maps the window, before this window's own
    // first drawing, whose fresh memory takes the server a while.
    if (m_view)
        X11FirstFrame::dimWhenExposed(this, SelectionView::dimming(),
                                      m_view->undimmed().translated(m_view->pos()));
    WindowLevel::showCoveringScreen(this);
    raise();
    activateWindow();
    if (m_view)
        m_view->setFocus(Qt::ActiveWindowFocusReason);
    if (m_prefault.joinable())
        m_prefault.join();
}

void SelectionWindow::resizeEvent(QResizeEvent* event)
{
    // The drawing memory being written may be replaced for the new size.
    if (m_prefault.joinable())
        m_prefault.join();
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}

void SelectionWindow::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    Q_EMIT pointerEntered();
}

} // namespace kelpie
