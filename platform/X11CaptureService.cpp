#include "platform/X11CaptureService.h"

#include "platform/X11CaptureRedirection.h"
#include "platform/X11ImageReader.h"
#include "platform/X11Monitor.h"
#include "platform/X11WindowList.h"
#include "platform/XcbSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

namespace kelpie {
namespace {

// How far around each of this process's windows the frozen image is rebuilt
// from the windows beneath when a compositing manager runs: it draws window
// shadows outside the windows (xcompmgr reaches 33 pixels out, most others
// less than this).
constexpr int compositedShadowReach = 64;

// How long a compositing manager may go on showing a window after it was
// closed: fading out takes xcompmgr and picom about a third of a second.
constexpr std::chrono::milliseconds compositedAfterglow{1000};

const char* const unreachable = "the X server cannot be reached";

// How long a frozen screen's shared memory is kept for the next capture
// after its image is gone. Captures in quick succession reuse it; a tray
// process that sits idle holds no screen-sized memory.
constexpr std::chrono::milliseconds idleSegmentLifetime{1000};

std::string describe(const Rect& r)
{
    return std::to_string(static_cast<long long>(r.width())) + " × "
        + std::to_string(static_cast<long long>(r.height())) + " at ("
        + std::to_string(static_cast<long long>(r.minX())) + ", "
        + std::to_string(static_cast<long long>(r.minY())) + ")";
}

struct QtScreen {
    std::uint32_t displayNumber = 0;
    QRect geometry;
    double ratio = 1;
};

// The display in points as Qt shows it. When Qt's screen agrees with the
// monitor (the same origin, and a size that is the device size divided by
// the ratio, rounded), the points are the exact device size over the ratio,
// so that the pixel size asked for is the device size even at a fractional
// ratio. When they disagree, the mode changed and Qt has not caught up: the
// points are Qt's, and the capture finds the sizes differ.
ShareableContent::Display displayOf(const X11Monitor& monitor, const std::vector<QtScreen>& screens)
{
    ShareableContent::Display display;
    display.displayID = monitor.displayNumber;
    display.nativeFrame = monitor.nativeFrame;
    const Rect& native = monitor.nativeFrame;
    // A monitor Qt does not show counts one point per pixel.
    display.contentRect = Rect(0, 0, native.width(), native.height());
    for (const QtScreen& screen : screens) {
        if (screen.displayNumber != monitor.displayNumber)
            continue;
        const QRect& g = screen.geometry;
        const double ratio = screen.ratio;
        const bool agrees = native.minX() == g.x() && native.minY() == g.y()
            && std::abs(native.width() - g.width() * ratio) < ratio
            && std::abs(native.height() - g.height() * ratio) < ratio;
        display.contentRect = agrees ? Rect(0, 0, native.width() / ratio, native.height() / ratio)
                                     : Rect(0, 0, g.width(), g.height());
        display.pointPixelScale = ratio;
    }
    return display;
}

} // namespace

struct X11CaptureService::Private {
    XcbSession session;
    std::unique_ptr<X11ImageReader> reader;
    std::unique_ptr<X11CaptureRedirection> redirection;
    QThreadPool worker;
    // Makes a capture's memory ready while the worker lists the windows.
    QThreadPool preparer;
    // Gives the reader's idle segments back once captures have paused.
    std::unique_ptr<QTimer> idleRelease;

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

    Result<QImage> readDisplay(const ShareableContent::Display& display,
                               PixelLimits::PixelSize size, std::int32_t excludedPID) const;
    Result<QImage> readWindow(const ShareableContent::Window& window,
                              PixelLimits::PixelSize size) const;
};

X11CaptureService::X11CaptureService() : d(std::make_unique<Private>())
{
    d->worker.setMaxThreadCount(1);
    d->worker.setExpiryTimeout(-1);
    d->preparer.setMaxThreadCount(1);
    if (!d->session.isOpen())
        return;
    d->reader = std::make_unique<X11ImageReader>(d->session);
    d->idleRelease = std::make_unique<QTimer>();
    d->idleRelease->setSingleShot(true);
    d->idleRelease->setInterval(idleSegmentLifetime);
    const X11ImageReader* reader = d->reader.get();
    QObject::connect(d->idleRelease.get(), &QTimer::timeout,
                     [reader] { reader->releaseIdleSegments(); });
    // Segments come back on whichever thread drops the last image; the timer
    // lives on this one. A call still queued when the timer is gone is dropped.
    QTimer* timer = d->idleRelease.get();
    d->reader->setOnSegmentIdle([timer] {
        QMetaObject::invokeMethod(timer, [timer] { timer->start(); }, Qt::QueuedConnection);
    });
    if (d->session.hasComposite())
        d->redirection = std::make_unique<X11CaptureRedirection>(d->session, processId());
}

X11CaptureService::~X11CaptureService()
{
    d->worker.waitForDone();
    d->preparer.waitForDone();
    if (d->reader)
        d->reader->setOnSegmentIdle({});
    d->idleRelease.reset();
    d->redirection.reset();
}

bool X11CaptureService::isConnected() const { return d->session.isOpen(); }

bool X11CaptureService::catchUp() const { return !d->redirection || d->redirection->catchUp(); }

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

// A screen-sized segment takes milliseconds to fill (tens at 4K); that is
// done beside the listing, which mostly waits for the server.
void X11CaptureService::expectDisplayCapture(std::uint32_t displayNumber)
{
    if (!d->reader)
        return;
    Private* p = d.get();
    d->preparer.start([p, displayNumber] {
        for (const X11Monitor& monitor : X11Monitor::list(p->session)) {
            if (monitor.displayNumber == displayNumber)
                p->reader->readyFor(static_cast<int>(monitor.nativeFrame.width()),
                                    static_cast<int>(monitor.nativeFrame.height()));
        }
    });
}

QFuture<CaptureService::Result<ShareableContent>> X11CaptureService::shareableContent()
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(
            Result<ShareableContent>(CaptureError::system, unreachable));
    // Qt's screens are read here, on the main thread; the server is asked
    // on the worker.
    std::vector<QtScreen> screens = d->qtScreens();
    Private* p = d.get();
    return QtConcurrent::run(&d->worker, [p, screens]() -> Result<ShareableContent> {
        // Every window listed is kept off screen from here on, if it may be.
        if (p->redirection)
            p->redirection->catchUp();
        std::optional<X11WindowList> windows = X11WindowList::list(p->session);
        if (!windows)
            return Result<ShareableContent>(CaptureError::system,
                                            "the X server did not list its windows");
        ShareableContent content;
        for (const X11Monitor& monitor : X11Monitor::list(p->session))
            content.displays.push_back(displayOf(monitor, screens));
        content.windows = std::move(windows->windows);
        return content;
    });
}

QFuture<CaptureService::Result<QImage>> X11CaptureService::captureDisplay(
    const ShareableContent::Display& display, PixelLimits::PixelSize size, std::int32_t excludedPID)
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(Result<QImage>(CaptureError::system, unreachable));
    Private* p = d.get();
    return QtConcurrent::run(&d->worker, [p, display, size, excludedPID] {
        return p->readDisplay(display, size, excludedPID);
    });
}

CaptureService::Result<QImage> X11CaptureService::Private::readDisplay(
    const ShareableContent::Display& display, PixelLimits::PixelSize size,
    std::int32_t excludedPID) const
{
    // The device pixels are read exactly as the monitor has them now; an
    // image of another size than asked for would have to be resampled, and a
    // frozen image is never that.
    const std::vector<X11Monitor> monitors = X11Monitor::list(session);
    const auto monitor = std::ranges::find(monitors, display.displayID, &X11Monitor::displayNumber);
    if (monitor == monitors.end())
        return Result<QImage>(CaptureError::missing, "the display is gone");
    const Rect& native = monitor->nativeFrame;
    if (native != display.nativeFrame || native.width() != size.width
        || native.height() != size.height) {
        return Result<QImage>(
            CaptureError::screenChanged,
            "the display has " + describe(native) + " device pixels; "
                + describe(Rect(display.nativeFrame.minX(), display.nativeFrame.minY(), size.width,
                                size.height))
                + " were expected");
    }
    if (!PixelLimits::accepts(native.width(), native.height()))
        return Result<QImage>(CaptureError::unsupportedSize);
    // The stacking is read again at the moment of the grab, so a window of
    // ours that appeared since the listing is still left out.
    std::optional<X11WindowList> windows = X11WindowList::list(session);
    if (!windows)
        return Result<QImage>(CaptureError::system, "the X server did not list its windows");
    if (!session.hasCompositingManager())
        return reader->readDesktop(native, windows->topLevels, excludedPID);
    // Our windows closed a moment ago may still be shown; their places are
    // left out like those of our open windows.
    if (redirection && excludedPID == QCoreApplication::applicationPid()) {
        for (const Rect& frame : redirection->closedOwnWindows(compositedAfterglow)) {
            X11TopLevel closed;
            closed.frame = frame;
            closed.visibleFrame = frame;
            closed.ownerPID = excludedPID;
            windows->topLevels.push_back(closed);
        }
    }
    return reader->readDesktop(native, windows->topLevels, excludedPID, compositedShadowReach);
}

QFuture<CaptureService::Result<QImage>> X11CaptureService::captureWindow(
    const ShareableContent::Window& window, PixelLimits::PixelSize size)
{
    if (!d->session.isOpen())
        return QtFuture::makeReadyFuture(Result<QImage>(CaptureError::system, unreachable));
    Private* p = d.get();
    return QtConcurrent::run(&d->worker, [p, window, size] { return p->readWindow(window, size); });
}

CaptureService::Result<QImage> X11CaptureService::Private::readWindow(
    const ShareableContent::Window& window, PixelLimits::PixelSize size) const
{
    const std::optional<X11TopLevel> topLevel = X11WindowList::topLevelOf(session, window.windowID);
    if (!topLevel)
        return Result<QImage>(CaptureError::missing, "the window is no longer shown");
    // The caller places the image where the window was listed; a window that
    // moved or changed size since could not be placed, and its image would
    // have to be resampled.
    const Rect& now = topLevel->visibleFrame;
    if (now != window.nativeFrame || now.width() != size.width || now.height() != size.height) {
        return Result<QImage>(CaptureError::missing,
                              "the window is now " + describe(now) + " device pixels, not "
                                  + describe(window.nativeFrame));
    }
    if (!PixelLimits::accepts(now.width(), now.height()))
        return Result<QImage>(CaptureError::unsupportedSize);
    Result<QImage> image = reader->readWindow(*topLevel);
    // Closed or hidden while it was read.
    if (!image && !X11WindowList::topLevelOf(session, window.windowID))
        return Result<QImage>(CaptureError::missing, image.failure().detail);
    return image;
}

} // namespace kelpie
