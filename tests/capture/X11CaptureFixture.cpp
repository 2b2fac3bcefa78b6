#include "X11CaptureFixture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace kelpie::testing {

OwnWindow::OwnWindow(QColor colour, QRect geometry) : colour_(colour)
{
    setFlag(Qt::FramelessWindowHint, false);
    setGeometry(geometry);
}

void OwnWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(), size()), colour_);
}

void X11CaptureFixture::SetUp()
{
    // The service first: from then on the server keeps every window's
    // contents, so windows made afterwards can be captured complete.
    service = std::make_shared<X11CaptureService>();
    ASSERT_TRUE(service->isConnected());
    host = std::make_unique<WindowHost>();
    ASSERT_TRUE(host->isRunning());
    host->beforeShowing = [this] { EXPECT_TRUE(service->catchUp()); };
}

bool X11CaptureFixture::waitUntil(const std::function<bool()>& done)
{
    // A bound on a stuck test, not on speed.
    for (int round = 0; round < 20000; ++round) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(500);
    }
    return done();
}

DisplayCapture::Outcome X11CaptureFixture::captureDisplay(QScreen* screen)
{
    const QFuture<DisplayCapture::Outcome> future = DisplayCapture::capture(service, screen);
    EXPECT_TRUE(settle(future));
    if (future.isCanceled() || future.resultCount() != 1)
        return DisplayCapture::Outcome(CaptureError::system, "no outcome");
    return future.result();
}

DisplayCapture::Snapshot X11CaptureFixture::snapshot(QScreen* screen)
{
    DisplayCapture::Outcome outcome = captureDisplay(screen);
    if (!outcome.ok()) {
        ADD_FAILURE() << "capture failed: " << static_cast<int>(outcome.error()) << " "
                      << outcome.failure().detail;
        return {};
    }
    return std::move(outcome).value();
}

WindowCapture::Outcome X11CaptureFixture::captureWindow(std::uint32_t id, std::int32_t ownerPID)
{
    const QFuture<WindowCapture::Outcome> future
        = WindowCapture::captureSnapshot(service, id, ownerPID);
    EXPECT_TRUE(settle(future));
    if (future.isCanceled() || future.resultCount() != 1)
        return WindowCapture::Outcome(CaptureError::system, "no outcome");
    return future.result();
}

std::optional<WindowTarget> X11CaptureFixture::waitForTarget(std::uint32_t id, QScreen* screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    std::optional<WindowTarget> found;
    waitUntil([&] {
        for (const WindowTarget& target : snapshot(screen).targets) {
            if (target.id == id) {
                found = target;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::unique_ptr<OwnWindow> X11CaptureFixture::showOwnWindow(QColor colour, QRect geometry)
{
    auto window = std::make_unique<OwnWindow>(colour, geometry);
    window->show();
    const QPoint centre = window->geometry().center() * window->devicePixelRatio();
    const std::uint32_t rgb = colour.rgb() & 0xffffff;
    EXPECT_TRUE(waitUntil([&] { return rootPixel(centre.x(), centre.y()) == rgb; }))
        << "the window of this process never showed";
    return window;
}

std::uint32_t X11CaptureFixture::rootPixel(int x, int y)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 1, 1, ~0u),
        nullptr);
    std::uint32_t value = 0;
    if (reply && xcb_get_image_data_length(reply) >= 4)
        std::memcpy(&value, xcb_get_image_data(reply), sizeof value);
    std::free(reply);
    xcb_disconnect(c);
    return value & 0xffffff;
}

int patternMismatches(const QImage& image, QRect area, QPoint origin, std::uint32_t base,
                      QString* first)
{
    int wrong = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const std::uint32_t want = patternPixel(x - origin.x(), y - origin.y(), base);
            const std::uint32_t got = image.pixel(x, y) & 0xffffff;
            if (got == want)
                continue;
            if (wrong++ == 0 && first)
                *first = QStringLiteral("(%1, %2): %3 instead of %4")
                             .arg(x)
                             .arg(y)
                             .arg(got, 6, 16, QLatin1Char('0'))
                             .arg(want, 6, 16, QLatin1Char('0'));
        }
    }
    return wrong;
}

int colourMismatches(const QImage& image, QRect area, std::uint32_t rgb)
{
    int wrong = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            wrong += (image.pixel(x, y) & 0xffffff) != rgb;
    }
    return wrong;
}

} // namespace kelpie::testing
