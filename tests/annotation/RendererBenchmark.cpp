// bench_renderer: how long building a composite takes, on a full-HD and a
// 4K base, for the kinds of document that cost the most. Each case reports
// the median of its repetitions in wall-clock milliseconds (the blur may use
// more than one thread), and process_cpu_ms, the CPU time of all threads per
// composite.
#include "RendererSamples.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/AnnotationStyle.h"
#include "annotation/MaskFilter.h"
#include "annotation/StrokeSimplifier.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <ctime>
#include <map>

namespace {

using namespace kelpie;

const QImage& baseOf(int width, int height)
{
    static std::map<std::pair<int, int>, QImage> bases;
    auto& base = bases[{width, height}];
    if (base.isNull())
        base = test::sampleScreenshot(QSize(width, height));
    return base;
}

// CPU time of the whole process, all threads: on a shared machine the wall
// clock also counts time spent waiting for a core.
double processCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void renderLoop(benchmark::State& state, const QList<AnnotationObject>& objects)
{
    const QImage& base = baseOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const double cpuBefore = processCpuMilliseconds();
    for (auto _ : state) {
        std::optional<QImage> composite = AnnotationRenderer::render(base, objects);
        if (!composite) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(composite->constBits());
    }
    state.counters["process_cpu_ms"] = benchmark::Counter(
        (processCpuMilliseconds() - cpuBefore) / static_cast<double>(state.iterations()));
}

AnnotationObject maskObject(MaskEffect effect, double strength, Point a, Point b)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = effect;
    style.maskStrength = strength;
    return AnnotationObject(AnnotationTool::mask, style, a, b);
}

// A 400 × 300 mask in the middle of the image.
AnnotationObject centredMask(benchmark::State& state, MaskEffect effect, double strength)
{
    const double cx = static_cast<double>(state.range(0)) / 2;
    const double cy = static_cast<double>(state.range(1)) / 2;
    return maskObject(effect, strength, {cx - 200, cy - 150}, {cx + 200, cy + 150});
}

void BM_EmptyList(benchmark::State& state) { renderLoop(state, {}); }

void BM_ThirtyShapes(benchmark::State& state)
{
    renderLoop(state,
               test::mixedShapes(
                   QSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))), 30));
}

void BM_Pixelate400x300(benchmark::State& state)
{
    renderLoop(state, {centredMask(state, MaskEffect::pixelate, 16)});
}

void BM_Blur400x300Strength80(benchmark::State& state)
{
    renderLoop(state, {centredMask(state, MaskEffect::blur, 80)});
}

void BM_BlurFullImageStrength80(benchmark::State& state)
{
    const auto w = static_cast<double>(state.range(0));
    const auto h = static_cast<double>(state.range(1));
    renderLoop(state, {maskObject(MaskEffect::blur, 80, {0, 0}, {w, h})});
}

// Repainting one rectangle of a 30-shape document that also holds a filter
// mask, as the canvas does while an object moves over the mask.
void regionLoop(benchmark::State& state, const AnnotationObject& mask, const QRect& region)
{
    const QSize size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const QImage& base = baseOf(size.width(), size.height());
    AnnotationObjectList objects(test::mixedShapes(size, 30));
    objects.append(mask);
    const double cpuBefore = processCpuMilliseconds();
    for (auto _ : state) {
        std::optional<QImage> part = AnnotationRenderer::renderRegion(base, objects, region);
        if (!part) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(part->constBits());
    }
    state.counters["process_cpu_ms"] = benchmark::Counter(
        (processCpuMilliseconds() - cpuBefore) / static_cast<double>(state.iterations()));
}

// A mask of `width` × `height` in the middle of the image, and its rectangle
// in image pixels.
std::pair<AnnotationObject, QRect> middleMask(benchmark::State& state, MaskEffect effect,
                                              double strength, int width, int height)
{
    const auto w = static_cast<int>(state.range(0));
    const auto h = static_cast<int>(state.range(1));
    const QRect rect((w - width) / 2, (h - height) / 2, width, height);
    return {maskObject(effect, strength, {double(rect.left()), double(h - rect.bottom() - 1)},
                       {double(rect.right() + 1), double(h - rect.top())}),
            rect};
}

void BM_RegionPixelate1000x600(benchmark::State& state)
{
    const auto [mask, rect] = middleMask(state, MaskEffect::pixelate, 16, 1000, 600);
    regionLoop(state, mask, rect);
}

// The region is the mask grown by its blur's reach: all that moving an
// object under it changes.
void BM_RegionBlur800x600Strength40(benchmark::State& state)
{
    const auto [mask, rect] = middleMask(state, MaskEffect::blur, 40, 800, 600);
    const int reach = MaskFilter::blurReach(40 * 0.5);
    regionLoop(state, mask, rect.adjusted(-reach, -reach, reach, reach));
}

// A pen stroke of 100,000 jittery samples over most of the image, drawn
// through every sample (range 2 = 0) or through those a StrokeSimplifier
// keeps (1); the kept count is reported as `points`.
void BM_JitteryPen100k(benchmark::State& state)
{
    const auto w = static_cast<double>(state.range(0));
    const auto h = static_cast<double>(state.range(1));
    QList<Point> points = test::jitteryStroke(100000, QSizeF(w, h), 0.1, 5);
    if (state.range(2) == 1)
        points = StrokeSimplifier::simplified(points);
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::pen, 2);
    state.counters["points"] = static_cast<double>(points.size());
    renderLoop(
        state,
        {AnnotationObject(AnnotationTool::pen, style, points.front(), points.back(), points)});
}

void BM_ChineseText200(benchmark::State& state)
{
    renderLoop(state, {test::chineseText(200, static_cast<double>(state.range(1)))});
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(7)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_EmptyList)->Apply(sizes);
BENCHMARK(BM_ThirtyShapes)->Apply(sizes);
BENCHMARK(BM_Pixelate400x300)->Apply(sizes);
BENCHMARK(BM_Blur400x300Strength80)->Apply(sizes);
BENCHMARK(BM_BlurFullImageStrength80)->Apply(sizes);
BENCHMARK(BM_ChineseText200)->Apply(sizes);
BENCHMARK(BM_JitteryPen100k)
    ->Args({3840, 2160, 0})
    ->Args({3840, 2160, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RegionPixelate1000x600)
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RegionBlur800x600Strength40)
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
