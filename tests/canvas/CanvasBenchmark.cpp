// bench_canvas: one drag event on the canvas, from the pointer event to the
// updated preview image being ready to show, on a 3840 × 2160 document with
// 30 objects. Cases: drawing a rectangle; moving a shape that lies under a
// 1000 × 600 pixelate mask; moving an 800 × 600 blur mask of strength 40.
// Each case reports the median of its drag events in wall-clock
// milliseconds, and process_cpu_ms, the CPU time of all threads per event.
#include "CanvasFixture.h"
#include "canvas/AnnotationCanvas.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace {

using namespace kelpie;

QImage busyBase(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x / 3 + y) & 255, (x * y / 97) & 255, ((x ^ y) * 3) & 255);
    }
    return image;
}

AnnotationObject object(AnnotationTool tool, Rect box, double width = 6)
{
    AnnotationStyle style = AnnotationStyle::initial(tool, 2);
    style.width = width;
    return AnnotationObject(tool, style, box.origin, {box.maxX(), box.maxY()});
}

AnnotationObject maskObject(MaskEffect effect, double strength, Rect box)
{
    AnnotationObject mask = object(AnnotationTool::mask, box);
    mask.style.maskEffect = effect;
    mask.style.maskStrength = strength;
    return mask;
}

// 28 ordinary objects spread over the picture, away from the middle band
// the cases work in.
AnnotationObjectList scenery()
{
    AnnotationObjectList list;
    for (int i = 0; i < 28; ++i) {
        const double x = 100 + (i % 7) * 520;
        const double y = i < 14 ? 120 + (i / 7) * 260 : 1500 + (i / 7 - 2) * 260;
        switch (i % 5) {
        case 0: list.append(object(AnnotationTool::rectangle, Rect(x, y, 300, 180))); break;
        case 1: list.append(object(AnnotationTool::ellipse, Rect(x, y, 260, 200))); break;
        case 2: list.append(object(AnnotationTool::arrow, Rect(x, y, 320, 150), 10)); break;
        case 3: {
            AnnotationObject pen = object(AnnotationTool::pen, Rect(x, y, 1, 1));
            for (int k = 0; k < 400; ++k)
                pen.points.append({x + k * 0.8, y + 60 * std::sin(k * 0.05)});
            list.append(pen);
            break;
        }
        default: {
            AnnotationObject text = object(AnnotationTool::text, Rect(x, y, 380, 60));
            text.style.fontSize = 40;
            text.text = QStringLiteral("标注文字 text %1").arg(i);
            list.append(text);
            break;
        }
        }
    }
    return list;
}

struct Scene {
    test::MemoryStyleStore styles;
    std::unique_ptr<AnnotationDocument> document;
    std::unique_ptr<CanvasModel> model;

    explicit Scene(AnnotationObjectList extra)
    {
        document = std::make_unique<AnnotationDocument>(busyBase(3840, 2160));
        AnnotationState state;
        state.objects = scenery();
        state.objects.append(extra);
        document->commit(state);
        model = std::make_unique<CanvasModel>(*document, styles, false,
                                              AnnotationTextLayout::measurer());
        // One view point per image pixel keeps the events' arithmetic plain.
        model->setViewSize({3840, 2160});
    }
};

// CPU time of the whole process, all threads: on a shared machine the wall
// clock also counts time spent waiting for a core.
double processCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Presses at `from`, then times drag events that swing back and forth
// around `to`.
void dragLoop(benchmark::State& state, Scene& scene, Point from, Point to)
{
    CanvasModel& model = *scene.model;
    model.pointerDown(from, 1);
    if (!model.hasDraft()) {
        state.SkipWithError("the press started no gesture");
        return;
    }
    std::vector<double> samples;
    int i = 0;
    const double cpuBefore = processCpuMilliseconds();
    for (auto _ : state) {
        const Point p{to.x + 40 * std::sin(i * 0.37), to.y + 30 * std::cos(i * 0.23)};
        ++i;
        const auto begin = std::chrono::steady_clock::now();
        model.pointerDragged(p, false);
        benchmark::DoNotOptimize(model.previewImage().constBits());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        state.SetIterationTime(elapsed.count());
        samples.push_back(elapsed.count() * 1e3);
    }
    state.counters["process_cpu_ms"]
        = (processCpuMilliseconds() - cpuBefore) / double(std::max<int64_t>(state.iterations(), 1));
    model.pointerUp();
    if (model.previewImage().isNull())
        state.SkipWithError("the preview failed");
    std::sort(samples.begin(), samples.end());
    if (!samples.empty())
        state.counters["median_ms"] = samples[samples.size() / 2];
}

void drawRectangle(benchmark::State& state)
{
    Scene scene({object(AnnotationTool::rectangle, Rect(200, 700, 300, 300)),
                 object(AnnotationTool::ellipse, Rect(3000, 700, 300, 300))});
    scene.model->chooseTool(AnnotationTool::rectangle);
    dragLoop(state, scene, {1200, 800}, {1600, 1100});
}

void moveShapeUnderPixelate(benchmark::State& state)
{
    const AnnotationObject shape = object(AnnotationTool::rectangle, Rect(1500, 900, 300, 200));
    Scene scene({shape, maskObject(MaskEffect::pixelate, 20, Rect(1300, 800, 1000, 600))});
    // A press on the rectangle's left edge selects it and starts a move.
    dragLoop(state, scene, {1500, 1000}, {1600, 1050});
}

void moveBlurMask(benchmark::State& state)
{
    Scene scene({object(AnnotationTool::rectangle, Rect(1500, 900, 300, 200)),
                 maskObject(MaskEffect::blur, 40, Rect(1300, 700, 800, 600))});
    dragLoop(state, scene, {1700, 1000}, {1800, 1050});
}

// Not part of a drag event's budget, but what the screen costs after one:
// painting the canvas, 1920 × 1080 points, showing the 4K preview, after a
// drag event that moved a rectangle.
void paintView(benchmark::State& state)
{
    test::MemoryStyleStore styles;
    AnnotationDocument document(busyBase(3840, 2160));
    AnnotationState scene;
    scene.objects = scenery();
    document.commit(scene);
    AnnotationCanvas canvas(document, styles, false);
    canvas.resize(1920, 1080);
    QImage target(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    canvas.render(&target);
    canvas.model().chooseTool(AnnotationTool::rectangle);
    canvas.model().pointerDown({600, 400}, 1);
    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        canvas.model().pointerDragged({800 + 20 * std::sin(i * 0.3), 550 + 10 * std::cos(i * 0.2)},
                                      false);
        ++i;
        const auto begin = std::chrono::steady_clock::now();
        canvas.render(&target);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        state.SetIterationTime(elapsed.count());
        samples.push_back(elapsed.count() * 1e3);
    }
    std::sort(samples.begin(), samples.end());
    if (!samples.empty())
        state.counters["median_ms"] = samples[samples.size() / 2];
}

BENCHMARK(drawRectangle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(moveShapeUnderPixelate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(moveBlurMask)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(paintView)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

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
