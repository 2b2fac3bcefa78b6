// Times one pointer-move repaint of the selection overlay over a
// 3840 × 2160 frozen image: the event, the view's bookkeeping and the
// painting of what changed into the window's backing store.

#include "OverlayFixture.h"
#include "overlay/OverlaySpace.h"
#include "overlay/SelectionView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>

#include <benchmark/benchmark.h>

using namespace kelpie;

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    qint64 area = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                area += qint64(r.width()) * r.height();
        }
        return false;
    }
};

void flush()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
}

void move(SelectionView& view, Point p)
{
    const QPointF at = OverlaySpace::widgetPoint(p, view.height());
    QMouseEvent event(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

enum class Scene { selection, hover, idle, wholeView };

void pointerMove(benchmark::State& state, Scene scene)
{
    const auto fixture = test::makeDesktopFixture(3840, 2160, 1);
    SelectionView view(fixture.image, {3840, 2160});
    view.model().windowTargets = fixture.windows;
    view.show();
    if (scene == Scene::selection || scene == Scene::wholeView)
        view.selectRegion(Rect(800, 500, 1800, 1000));
    flush();

    PaintCounter counter;
    view.installEventFilter(&counter);
    // Pointer steps inside one window (hover) or inside the selection; the
    // magnifier moves with every step.
    const Point base = scene == Scene::hover
        ? Point{fixture.windows.front().rect.midX(), fixture.windows.front().rect.midY()}
        : Point{1700, 1000};
    int step = 0;
    move(view, base);
    flush();
    counter.paints = 0;
    counter.area = 0;
    for (auto _ : state) {
        ++step;
        move(view, {base.x + (step % 40) * 3, base.y + (step % 17) * 2});
        // For comparison: what every move would cost if it repainted everything.
        if (scene == Scene::wholeView)
            view.update();
        flush();
    }
    if (counter.paints < state.iterations())
        state.SkipWithError("a pointer move did not repaint");
    state.counters["painted_px_per_move"]
        = benchmark::Counter(double(counter.area) / std::max<int64_t>(state.iterations(), 1));
}

} // namespace

BENCHMARK_CAPTURE(pointerMove, with_selection, Scene::selection)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pointerMove, over_a_window, Scene::hover)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pointerMove, idle, Scene::idle)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pointerMove, whole_view_for_comparison, Scene::wholeView)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
