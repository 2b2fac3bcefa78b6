// Display and window capture on a real X server without a window manager:
// exact pixels, this process's windows left out, stacking, clipping,
// complete contents of covered and off-screen windows, owner checks, windows
// that change under the capture, and which windows the server keeps.

#include "X11CaptureFixture.h"
#include "capture/DesktopSpace.h"
#include "platform/X11CaptureRedirection.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

bool listed(const std::vector<WindowTarget>& targets, std::uint32_t id)
{
    return std::ranges::any_of(targets, [id](const WindowTarget& t) { return t.id == id; });
}

class X11Capture : public X11CaptureFixture { };

} // namespace

TEST_F(X11Capture, AWindowOfKnownPixelsIsCapturedExactly)
{
    const std::uint32_t id = host->create(QStringLiteral("100 80 320 200 000033 pattern"));
    ASSERT_NE(id, 0u);

    const DisplayCapture::Snapshot shot = snapshot(primary());
    ASSERT_EQ(shot.image.size(), QSize(1920, 1080));
    QString first;
    EXPECT_EQ(
        patternMismatches(shot.image, QRect(100, 80, 320, 200), QPoint(100, 80), 0x33, &first), 0)
        << first.toStdString();

    // Screen-local points with y up: the bottom edge is 1080 − 280 from the
    // screen's bottom.
    ASSERT_FALSE(shot.targets.empty());
    EXPECT_EQ(shot.targets.front(), (WindowTarget{id, host->pid(), Rect(100, 800, 320, 200)}));

    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->image.size(), QSize(320, 200));
    EXPECT_EQ(patternMismatches(window->image, QRect(0, 0, 320, 200), QPoint(0, 0), 0x33, &first),
              0)
        << first.toStdString();
    EXPECT_EQ(window->quartzFrame, Rect(100, 80, 320, 200));
}

TEST_F(X11Capture, WindowsOfThisProcessAreNeitherInTheImageNorTargets)
{
    // A wallpaper published the usual way, so the bare desktop under our
    // window can be rebuilt exactly.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_pixmap_t wallpaper = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, wallpaper, screen->root, 64, 64);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    std::uint32_t colour = 0x203040;
    xcb_create_gc(c, gc, wallpaper, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t whole{0, 0, 64, 64};
    xcb_poly_fill_rectangle(c, wallpaper, gc, 1, &whole);
    colour = 0x405060;
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t corner{0, 0, 20, 20};
    xcb_poly_fill_rectangle(c, wallpaper, gc, 1, &corner);
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &wallpaper);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    const char name[] = "_XROOTPMAP_ID";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, atom->atom, XCB_ATOM_PIXMAP, 32, 1,
                        &wallpaper);
    std::free(atom);
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);

    const std::uint32_t red = host->create(QStringLiteral("300 300 400 300 ff0000"));
    const std::uint32_t patterned = host->create(QStringLiteral("500 500 300 200 000077 pattern"));
    ASSERT_NE(red, 0u);
    ASSERT_NE(patterned, 0u);
    const QImage before = snapshot(primary()).image;

    // Over the red window, the patterned one and the bare desktop.
    const auto own = showOwnWindow(QColor(0xff00ff), QRect(250, 350, 400, 300));
    const DisplayCapture::Snapshot shot = snapshot(primary());
    ASSERT_EQ(shot.image.size(), before.size());
    int differing = 0;
    for (int y = 0; y < before.height(); ++y) {
        differing += std::memcmp(before.constScanLine(y), shot.image.constScanLine(y),
                                 static_cast<std::size_t>(before.bytesPerLine()))
            != 0;
    }
    EXPECT_EQ(differing, 0) << "rows where the frozen image differs from the desktop without us";
    EXPECT_EQ(colourMismatches(shot.image, QRect(300, 350, 200, 150), 0xff0000), 0);
    EXPECT_TRUE(listed(shot.targets, red));
    EXPECT_TRUE(listed(shot.targets, patterned));
    for (const WindowTarget& target : shot.targets)
        EXPECT_NE(target.ownerPID, service->processId());
}

TEST_F(X11Capture, OverlappingWindowsHitTheFrontOneAndFollowTheStacking)
{
    const std::uint32_t back = host->create(QStringLiteral("200 200 300 300 00ff00"));
    const std::uint32_t front = host->create(QStringLiteral("350 350 300 300 0000ff"));
    ASSERT_TRUE(back && front);
    // (400, 400) from the top is 680 from the bottom; both windows hold it.
    const Point overlap{400, 680};

    std::vector<WindowTarget> targets = snapshot(primary()).targets;
    ASSERT_GE(targets.size(), 2u);
    EXPECT_EQ(targets[0].id, front);
    EXPECT_EQ(targets[1].id, back);
    EXPECT_EQ(WindowTarget::hit(overlap, targets)->id, front);

    ASSERT_TRUE(host->command(QStringLiteral("raise %1").arg(back)));
    targets = snapshot(primary()).targets;
    ASSERT_GE(targets.size(), 2u);
    EXPECT_EQ(targets[0].id, back);
    EXPECT_EQ(WindowTarget::hit(overlap, targets)->id, back);
}

TEST_F(X11Capture, OnlyOrdinaryShownWindowsOfOtherProcessesAreTargets)
{
    const std::uint32_t normal = host->create(QStringLiteral("10 10 100 100 111111"));
    const std::uint32_t dock = host->create(QStringLiteral("0 1040 1920 40 222222 type=dock"));
    const std::uint32_t menu = host->create(QStringLiteral("50 50 80 120 333333 override"));
    const std::uint32_t tip = host->create(QStringLiteral("60 60 80 20 444444 type=tooltip"));
    const std::uint32_t hidden = host->create(QStringLiteral("70 70 80 80 555555"));
    const std::uint32_t offScreen = host->create(QStringLiteral("3000 100 80 80 666666"));
    ASSERT_TRUE(host->command(QStringLiteral("unmap %1").arg(hidden)));
    const auto own = showOwnWindow(QColor(0x00ffff), QRect(600, 600, 100, 100));

    const std::vector<WindowTarget> targets = snapshot(primary()).targets;
    EXPECT_TRUE(listed(targets, normal));
    for (std::uint32_t id : {dock, menu, tip, hidden, offScreen})
        EXPECT_FALSE(listed(targets, id)) << id;
    EXPECT_EQ(targets.size(), 1u) << "nothing of this process is listed";

    // Pixels of a menu that bypasses the window manager are still frozen.
    const QImage image = snapshot(primary()).image;
    EXPECT_EQ(colourMismatches(image, QRect(60, 80, 70, 90), 0x333333), 0);
}

TEST_F(X11Capture, AWindowHalfOffTheScreenIsClippedAsATargetButCapturedWhole)
{
    const std::uint32_t id = host->create(QStringLiteral("-100 900 400 300 000055 pattern"));
    ASSERT_NE(id, 0u);
    const std::optional<WindowTarget> target = waitForTarget(id);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->rect, Rect(0, 0, 300, 180));

    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->image.size(), QSize(400, 300));
    QString first;
    EXPECT_EQ(patternMismatches(window->image, QRect(0, 0, 400, 300), QPoint(0, 0), 0x55, &first),
              0)
        << first.toStdString();
    const Rect screenFrame = DesktopSpace::desktopFrame(primary());
    EXPECT_EQ(
        WindowTarget::editorRect(window->quartzFrame, screenFrame, DesktopSpace::primaryTop()),
        Rect(-100, -120, 400, 300));
}

TEST_F(X11Capture, ACoveredWindowIsCapturedComplete)
{
    const std::uint32_t covered = host->create(QStringLiteral("400 300 500 400 000066 pattern"));
    const std::uint32_t cover = host->create(QStringLiteral("350 250 400 300 ffff00"));
    ASSERT_TRUE(covered && cover);
    const auto ownCover = showOwnWindow(QColor(0x00ff00), QRect(700, 500, 300, 300));

    const WindowCapture::Outcome outcome = captureWindow(covered, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    QString first;
    EXPECT_EQ(patternMismatches(window->image, QRect(0, 0, 500, 400), QPoint(0, 0), 0x66, &first),
              0)
        << first.toStdString();
}

TEST_F(X11Capture, ClosedWindowsAndWrongOwnersAreMissing)
{
    // The window claims another process in _NET_WM_PID; the server knows better.
    const std::uint32_t id = host->create(QStringLiteral("100 100 200 200 777777 pid=1"));
    ASSERT_NE(id, 0u);
    const std::optional<WindowTarget> target = waitForTarget(id);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->ownerPID, host->pid());

    auto missing = [](const WindowCapture::Outcome& outcome) {
        return !outcome.ok() && outcome.error() == WindowCapture::CaptureError::missing;
    };
    EXPECT_TRUE(missing(captureWindow(id, 1))) << "wrong owner";
    EXPECT_TRUE(missing(captureWindow(id, service->processId())));
    EXPECT_TRUE(captureWindow(id, host->pid()).ok());
    ASSERT_TRUE(host->command(QStringLiteral("unmap %1").arg(id)));
    EXPECT_TRUE(missing(captureWindow(id, host->pid()))) << "hidden";
    ASSERT_TRUE(host->command(QStringLiteral("destroy %1").arg(id)));
    EXPECT_TRUE(missing(captureWindow(id, host->pid()))) << "closed";
}

TEST_F(X11Capture, ACanceledCaptureYieldsTheCancellation)
{
    host->create(QStringLiteral("100 100 200 200 888888"));
    QFuture<DisplayCapture::Outcome> future = DisplayCapture::capture(service, primary());
    future.cancel();
    ASSERT_TRUE(settle(future));
    EXPECT_TRUE(future.isCanceled());
    EXPECT_EQ(future.resultCount(), 0);
    // The service is still good for the next capture.
    EXPECT_EQ(snapshot(primary()).image.size(), QSize(1920, 1080));
}

TEST_F(X11Capture, TheScreenHasADisplayNumberThatFindsItAgain)
{
    const std::uint32_t number = service->displayNumber(primary());
    EXPECT_NE(number, 0u);
    EXPECT_EQ(service->screen(number), primary());
    EXPECT_EQ(service->screen(0), nullptr);
    EXPECT_EQ(service->screen(number + 1), nullptr);
    const std::vector<CaptureService::Screen> screens = service->screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0], (CaptureService::Screen{number, Rect(0, 0, 1920, 1080)}));
}

TEST_F(X11Capture, AFrozenImageStaysFrozenWhileLaterCapturesAreTaken)
{
    const std::uint32_t id = host->create(QStringLiteral("100 100 200 200 ff0000"));
    ASSERT_NE(id, 0u);
    const QImage first = snapshot(primary()).image;
    ASSERT_TRUE(host->command(QStringLiteral("move %1 1000 600").arg(id)));
    const QImage second = snapshot(primary()).image;
    const WindowCapture::Outcome window = captureWindow(id, host->pid());

    EXPECT_EQ(colourMismatches(first, QRect(100, 100, 200, 200), 0xff0000), 0);
    EXPECT_NE(colourMismatches(first, QRect(1000, 600, 200, 200), 0xff0000), 0);
    EXPECT_EQ(colourMismatches(second, QRect(1000, 600, 200, 200), 0xff0000), 0);
    EXPECT_NE(colourMismatches(second, QRect(100, 100, 200, 200), 0xff0000), 0);

    // Images may outlive the service that took them.
    service.reset();
    EXPECT_EQ(colourMismatches(first, QRect(100, 100, 200, 200), 0xff0000), 0);
    EXPECT_EQ(colourMismatches(window.value().image, QRect(0, 0, 200, 200), 0xff0000), 0);
}

TEST_F(X11Capture, AClientSideShadowIsNotPartOfTheWindow)
{
    // 20 pixels of shadow around a 300 × 200 window.
    const std::uint32_t id
        = host->create(QStringLiteral("100 100 340 240 000044 pattern shadow=20"));
    ASSERT_NE(id, 0u);
    const std::optional<WindowTarget> target = waitForTarget(id);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->rect, Rect(120, 760, 300, 200));

    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    const auto* window = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->image.size(), QSize(300, 200));
    EXPECT_EQ(window->quartzFrame, Rect(120, 120, 300, 200));
    QString first;
    EXPECT_EQ(
        patternMismatches(window->image, QRect(0, 0, 300, 200), QPoint(-20, -20), 0x44, &first), 0)
        << first.toStdString();
}

namespace {

// What the service lists now, straight from it.
ShareableContent listNow(X11CaptureService& service)
{
    QFuture<CaptureService::Result<ShareableContent>> listed = service.shareableContent();
    listed.waitForFinished();
    EXPECT_TRUE(listed.result().ok());
    return listed.result().ok() ? listed.result().value() : ShareableContent{};
}

CaptureService::Result<QImage> readWindow(X11CaptureService& service,
                                          const ShareableContent::Window& window)
{
    const auto size
        = PixelLimits::pixelSize(window.nativeFrame.width(), window.nativeFrame.height(), 1);
    QFuture<CaptureService::Result<QImage>> read = service.captureWindow(window, *size);
    read.waitForFinished();
    return read.result();
}

} // namespace

TEST_F(X11Capture, AWindowThatClosesMovesOrChangesSizeAfterListingIsMissing)
{
    const std::uint32_t resized = host->create(QStringLiteral("100 100 300 200 000022 pattern"));
    const std::uint32_t moved = host->create(QStringLiteral("500 100 300 200 000023 pattern"));
    const std::uint32_t closed = host->create(QStringLiteral("900 100 300 200 000024 pattern"));
    ASSERT_TRUE(resized && moved && closed);
    const ShareableContent content = listNow(*service);
    for (std::uint32_t id : {resized, moved, closed})
        ASSERT_TRUE(content.window(id)) << id;
    ASSERT_TRUE(readWindow(*service, *content.window(resized)).ok());

    // Each changes between the listing and the reading of its image.
    ASSERT_TRUE(host->command(QStringLiteral("resize %1 360 240").arg(resized)));
    ASSERT_TRUE(host->command(QStringLiteral("move %1 520 110").arg(moved)));
    ASSERT_TRUE(host->command(QStringLiteral("destroy %1").arg(closed)));
    for (std::uint32_t id : {resized, moved, closed}) {
        const CaptureService::Result<QImage> image = readWindow(*service, *content.window(id));
        ASSERT_FALSE(image.ok()) << id << ": an image of " << image->width() << " × "
                                 << image->height() << " pixels";
        EXPECT_EQ(image.error(), CaptureError::missing) << image.failure().detail;
    }
}

TEST_F(X11Capture, WithoutAPublishedWallpaperTheRootsOwnBackgroundShowsUnderOurWindows)
{
    // A plain `xsetroot -solid`: a background colour, no wallpaper property
    // (an earlier test may have published one on this server).
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const char name[] = "_XROOTPMAP_ID";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    xcb_delete_property(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, atom->atom);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    ASSERT_EQ(QProcess::execute(QStringLiteral("xsetroot"),
                                {QStringLiteral("-solid"), QStringLiteral("#336699")}),
              0);
    ASSERT_EQ(rootPixel(5, 5), 0x336699u);

    const std::uint32_t window = host->create(QStringLiteral("400 300 200 200 00aa00"));
    ASSERT_NE(window, 0u);
    // Over the bare desktop and over the other window.
    const auto own = showOwnWindow(QColor(0xff00ff), QRect(300, 200, 200, 200));
    const QImage image = snapshot(primary()).image;
    EXPECT_EQ(colourMismatches(image, QRect(300, 200, 100, 200), 0x336699), 0);
    EXPECT_EQ(colourMismatches(image, QRect(400, 200, 100, 100), 0x336699), 0);
    EXPECT_EQ(colourMismatches(image, QRect(400, 300, 100, 100), 0x00aa00), 0);
}

namespace {

// Whether the server keeps `window`'s contents off screen: only then has it
// a pixmap to name.
bool keptOffScreen(std::uint32_t window)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_generic_error_t* error
        = xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, window, pixmap));
    const bool kept = error == nullptr;
    std::free(error);
    if (kept)
        xcb_free_pixmap(c, pixmap);
    xcb_disconnect(c);
    return kept;
}

} // namespace

TEST_F(X11Capture, WindowsTooLargeToCaptureAreNotKeptOffScreen)
{
    // 20000 × 20000 pixels would cost the server 1.6 GB; 9000 × 9000 is just
    // over the pixel budget of a capture.
    const std::uint32_t huge = host->create(QStringLiteral("-5000 -5000 20000 20000 123456"));
    const std::uint32_t large = host->create(QStringLiteral("-3000 -3000 9000 9000 234567"));
    const std::uint32_t ordinary = host->create(QStringLiteral("100 100 300 200 345678"));
    ASSERT_TRUE(huge && large && ordinary);
    ASSERT_TRUE(service->catchUp());
    EXPECT_FALSE(keptOffScreen(huge));
    EXPECT_FALSE(keptOffScreen(large));
    EXPECT_TRUE(keptOffScreen(ordinary));

    // Captures go on: the display as shown, the large window refused.
    const DisplayCapture::Snapshot shot = snapshot(primary());
    EXPECT_EQ(colourMismatches(shot.image, QRect(100, 100, 300, 200), 0x345678), 0);
    EXPECT_EQ(colourMismatches(shot.image, QRect(1000, 800, 300, 200), 0x234567), 0);
    const WindowCapture::Outcome outcome = captureWindow(large, host->pid());
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error(), CaptureError::unsupportedSize);

    // Shrunk to an ordinary size it is kept.
    ASSERT_TRUE(host->command(QStringLiteral("resize %1 800 600").arg(large)));
    ASSERT_TRUE(service->catchUp());
    EXPECT_TRUE(keptOffScreen(large));
}

TEST_F(X11Capture, WindowsOfThisProcessThatBypassTheManagerAreNotKeptOffScreen)
{
    // Like the overlay: never captured, so keeping it would only cost the
    // server a pixmap and a copy of every frame, a whole screen each time.
    OwnWindow unmanaged(QColor(0x00ff00), QRect(600, 100, 300, 200));
    unmanaged.setFlags(Qt::Window | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    unmanaged.show();
    const std::uint32_t other = host->create(QStringLiteral("100 100 300 200 345678"));
    ASSERT_NE(other, 0u);
    // An ordinary window of ours may be captured on its own (the
    // self-verification captures one), so it is kept.
    const auto ordinary = showOwnWindow(QColor(0xff00ff), QRect(250, 350, 400, 300));
    ASSERT_TRUE(service->catchUp());
    EXPECT_TRUE(keptOffScreen(other));
    EXPECT_TRUE(keptOffScreen(static_cast<std::uint32_t>(ordinary->winId())));
    EXPECT_FALSE(keptOffScreen(static_cast<std::uint32_t>(unmanaged.winId())));
}

TEST(X11CaptureRedirectionRule, KeepsCapturableWindowsWithinTheBudget)
{
    // Sixteen screens' worth, never less than the largest capturable window.
    EXPECT_EQ(X11CaptureRedirection::budget(3840, 2160), 16.0 * 3840 * 2160);
    EXPECT_EQ(X11CaptureRedirection::budget(800, 600), PixelLimits::maximumArea);

    const double budget = 100'000'000;
    EXPECT_TRUE(X11CaptureRedirection::keeps(1920, 1080, true, 0, budget));
    EXPECT_FALSE(X11CaptureRedirection::keeps(20000, 20000, false, 0, budget));
    EXPECT_FALSE(X11CaptureRedirection::keeps(32769, 10, true, 0, budget));
    // Shown windows share the budget; hidden ones cost nothing yet.
    EXPECT_TRUE(X11CaptureRedirection::keeps(8000, 10000, true, 20'000'000, budget));
    EXPECT_FALSE(X11CaptureRedirection::keeps(8000, 10000, true, 20'000'001, budget));
    EXPECT_TRUE(X11CaptureRedirection::keeps(8000, 10000, false, 90'000'000, budget));
}
