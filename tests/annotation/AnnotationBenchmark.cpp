// bench_annotation: what one undo step costs on a busy document, 200 objects
// of every kind, one of them a 5,000-point pen stroke.

#include "annotation/AnnotationDocument.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <malloc.h>

using namespace kelpie;

namespace {

constexpr int objectCount = 200;
constexpr int strokePoints = 5000;
// Where the long pen stroke sits in the object list.
constexpr qsizetype strokeIndex = 100;

AnnotationState busyState()
{
    AnnotationState state;
    const AnnotationTool kinds[]
        = {AnnotationTool::rectangle, AnnotationTool::ellipse,  AnnotationTool::arrow,
           AnnotationTool::line,      AnnotationTool::text,     AnnotationTool::number,
           AnnotationTool::mask,      AnnotationTool::highlight};
    for (int i = 0; i < objectCount; ++i) {
        const AnnotationTool tool = kinds[i % 8];
        const double x = (i % 20) * 90.0;
        const double y = (i / 20) * 90.0;
        AnnotationObject object(tool, AnnotationStyle::initial(tool, 1), {x, y}, {x + 60, y + 40});
        if (tool == AnnotationTool::text)
            object.text = QStringLiteral("标注 %1").arg(i);
        if (tool == AnnotationTool::number)
            object.number = i;
        if (tool == AnnotationTool::highlight) {
            for (int p = 0; p < 40; ++p)
                object.points.append({x + p, y + std::sin(p) * 5});
        }
        state.objects.append(object);
    }
    QList<Point> stroke;
    stroke.reserve(strokePoints);
    for (int p = 0; p < strokePoints; ++p)
        stroke.append({100 + p * 0.3, 500 + std::sin(p * 0.01) * 200});
    state.objects.replace(strokeIndex,
                          AnnotationObject(AnnotationTool::pen,
                                           AnnotationStyle::initial(AnnotationTool::pen, 1), {}, {},
                                           stroke));
    state.nextNumber = objectCount;
    return state;
}

std::unique_ptr<AnnotationDocument> busyDocument()
{
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    auto document = std::make_unique<AnnotationDocument>(image);
    document->commit(busyState());
    return document;
}

// The canvas's usual step: copy the state, change one small object, commit.
void BM_CommitMoveOneObject(benchmark::State& bench)
{
    const auto document = busyDocument();
    double dx = 1;
    for (auto _ : bench) {
        AnnotationState next = document->state();
        next.objects.replace(7, next.objects.at(7).moved(dx, 0));
        benchmark::DoNotOptimize(document->commit(std::move(next)));
        dx = -dx;
    }
    bench.counters["undo_steps"] = double(document->undoStates().size());
}
BENCHMARK(BM_CommitMoveOneObject);

// A new object on top, as after drawing one.
void BM_CommitAppendObject(benchmark::State& bench)
{
    const auto document = busyDocument();
    for (auto _ : bench) {
        AnnotationState next = document->state();
        next.objects.append(
            AnnotationObject(AnnotationTool::rectangle, AnnotationStyle(), {10, 10}, {20, 20}));
        next.objects.removeAt(0); // keep the document at 200 objects
        benchmark::DoNotOptimize(document->commit(std::move(next)));
    }
}
BENCHMARK(BM_CommitAppendObject);

// commit() alone, on two prepared states that differ in one object: the
// equality check plus the history append.
void BM_CommitOnly(benchmark::State& bench)
{
    const auto document = busyDocument();
    const AnnotationState a = document->state();
    AnnotationState b = a;
    b.objects.replace(7, b.objects.at(7).moved(1, 0));
    bool flip = false;
    for (auto _ : bench) {
        benchmark::DoNotOptimize(document->commit(flip ? a : b));
        flip = !flip;
    }
}
BENCHMARK(BM_CommitOnly);

// Moving the long stroke itself rewrites its 5,000 points; that copy is the
// edit's own, not the history's.
void BM_CommitMoveLongStroke(benchmark::State& bench)
{
    const auto document = busyDocument();
    double dx = 1;
    for (auto _ : bench) {
        AnnotationState next = document->state();
        next.objects.replace(strokeIndex, next.objects.at(strokeIndex).moved(dx, 0));
        benchmark::DoNotOptimize(document->commit(std::move(next)));
        dx = -dx;
    }
}
BENCHMARK(BM_CommitMoveLongStroke);

void BM_UndoRedo(benchmark::State& bench)
{
    const auto document = busyDocument();
    AnnotationState next = document->state();
    next.objects.replace(7, next.objects.at(7).moved(1, 0));
    document->commit(next);
    for (auto _ : bench) {
        document->undo();
        document->redo();
    }
}
BENCHMARK(BM_UndoRedo);

// Copies what states would otherwise share, to compare designs: 1 copies
// every object but lets the copies share their paths, 2 copies paths too.
void unshare(AnnotationState& state, int level)
{
    if (level < 1)
        return;
    state.objects = AnnotationObjectList(state.objects.toList());
    if (level < 2)
        return;
    for (qsizetype i = 0; i < state.objects.size(); ++i)
        state.objects[i].points.detach();
}

// The same step as BM_CommitMoveOneObject with less sharing (argument as for
// unshare), for comparison.
void BM_CommitMoveOneObjectUnshared(benchmark::State& bench)
{
    const auto document = busyDocument();
    double dx = 1;
    for (auto _ : bench) {
        AnnotationState next = document->state();
        unshare(next, int(bench.range(0)));
        next.objects.replace(7, next.objects.at(7).moved(dx, 0));
        benchmark::DoNotOptimize(document->commit(std::move(next)));
        dx = -dx;
    }
}
BENCHMARK(BM_CommitMoveOneObjectUnshared)->Arg(1)->Arg(2);

// Heap bytes in use, as the C library counts them (the toolkit's containers
// allocate with malloc, not operator new).
double heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// Memory held per undo step, from the growth of the heap over many steps that each move one small
// object. Argument 1 makes every state own its paths, for comparison.
void BM_HistoryMemoryPerStep(benchmark::State& bench)
{
    constexpr int steps = 5000;
    for (auto _ : bench) {
        const auto document = busyDocument();
        const double before = heapBytesInUse();
        double dx = 1;
        for (int i = 0; i < steps; ++i) {
            AnnotationState next = document->state();
            unshare(next, int(bench.range(0)));
            const qsizetype index = i % objectCount == strokeIndex ? 0 : i % objectCount;
            next.objects.replace(index, next.objects.at(index).moved(dx, 0));
            document->commit(std::move(next));
            dx = -dx;
        }
        const double after = heapBytesInUse();
        bench.counters["bytes_per_step"] = (after - before) / steps;
    }
}
BENCHMARK(BM_HistoryMemoryPerStep)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
