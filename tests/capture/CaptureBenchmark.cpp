// One full capture (image plus window targets) on a real X server with 20
// ordinary windows of another process open, and its parts. Run it under
// tests/support/with-xvfb with the screen size to measure, e.g.
//
//   tests/support/with-xvfb --xvfb-arg -screen --xvfb-arg 0
//       --xvfb-arg 3840x2160x24 -- build/tests/capture/bench_capture
//
// The *WithOwnWindow variants show a window of this process first, so they
// include the cost of leaving it out of the frozen image.

#include "WindowHost.h"
#include "capture/DisplayCapture.h"
#include "capture/WindowCapture.h"
#include "platform/X11CaptureService.h"
#include "platform/X11ImageReader.h"
#include "platform/X11WindowList.h"
#include "platform/XcbSession.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace kelpie;

namespace {

std::shared_ptr<X11CaptureService> service;
std::unique_ptr<kelpie::testing::WindowHost> host;
std::vector<std::uint32_t> windows;

template<typename T> T await(const QFuture<T>& future)
{
    while (!future.isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return future.result();
}

class OwnWindow : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(0xff00ff));
    }
};

void checkCapture(benchmark::State& state, const DisplayCapture::Outcome& outcome)
{
    const auto* snapshot = (outcome.ok() ? &outcome.value() : nullptr);
    if (!snapshot)
        return state.SkipWithError("the capture failed");
    if (snapshot->targets.size() != windows.size())
        return state.SkipWithError("not every window was listed");
}

void fullCapture(benchmark::State& state)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    for (auto _ : state) {
        DisplayCapture::Outcome outcome = await(DisplayCapture::capture(service, screen));
        state.PauseTiming();
        checkCapture(state, outcome);
        outcome = DisplayCapture::Snapshot{};
        state.ResumeTiming();
    }
    const QSize pixels = screen->size() * screen->devicePixelRatio();
    state.SetLabel(QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height()).toStdString());
}

void BM_FullCapture(benchmark::State& state) { fullCapture(state); }

void BM_FullCaptureWithOwnWindow(benchmark::State& state)
{
    OwnWindow own;
    own.setGeometry(300, 200, 800, 500);
    own.show();
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    XcbSession session;
    const std::optional<X11WindowList> listed = X11WindowList::list(session);
    if (!listed || std::ranges::none_of(listed->topLevels, [](const X11TopLevel& t) {
            return t.ownerPID == service->processId();
        }))
        return state.SkipWithError("our own window is not shown");
    fullCapture(state);
}

void BM_WindowCapture(benchmark::State& state)
{
    const std::uint32_t id = windows.front();
    for (auto _ : state) {
        const WindowCapture::Outcome outcome
            = await(WindowCapture::captureSnapshot(service, id, host->pid()));
        if (!outcome.ok())
            return state.SkipWithError("the window capture failed");
    }
}

// The parts, straight on the platform layer.
void BM_WindowList(benchmark::State& state)
{
    XcbSession session;
    for (auto _ : state)
        benchmark::DoNotOptimize(X11WindowList::list(session));
}

void BM_RootGrab(benchmark::State& state)
{
    XcbSession session;
    X11ImageReader reader(session);
    const xcb_screen_t& screen = session.screen();
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.read(screen.root, screen.root_depth, 0, 0,
                                             screen.width_in_pixels, screen.height_in_pixels));
    }
    state.SetLabel(reader.usesSharedMemory() ? "MIT-SHM" : "GetImage");
}

BENCHMARK(BM_FullCapture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullCaptureWithOwnWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowCapture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RootGrab)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    service = std::make_shared<X11CaptureService>();
    host = std::make_unique<kelpie::testing::WindowHost>();
    host->beforeShowing = [] { service->catchUp(); };
    const QSize screen = QGuiApplication::primaryScreen()->size()
        * QGuiApplication::primaryScreen()->devicePixelRatio();
    // Twenty ordinary windows spread over the screen, overlapping, half of
    // them patterned.
    for (int i = 0; i < 20; ++i) {
        const int width = screen.width() / 4;
        const int height = screen.height() / 4;
        const int x = (i % 5) * (screen.width() - width) / 4;
        const int y = (i / 5) * (screen.height() - height) / 3;
        const QString description = QStringLiteral("%1 %2 %3 %4 %5%6")
                                        .arg(x)
                                        .arg(y)
                                        .arg(width)
                                        .arg(height)
                                        .arg(0x101010 * (i % 15 + 1), 6, 16, QLatin1Char('0'))
                                        .arg(i % 2 ? QStringLiteral(" pattern") : QString());
        const std::uint32_t id = host->create(description);
        if (id == 0) {
            std::fprintf(stderr, "bench_capture: could not open the test windows\n");
            return 1;
        }
        windows.push_back(id);
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    host.reset();
    service.reset();
    return 0;
}
