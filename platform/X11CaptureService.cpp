#include "platform/X11CaptureService.h"

#include "platform/X11ImageReader.h"
#include "platform/X11Monitor.h"
#include "platform/X11WindowList.h"
#include "platform/XcbSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/composite.h>

namespace kelpie {
namespace {

CaptureService::Error unreachable() { return {QStringLiteral("the X server cannot be reached")}; }

// Fits an image to the size asked for; only a fractional device-pixel ratio
// makes them differ.
QImage sized(QImage image, PixelLimits::PixelSize size)
{
    if (image.width() == size.width && image.height() == size.height)
        return image;
    return image.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

struct QtScreen {
    std::uint32_t displayNumber = 0;
    QRect geometry;
    double ratio = 1;
};

} // namespace

struct X11CaptureService::Private {
    XcbSession session;
    std::unique_ptr<X11ImageReader> reader;
    QThreadPool worker;

    std::vector<QtScreen> qtScreens() const
    {
        const std::vector<X11Monitor> monitors = X11Monitor::list(session);
        std::vector<QtScreen> result;
        for (QScreen* screen : QGuiApplication::screens()) {
            result.push_back({X11Monitor::displayNumberOf(screen, monitors), screen->geometry(),
                              screen->devicePixelRatio()});
        }
        return result;
    }
};

X11CaptureService::X11CaptureService() : d(std::make_unique<Private>())
{
    d->worker.setMaxThreadCount(1);
    d->worker.setExpiryTimeout(-1);
    if (!d->session.isOpen())
        return;
    d->reader = std::make_unique<X11ImageReader>(d->session);
    if (d->session.hasComposite()) {
        // Automatic redirection coexists with a compositing manager's manual
        // one; it only asks the server to keep contents off screen.
        xcb_composite_redirect_subwindows(d->session.connection(), d->session.root(),
                                          XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        xcb_flush(d->session.connection());
    }
}

X11CaptureService::~X11CaptureService() { d->worker.waitForDone(); }

bool X11CaptureService::isConnected() const { return d->session.isOpen(); }

// X11 lets every client read the screen.
bool X11CaptureService::hasAccess() const { return true; }

std::int32_t X11CaptureService::processId() const
{
    return static_cast<std::int32_t>(QCoreApplication::applicationPid());
}

std::uint32_t X11CaptureService::displayNumber(const QScreen* screen) const
{
    if (!d->session.isOpen())
        return 0;
    return X11Monitor::displayNumberOf(screen, X11Monitor::list(d->session));
}

std::vector<CaptureService::Screen> X11CaptureService::screens() const
{
    std::vector<Screen> result;
    if (!d->session.isOpen())
        return result;
    for (const QtScreen& screen : d->qtScreens()) {
        const QRect& g = screen.geometry;
        result.push_back({screen.displayNumber, Rect(g.x(), g.y(), g.width(), g.height())});
    }
    return result;
}

QFuture<CaptureService::Result<ShareableContent>> X11CaptureService::shareableContent()
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(Result<ShareableContent>(unreachable()));
    // Qt's screens are read here, on the main thread; the server is asked
    // on the worker.
    std::vector<QtScreen> screens = d->qtScreens();
    Private* p = d.get();
    return QtConcurrent::run(&d->worker, [p, screens]() -> Result<ShareableContent> {
        std::optional<X11WindowList> windows = X11WindowList::list(p->session);
        if (!windows)
            return Error{QStringLiteral("the X server did not list its windows")};
        ShareableContent content;
        for (const X11Monitor& monitor : X11Monitor::list(p->session)) {
            ShareableContent::Display display;
            display.displayID = monitor.displayNumber;
            display.nativeFrame = monitor.nativeFrame;
            // In points the display is Qt's logical screen; a monitor Qt does
            // not show counts one point per pixel.
            display.contentRect
                = Rect(0, 0, monitor.nativeFrame.width(), monitor.nativeFrame.height());
            for (const QtScreen& screen : screens) {
                if (screen.displayNumber == monitor.displayNumber) {
                    display.contentRect
                        = Rect(0, 0, screen.geometry.width(), screen.geometry.height());
                    display.pointPixelScale = screen.ratio;
                }
            }
            content.displays.push_back(display);
        }
        content.windows = std::move(windows->windows);
        p->session.discardEvents();
        return content;
    });
}

QFuture<CaptureService::Result<QImage>> X11CaptureService::captureDisplay(
    const ShareableContent::Display& display, PixelLimits::PixelSize size, std::int32_t excludedPID)
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(Result<QImage>(unreachable()));
    Private* p = d.get();
    return QtConcurrent::run(&d->worker, [p, display, size, excludedPID]() -> Result<QImage> {
        // The stacking is read again at the moment of the grab, so a window of
        // ours that appeared since the listing is still left out.
        std::optional<X11WindowList> windows = X11WindowList::list(p->session);
        if (!windows)
            return Error{QStringLiteral("the X server did not list its windows")};
        // The size was checked in points; what is read is the monitor's device
        // pixels, which must pass the same budget before anything is allocated.
        if (!PixelLimits::accepts(display.nativeFrame.width(), display.nativeFrame.height()))
            return Error{QStringLiteral("the display's device size is out of bounds")};
        X11ImageReader::Result image
            = p->reader->readDesktop(display.nativeFrame, windows->topLevels, excludedPID);
        if (auto* failure = std::get_if<QString>(&image))
            return Error{*failure};
        return sized(std::move(std::get<QImage>(image)), size);
    });
}

QFuture<CaptureService::Result<QImage>> X11CaptureService::captureWindow(
    const ShareableContent::Window& window, PixelLimits::PixelSize size)
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(Result<QImage>(unreachable()));
    Private* p = d.get();
    const std::uint32_t id = window.windowID;
    return QtConcurrent::run(&d->worker, [p, id, size]() -> Result<QImage> {
        const std::optional<X11TopLevel> topLevel = X11WindowList::topLevelOf(p->session, id);
        if (!topLevel)
            return Error{QStringLiteral("the window is no longer shown")};
        // The window may have grown since it was listed and measured.
        if (!PixelLimits::accepts(topLevel->visibleFrame.width(), topLevel->visibleFrame.height()))
            return Error{QStringLiteral("the window has grown beyond the pixel budget")};
        X11ImageReader::Result image = p->reader->readWindow(*topLevel);
        if (auto* failure = std::get_if<QString>(&image))
            return Error{*failure};
        return sized(std::move(std::get<QImage>(image)), size);
    });
}

} // namespace kelpie
