// bench_live_text: one pointer event of a text selection drag on the live-text
// overlay, from the event to the changed area painted into the window's
// backing store, over an annotation canvas showing a 3840 × 2160 document at
// one point per pixel, with 40 recognised lines of about 110 characters.
// Cases: a drag whose end walks down and up across the lines; the same
// with every event repainting the whole overlay, for comparison. Each case
// reports the median wall-clock milliseconds per event, the pixels painted
// per event and how many events led to a paint.
#include "LiveTextFixture.h"
#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/CanvasStyleStore.h"
#include "editor/LiveTextOverlay.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

using namespace kelpie;

namespace {

constexpr int width = 3840;
constexpr int height = 2160;
constexpr int lines = 40;
constexpr double pitch = 52;   // pixels from one line to the next
constexpr double advance = 31; // pixels per character

class Styles final : public CanvasStyleStore {
public:
    AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const override
    {
        return AnnotationStyle::initial(tool, scale);
    }
    void setAnnotationStyle(const AnnotationStyle&, AnnotationTool) override { }
};

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

QImage busyBase()
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb(230 + (x / 7 + y) % 20, 230 + (x * y / 97) % 20, 235);
    }
    return image;
}

std::shared_ptr<const TextAnalysis> fortyLines()
{
    const QString english = QStringLiteral("The quick brown fox jumps over the lazy dog ");
    const QString chinese = QStringLiteral("今天下午三点半在图书馆门口见面");
    auto analysis = std::make_shared<TextAnalysis>();
    for (int i = 0; i < lines; ++i) {
        QString text = i % 3 == 2 ? chinese + english + chinese : english + english + english;
        text = text.left(110).trimmed();
        analysis->lines.push_back(
            test::recognisedLine(text, 80, 60 + pitch * i, advance, pitch * 0.7));
    }
    return analysis;
}

void flush()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
}

void send(QWidget& widget, QEvent::Type type, QPointF at)
{
    QMouseEvent event(
        type, at, widget.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void dragAcrossLines(benchmark::State& state, bool wholeOverlay)
{
    Styles styles;
    AnnotationDocument document(busyBase());
    AnnotationCanvas canvas(document, styles, false);
    canvas.resize(width, height);
    LiveTextOverlay* overlay = new LiveTextOverlay(&canvas);
    overlay->contentsRect = [&canvas] { return canvas.widgetRect(canvas.model().contentRect()); };
    canvas.show();
    flush();
    overlay->setContentsRectNeedsUpdate();
    overlay->setAnalysis(fortyLines(), QSize(width, height));
    flush();

    const auto point = [&](double line, double character) {
        return overlay
            ->widgetRect(Rect(80 + advance * character, 60 + pitch * line + pitch * 0.3, 0, 0))
            .topLeft();
    };
    send(*overlay, QEvent::MouseButtonPress, point(0, 3));
    flush();
    if (!overlay->model().selecting()) {
        state.SkipWithError("the press started no selection");
        return;
    }

    PaintCounter counter;
    overlay->installEventFilter(&counter);
    std::vector<double> samples;
    int step = 0;
    for (auto _ : state) {
        // The end walks down to the last line and back, a quarter line and
        // a few characters per event.
        const int phase = step % 320;
        const double line = (phase < 160 ? phase : 320 - phase) / 4.0;
        const double character = 10 + 40 * (1 + std::sin(step * 0.21));
        ++step;
        const auto begin = std::chrono::steady_clock::now();
        send(*overlay, QEvent::MouseMove, point(std::min(line, lines - 1.0), character));
        if (wholeOverlay)
            overlay->update();
        flush();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        state.SetIterationTime(elapsed.count());
        samples.push_back(elapsed.count() * 1e3);
    }
    send(*overlay, QEvent::MouseButtonRelease, point(0, 3));
    if (counter.paints == 0)
        state.SkipWithError("no pointer event repainted");
    std::sort(samples.begin(), samples.end());
    if (!samples.empty())
        state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["painted_px_per_event"]
        = double(counter.area) / double(std::max<int64_t>(state.iterations(), 1));
    state.counters["paints_per_event"]
        = double(counter.paints) / double(std::max<int64_t>(state.iterations(), 1));
}

} // namespace

BENCHMARK_CAPTURE(dragAcrossLines, changed_area, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(640);
BENCHMARK_CAPTURE(dragAcrossLines, whole_overlay_for_comparison, true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(160);

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
