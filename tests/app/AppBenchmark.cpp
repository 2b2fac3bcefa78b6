// bench_app KELPIE [RUNS]: whole-application figures measured from outside
// the process, as another X client sees them. It starts Kelpie, presses keys
// with XTest and watches the screen and the clipboard:
//
//   key → overlay   capture key pressed → every sampled point of the screen
//                   shows the overlay's dimmed image; once in quick
//                   succession (0.2 s after the last overlay went), and for
//                   a quarter as many runs after a 2 s pause
//   Escape → gone   Escape pressed → every sampled point shows the desktop again
//   copy            Ctrl+A and Return in the overlay → this client holds the
//                   whole PNG read through the CLIPBOARD selection
//   memory          Kelpie's resident memory idle after start, and after the
//                   capture-and-cancel cycles and ten pins (the pin key on
//                   clipboard text, then Escape), both settled for 2 s
//
// Run it on an X server of the size to measure, with a window manager, e.g.
//   tests/support/with-xvfb --wm --xvfb-arg -screen --xvfb-arg 0
//     --xvfb-arg 3840x2160x24 -- build/tests/app/bench_app build/app/kelpie 20
// (one command line).

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Connection {
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t clipboard = 0;
    xcb_atom_t png = 0;
    xcb_atom_t property = 0;
    xcb_atom_t incr = 0;
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : 0;
    std::free(reply);
    return result;
}

bool connect(Connection& x)
{
    x.c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x.c))
        return false;
    x.screen = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data;
    x.symbols = xcb_key_symbols_alloc(x.c);
    x.window = xcb_generate_id(x.c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(x.c, XCB_COPY_FROM_PARENT, x.window, x.screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    x.clipboard = atom(x.c, "CLIPBOARD");
    x.png = atom(x.c, "image/png");
    x.property = atom(x.c, "KELPIE_BENCH");
    x.incr = atom(x.c, "INCR");
    xcb_flush(x.c);
    return true;
}

void key(Connection& x, xcb_keysym_t symbol, bool press)
{
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(x.symbols, symbol);
    if (!codes)
        return;
    xcb_test_fake_input(x.c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, codes[0], XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
    std::free(codes);
    xcb_flush(x.c);
}

void tap(Connection& x, xcb_keysym_t symbol)
{
    key(x, symbol, true);
    key(x, symbol, false);
}

// The points watched: the centre and a point near each corner.
std::vector<std::pair<int, int>> watched(const Connection& x)
{
    const int w = x.screen->width_in_pixels;
    const int h = x.screen->height_in_pixels;
    return {{w / 2, h / 2}, {20, 20}, {w - 21, 20}, {20, h - 21}, {w - 21, h - 21}};
}

std::uint32_t pixel(Connection& x, int px, int py)
{
    auto* reply = xcb_get_image_reply(
        x.c,
        xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.screen->root, static_cast<std::int16_t>(px),
                      static_cast<std::int16_t>(py), 1, 1, ~0u),
        nullptr);
    std::uint32_t value = 0;
    if (reply && xcb_get_image_data_length(reply) >= 4)
        std::memcpy(&value, xcb_get_image_data(reply), 4);
    std::free(reply);
    return value & 0xffffff;
}

std::vector<std::uint32_t> sample(Connection& x)
{
    std::vector<std::uint32_t> values;
    for (const auto& [px, py] : watched(x))
        values.push_back(pixel(x, px, py));
    return values;
}

// Milliseconds until `done` holds, polling; -1 after `limit` milliseconds.
// Each poll is a round trip to the X server; without a pause between them
// this process and the server would keep both cores of a small machine
// busy and slow down the Kelpie being measured.
double until(const std::function<bool()>& done, int limit = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit)
            return -1;
        QThread::usleep(500);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

bool allDiffer(const std::vector<std::uint32_t>& now, const std::vector<std::uint32_t>& before)
{
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] == before[i])
            return false;
    }
    return true;
}

xcb_window_t clipboardOwner(Connection& x)
{
    auto* reply = xcb_get_selection_owner_reply(x.c, xcb_get_selection_owner(x.c, x.clipboard),
                                                nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

void takeClipboard(Connection& x)
{
    xcb_set_selection_owner(x.c, x.window, x.clipboard, XCB_CURRENT_TIME);
    xcb_flush(x.c);
}

QByteArray readProperty(Connection& x, xcb_atom_t* type)
{
    auto* reply = xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 1, x.window, x.property, XCB_GET_PROPERTY_TYPE_ANY, 0, ~0u / 4),
        nullptr);
    QByteArray bytes;
    if (reply) {
        *type = reply->type;
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    }
    std::free(reply);
    xcb_flush(x.c);
    return bytes;
}

xcb_generic_event_t* waitEvent(Connection& x, int limit = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < limit) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(x.c))
            return event;
    }
    return nullptr;
}

// The PNG offered on the CLIPBOARD, read whole (the incremental transfer
// included); empty when none came.
QByteArray readPng(Connection& x)
{
    xcb_convert_selection(x.c, x.window, x.clipboard, x.png, x.property, XCB_CURRENT_TIME);
    xcb_flush(x.c);
    for (;;) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(waitEvent(x), &std::free);
        if (!event)
            return {};
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            continue;
        auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
        if (notify->property == XCB_NONE)
            return {};
        break;
    }
    xcb_atom_t type = 0;
    QByteArray data = readProperty(x, &type);
    if (type != x.incr)
        return data;
    data.clear();
    for (;;) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(waitEvent(x), &std::free);
        if (!event)
            return {};
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            continue;
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
        if (notify->atom != x.property || notify->state != XCB_PROPERTY_NEW_VALUE)
            continue;
        const QByteArray chunk = readProperty(x, &type);
        if (chunk.isEmpty())
            return data;
        data += chunk;
    }
}

// Whether a window titled like Kelpie's pins is mapped.
bool pinShown()
{
    QProcess search;
    search.setStandardOutputFile(QProcess::nullDevice());
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), QStringLiteral("Kelpie · 钉图")});
    return search.waitForFinished() && search.exitCode() == 0;
}

// Whether any window titled like Kelpie's is mapped.
bool kelpieWindowsShown()
{
    QProcess search;
    search.setStandardOutputFile(QProcess::nullDevice());
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), QStringLiteral("Kelpie")});
    return search.waitForFinished() && search.exitCode() == 0;
}

// Puts `text` on the CLIPBOARD, served by xclip until another client takes it.
bool offerText(const QByteArray& text)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")});
    if (!xclip.waitForStarted())
        return false;
    xclip.write(text);
    xclip.closeWriteChannel();
    return xclip.waitForFinished() && xclip.exitCode() == 0;
}

double median(std::vector<double> values)
{
    values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The sum of the named fields of /proc/PID/smaps_rollup, in KiB.
long memoryKiB(qint64 pid, std::initializer_list<const char*> fields)
{
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    long total = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        for (const char* field : fields) {
            if (line.startsWith(QByteArray(field) + ':'))
                total += line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').front().toLong();
        }
    }
    return total;
}

struct Memory {
    long resident = 0;
    // What the process alone holds: Private_Clean + Private_Dirty + Swap.
    long footprint = 0;
};

Memory memoryOf(qint64 pid)
{
    return {memoryKiB(pid, {"Rss"}), memoryKiB(pid, {"Private_Clean", "Private_Dirty", "Swap"})};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_app KELPIE [RUNS] [CYCLES]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 20;
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 200;
    const int pausedRuns = std::max(1, runs / 4);
    Connection x;
    if (!connect(x)) {
        std::fputs("bench_app: no X server\n", stderr);
        return 1;
    }
    QProcess::execute(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), QStringLiteral("#5a7fa6")});

    QTemporaryDir home;
    QProcess kelpie;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    kelpie.setProcessEnvironment(environment);
    kelpie.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kelpie.start(QString::fromLocal8Bit(argv[1]), {});
    if (!kelpie.waitForStarted())
        return 1;

    const std::vector<std::uint32_t> desktop = sample(x);
    // Idle in the tray: started and settled, nothing captured yet.
    QThread::msleep(2000);
    const Memory idle = memoryOf(kelpie.processId());
    // Ready once the capture key shows the overlay. Kelpie may not have
    // grabbed the key yet, so the key is pressed again, but only after a
    // wait long enough for the first, cold capture of a large screen: a
    // press while an overlay is opening starts another capture, and a
    // queue of them would show overlays after the Escape below.
    bool ready = false;
    for (int attempt = 0; attempt < 20 && !ready; ++attempt) {
        tap(x, XK_F1);
        ready = until([&] { return allDiffer(sample(x), desktop); }, 3000) >= 0;
    }
    if (!ready) {
        std::fputs("bench_app: Kelpie never showed its overlay\n", stderr);
        return 1;
    }
    tap(x, XK_Escape);
    if (until([&] { return sample(x) == desktop; }) < 0) {
        std::fputs("bench_app: Escape did not take the overlay away\n", stderr);
        return 1;
    }
    QThread::msleep(500);

    std::vector<double> shown, gone, copied;
    for (int run = 0; run < runs; ++run) {
        tap(x, XK_F1);
        shown.push_back(until([&] { return allDiffer(sample(x), desktop); }));
        QThread::msleep(100);
        tap(x, XK_Escape);
        gone.push_back(until([&] { return sample(x) == desktop; }));
        QThread::msleep(100);
    }
    // Captures after a pause, when nothing of the last capture is kept.
    std::vector<double> shownAfterPause;
    for (int run = 0; run < pausedRuns; ++run) {
        QThread::msleep(2000);
        tap(x, XK_F1);
        shownAfterPause.push_back(until([&] { return allDiffer(sample(x), desktop); }));
        QThread::msleep(100);
        tap(x, XK_Escape);
        until([&] { return sample(x) == desktop; });
    }
    for (int run = 0; run < runs; ++run) {
        takeClipboard(x);
        tap(x, XK_F1);
        until([&] { return allDiffer(sample(x), desktop); });
        QThread::msleep(100);
        key(x, XK_Control_L, true);
        tap(x, XK_a);
        key(x, XK_Control_L, false);
        QThread::msleep(100);
        QElapsedTimer timer;
        timer.start();
        tap(x, XK_Return);
        const double owned = until([&] {
            const xcb_window_t owner = clipboardOwner(x);
            return owner != XCB_NONE && owner != x.window;
        });
        const QByteArray png = owned < 0 ? QByteArray() : readPng(x);
        const QImage image = QImage::fromData(png, "PNG");
        copied.push_back(image.width() == x.screen->width_in_pixels
                                 && image.height() == x.screen->height_in_pixels
                             ? static_cast<double>(timer.nsecsElapsed()) / 1e6
                             : -1);
        until([&] { return sample(x) == desktop; });
        QThread::msleep(100);
    }
    for (int cycle = 0; cycle < cycles; ++cycle) {
        tap(x, XK_F1);
        until([&] { return allDiffer(sample(x), desktop); });
        tap(x, XK_Escape);
        until([&] { return sample(x) == desktop; });
    }
    QThread::msleep(2000);
    const Memory afterCycles = memoryOf(kelpie.processId());
    // Pins opened with the pin key from clipboard text, each closed with
    // Escape (a new pin has the keyboard).
    const int pins = 10;
    int pinned = 0;
    if (offerText("Kelpie pin memory check\n两行文字")) {
        for (int pin = 0; pin < pins; ++pin) {
            tap(x, XK_F3);
            if (until([] { return pinShown(); }) < 0)
                break;
            QThread::msleep(200);
            tap(x, XK_Escape);
            if (until([] { return !pinShown(); }) < 0)
                break;
            ++pinned;
        }
    }
    // Settled as long as the idle figure was.
    QThread::msleep(2000);
    const Memory after = memoryOf(kelpie.processId());

    std::printf("screen %dx%d, runs %d\n", x.screen->width_in_pixels, x.screen->height_in_pixels,
                runs);
    std::printf("key -> overlay shown   median %.1f ms\n", median(shown));
    std::printf("key -> overlay shown after a 2 s pause  median %.1f ms (%d runs)\n",
                median(shownAfterPause), pausedRuns);
    std::printf("Escape -> overlay gone median %.1f ms\n", median(gone));
    std::printf("select all + Return -> PNG read by another client  median %.1f ms (%zu of %d complete)\n",
                median(copied),
                static_cast<std::size_t>(std::count_if(copied.begin(), copied.end(),
                                                       [](double v) { return v >= 0; })),
                runs);
    std::printf("memory idle: resident %.1f MB, private %.1f MB\n", idle.resident / 1024.0,
                idle.footprint / 1024.0);
    std::printf("memory after %d more capture-and-cancel cycles: resident %.1f MB, private %.1f MB\n",
                cycles, afterCycles.resident / 1024.0, afterCycles.footprint / 1024.0);
    std::printf("memory after those and %d of %d pins opened and closed: resident %.1f MB, "
                "private %.1f MB\n",
                pinned, pins, after.resident / 1024.0, after.footprint / 1024.0);
    std::printf("windows left: %s\n", kelpieWindowsShown() ? "yes" : "none");
    kelpie.terminate();
    kelpie.waitForFinished(3000);
    xcb_key_symbols_free(x.symbols);
    xcb_disconnect(x.c);
    return 0;
}
