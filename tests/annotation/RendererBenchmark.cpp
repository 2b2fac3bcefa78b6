// bench_renderer: how long building a composite takes, on a full-HD and a
// 4K base, for the kinds of document that cost the most. Each case reports
// the median of its repetitions in wall-clock milliseconds (the blur may use
// more than one thread), and process_cpu_ms, the CPU time of all threads per
// composite.
#include "RendererSamples.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/AnnotationStyle.h"

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
