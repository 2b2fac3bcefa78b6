// Times one pointer movement of a re-crop in the screenshot view over a
// 3840 × 2160 frozen screen: the event, the gesture, the editor's layout
// with both panels, and the painting of what changed into the window's
// backing store.

#include "ScreenshotEditorFixture.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace kelpie;

namespace {

void flush()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
}

// Drags the top-right handle of a crop back and forth by a few points,
// the way a hand moves it.
void recropMove(benchmark::State& state, Rect region)
{
    test::ScreenshotEditorFixture e(region, true, Size{3840, 2160}, true);
    flush();
    const QPointF handle(region.maxX(), 2160 - region.maxY());
    e.mouse(e.view, QEvent::MouseButtonPress, handle);
    flush();
    int step = 0;
    for (auto _ : state) {
        const double offset = 8 + (step++ % 8) * 3;
        e.mouse(e.view, QEvent::MouseMove, handle + QPointF(offset, -offset));
        flush();
    }
    e.mouse(e.view, QEvent::MouseButtonRelease, handle, Qt::NoButton);
}

} // namespace

BENCHMARK_CAPTURE(recropMove, small_crop, Rect(1200, 800, 400, 300))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(recropMove, large_crop, Rect(200, 200, 3200, 1700))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
