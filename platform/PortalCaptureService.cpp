#include "platform/PortalCaptureService.h"

#include "capture/DesktopImageCrop.h"
#include "platform/PortalRequest.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPromise>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace kelpie {

namespace {

using ImageResult = CaptureService::Result<QImage>;
using ImagePromise = std::shared_ptr<QPromise<ImageResult>>;

QString screenshotInterface() { return QStringLiteral("org.freedesktop.portal.Screenshot"); }

// The permission store answers from memory; a store that takes longer than
// this is treated as having no entry, and the desktop decides at capture.
constexpr int permissionLookupTimeout = 1000;

// A screen as Qt shows it at one moment.
struct ScreenShape {
    std::uint32_t number = 0;
    Rect frame;
    double scale = 1;

    friend bool operator==(const ScreenShape&, const ScreenShape&) = default;
};

std::optional<PixelLimits::PixelSize> nativeSize(const ScreenShape& shape)
{
    return PixelLimits::pixelSize(shape.frame.width(), shape.frame.height(), shape.scale);
}

std::vector<ScreenShape> currentShapes()
{
    std::vector<ScreenShape> shapes;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        shapes.push_back({PortalCaptureService::displayNumberOf(screen->name()),
                          Rect(g.x(), g.y(), g.width(), g.height()), screen->devicePixelRatio()});
    }
    return shapes;
}

void answer(const ImagePromise& promise, ImageResult result)
{
    promise->addResult(std::move(result));
    promise->finish();
}

ImageResult failureOf(const PortalRequest::Outcome& outcome)
{
    const std::string& detail = outcome.failure().detail;
    // The user said no to the desktop's dialog: a refusal, like a missing
    // screen-recording permission. Anything else is the portal's failure.
    if (outcome.error() == PortalRequest::Error::cancelled)
        return ImageResult(CaptureError::permission, detail);
    return ImageResult(CaptureError::system, "screenshot: " + detail);
}

// The local file a screenshot answer names; empty when it names none.
QString screenshotFile(const QVariantMap& results)
{
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    return uri.isLocalFile() ? uri.toLocalFile() : QString();
}

// The size of the picture the portal is expected to write: the screens'
// bounding box at the largest scale among them.
QSize expectedDesktopSize(const std::vector<ScreenShape>& layout)
{
    if (layout.empty())
        return {};
    Rect box = layout.front().frame;
    double scale = 0;
    for (const ScreenShape& shape : layout) {
        box = box.united(shape.frame);
        scale = std::max(scale, shape.scale);
    }
    const auto size = PixelLimits::pixelSize(box.width(), box.height(), scale);
    if (!size)
        return {};
    return {int(size->width), int(size->height)};
}

// A picture of `size` whose pages are already written. Made while the
// portal works, it spares the decoding the kernel's zero-fill of every
// fresh page (some 4 ms at 1920 x 1080).
QImage preparedCanvas(QSize size)
{
    QImage canvas(size, QImage::Format_RGB32);
    if (!canvas.isNull())
        std::memset(canvas.bits(), 0, std::size_t(canvas.sizeInBytes()));
    return canvas;
}

// Reads and deletes the portal's file: it is a copy made for this request
// (some desktops put it in the user's pictures folder), never kept. The
// picture goes into `canvas` when it has the size and pixel format the
// file decodes to, and into new memory otherwise.
std::optional<QImage> takeImage(const QString& path, QImage canvas)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const bool read = reader.read(&canvas);
    QFile::remove(path);
    if (!read || canvas.isNull())
        return std::nullopt;
    return canvas;
}

} // namespace

struct PortalCaptureService::Private {
    // One display capture waiting for the desktop image.
    struct Job {
        ScreenShape screen;
        PixelLimits::PixelSize size;
        ImagePromise promise;
    };

    // The captures that share one portal call.
    struct Batch {
        std::vector<Job> jobs;
        std::function<void()> showWindows;
        // The screens as they were when the portal was called.
        std::vector<ScreenShape> layout;
        // Memory for the picture, made ready on the worker during the call.
        QImage canvas;
    };

    QDBusConnection connection;
    WindowHider hider;
    std::chrono::milliseconds timeout = defaultTimeout;
    std::chrono::milliseconds interactiveTimeout = defaultInteractiveTimeout;
    std::chrono::milliseconds settle = defaultSettleTime;
    // Continuations of portal calls run against this; it dies with the service.
    QObject context;
    QThreadPool worker;
    // The batch that new captures join: collecting, or waiting for its answer.
    std::shared_ptr<Batch> open;

    explicit Private(QDBusConnection bus) : connection(std::move(bus)) { }

    void begin(const std::shared_ptr<Batch>& batch);
    void shoot(const std::shared_ptr<Batch>& batch);
    void arrived(const std::shared_ptr<Batch>& batch, const PortalRequest::Outcome& outcome);
    static void cutAll(Batch& batch, const QString& path);
};

PortalCaptureService::PortalCaptureService(QDBusConnection connection)
    : d(std::make_unique<Private>(std::move(connection)))
{
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
    d->worker.setMaxThreadCount(1);
}

PortalCaptureService::~PortalCaptureService()
{
    d->worker.waitForDone();
    if (const std::shared_ptr<Private::Batch> batch = std::move(d->open)) {
        for (const Private::Job& job : batch->jobs)
            answer(job.promise, ImageResult(CaptureError::system, "the capture service closed"));
        if (batch->showWindows)
            batch->showWindows();
    }
}

void PortalCaptureService::setOwnWindowsHider(WindowHider hider) { d->hider = std::move(hider); }

void PortalCaptureService::setTimeouts(std::chrono::milliseconds screenshot,
                                       std::chrono::milliseconds interactive)
{
    d->timeout = screenshot;
    d->interactiveTimeout = interactive;
}

void PortalCaptureService::setSettleTime(std::chrono::milliseconds settle) { d->settle = settle; }

std::uint32_t PortalCaptureService::displayNumberOf(const QString& name)
{
    // FNV-1a, 32 bits.
    std::uint32_t hash = 2166136261u;
    for (const char byte : name.toUtf8()) {
        hash ^= static_cast<std::uint8_t>(byte);
        hash *= 16777619u;
    }
    return hash == 0 ? 1 : hash;
}

PortalCaptureService::Permission PortalCaptureService::permission() const
{
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    lookup.setArguments({QStringLiteral("screenshot"), QStringLiteral("screenshot")});
    const QDBusMessage reply = d->connection.call(lookup, QDBus::Block, permissionLookupTimeout);
    // No table or no entry (NotFound), or no store at all: never asked.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Permission::unset;
    const auto table = qdbus_cast<QMap<QString, QStringList>>(reply.arguments().constFirst());
    const QStringList entry = table.value(PortalRequest::applicationId());
    if (entry.isEmpty())
        return Permission::unset;
    if (entry.constFirst() == QStringLiteral("yes"))
        return Permission::granted;
    if (entry.constFirst() == QStringLiteral("no"))
        return Permission::denied;
    return Permission::unset;
}

bool PortalCaptureService::hasAccess() const { return permission() != Permission::denied; }

QFuture<bool> PortalCaptureService::requestAccess()
{
    QVariantMap options{{QStringLiteral("interactive"), true}};
    return PortalRequest::send(d->connection, screenshotInterface(), QStringLiteral("Screenshot"),
                               {QString()}, std::move(options), d->interactiveTimeout)
        .then(&d->context, [](const PortalRequest::Outcome& outcome) {
            if (!outcome)
                return false;
            const QString path = screenshotFile(outcome.value());
            if (!path.isEmpty())
                QFile::remove(path);
            return true;
        });
}

std::int32_t PortalCaptureService::processId() const
{
    return static_cast<std::int32_t>(QCoreApplication::applicationPid());
}

std::uint32_t PortalCaptureService::displayNumber(const QScreen* screen) const
{
    return screen ? displayNumberOf(screen->name()) : 0;
}

std::vector<CaptureService::Screen> PortalCaptureService::screens() const
{
    std::vector<Screen> result;
    for (const ScreenShape& shape : currentShapes())
        result.push_back({shape.number, shape.frame});
    return result;
}

QFuture<CaptureService::Result<ShareableContent>> PortalCaptureService::shareableContent()
{
    ShareableContent content;
    for (const ScreenShape& shape : currentShapes()) {
        const std::optional<PixelLimits::PixelSize> size = nativeSize(shape);
        ShareableContent::Display display;
        display.displayID = shape.number;
        display.contentRect = Rect(0, 0, shape.frame.width(), shape.frame.height());
        display.pointPixelScale = shape.scale;
        // Wayland keeps no desktop in device pixels; the logical layout at
        // each screen's own scale stands in for it.
        display.nativeFrame = Rect(std::round(shape.frame.minX() * shape.scale),
                                   std::round(shape.frame.minY() * shape.scale),
                                   size ? size->width : 0, size ? size->height : 0);
        content.displays.push_back(display);
    }
    // No windows: the portal cannot capture or even list them.
    return QtFuture::makeReadyFuture(Result<ShareableContent>(std::move(content)));
}

QFuture<CaptureService::Result<QImage>> PortalCaptureService::captureDisplay(
    const ShareableContent::Display& display, PixelLimits::PixelSize size, std::int32_t)
{
    const std::vector<ScreenShape> shapes = currentShapes();
    const auto screen = std::ranges::find(shapes, display.displayID, &ScreenShape::number);
    if (screen == shapes.end())
        return QtFuture::makeReadyFuture(ImageResult(CaptureError::missing, "the display is gone"));
    if (nativeSize(*screen) != size) {
        return QtFuture::makeReadyFuture(
            ImageResult(CaptureError::screenChanged,
                        "the screen no longer has the pixel size that was listed"));
    }

    auto promise = std::make_shared<QPromise<ImageResult>>();
    promise->start();
    // The portal is called at once; captures asked for until it answers
    // (one per screen, as a capture of every screen asks) are served from
    // the same desktop image.
    const bool starts = !d->open;
    if (starts)
        d->open = std::make_shared<Private::Batch>();
    d->open->jobs.push_back({*screen, size, promise});
    if (starts)
        d->begin(d->open);
    return promise->future();
}

void PortalCaptureService::Private::begin(const std::shared_ptr<Batch>& batch)
{
    if (!hider) {
        shoot(batch);
        return;
    }
    batch->showWindows = hider();
    // Nothing was on screen: nothing to wait for.
    if (!batch->showWindows) {
        shoot(batch);
        return;
    }
    // The hide was only asked of the compositor: give it the turn that sends
    // the requests and a frame or two to take them off the screen.
    QTimer::singleShot(settle, &context, [this, batch] { shoot(batch); });
}

void PortalCaptureService::Private::shoot(const std::shared_ptr<Batch>& batch)
{
    batch->layout = currentShapes();
    // The worker runs one task at a time, so this ends before the picture
    // is decoded.
    worker.start([batch, size = expectedDesktopSize(batch->layout)] {
        batch->canvas = preparedCanvas(size);
    });
    QVariantMap options{{QStringLiteral("interactive"), false}};
    PortalRequest::send(connection, screenshotInterface(), QStringLiteral("Screenshot"),
                        {QString()}, std::move(options), timeout)
        .then(&context,
              [this, batch](const PortalRequest::Outcome& outcome) { arrived(batch, outcome); });
}

void PortalCaptureService::Private::arrived(const std::shared_ptr<Batch>& batch,
                                            const PortalRequest::Outcome& outcome)
{
    if (open == batch)
        open.reset();
    if (batch->showWindows) {
        batch->showWindows();
        batch->showWindows = nullptr;
    }
    if (!outcome) {
        for (const Job& job : batch->jobs)
            answer(job.promise, failureOf(outcome));
        return;
    }
    const QString path = screenshotFile(outcome.value());
    if (path.isEmpty()) {
        for (const Job& job : batch->jobs) {
            answer(job.promise,
                   ImageResult(CaptureError::system, "screenshot: the portal named no local file"));
        }
        return;
    }
    worker.start([batch, path] { cutAll(*batch, path); });
}

void PortalCaptureService::Private::cutAll(Batch& batch, const QString& path)
{
    const std::optional<QImage> desktop = takeImage(path, std::exchange(batch.canvas, {}));
    if (!desktop) {
        const std::string detail = "screenshot: cannot read " + path.toStdString();
        for (const Job& job : batch.jobs)
            answer(job.promise, ImageResult(CaptureError::system, detail));
        return;
    }
    std::vector<Rect> frames;
    for (const ScreenShape& shape : batch.layout)
        frames.push_back(shape.frame);
    const std::vector<Rect> regions = DesktopImageCrop::regions(
        Size{static_cast<double>(desktop->width()), static_cast<double>(desktop->height())},
        frames);

    for (const Job& job : batch.jobs) {
        const auto at = std::ranges::find(batch.layout, job.screen);
        if (at == batch.layout.end() || regions.empty()) {
            answer(job.promise,
                   ImageResult(CaptureError::screenChanged,
                               "the screens changed while the desktop was read"));
            continue;
        }
        const auto index = static_cast<std::size_t>(at - batch.layout.begin());
        QImage part = DesktopImageCrop::cut(*desktop, regions[index], job.size);
        if (part.isNull()) {
            answer(job.promise,
                   ImageResult(CaptureError::system,
                               "screenshot: the image does not cover the screen"));
            continue;
        }
        answer(job.promise, std::move(part));
    }
}

QFuture<CaptureService::Result<QImage>> PortalCaptureService::captureWindow(
    const ShareableContent::Window&, PixelLimits::PixelSize)
{
    return QtFuture::makeReadyFuture(
        ImageResult(CaptureError::missing, "windows cannot be captured through the portal"));
}

} // namespace kelpie
