// bench_ocr: the recogniser against the tesseract command-line tool on the
// same fixture images and languages (simplified Chinese, traditional
// Chinese, English), in one run, interleaved.
//
// Each Compare case times, per iteration, one analysis by the warm
// recogniser (models loaded before timing starts) and one run of
//   OMP_THREAD_LIMIT=1 tesseract IMAGE stdout -l chi_sim+chi_tra+eng
// taking turns at going first. The reported time is the recogniser's; the
// counters give medians, minimum and maximum of both in milliseconds, the
// ratio of the medians, the median processor time of each (all threads;
// a steadier figure than wall time on a busy machine), and how many of the
// fixture's lines each read exactly. The tool puts spaces between Chinese
// characters; cli_exact_cjk also counts its lines right once those spaces
// are removed.
//
// The Variant cases time the recogniser alone with one optimisation turned
// off, to show what each is worth; AfterEdit times reading a screen again
// after an edit hides one of its lines, with the lines read before
// remembered (the Compare and Variant cases remember none). WarmModels
// reports the private memory (private resident pages plus swap) that one
// worker's model set, and the sets of all workers, add to the process.
//
//   bench_ocr [--show_lines] [benchmark flags]
//
// --show_lines prints, once per case, every expected line the recogniser
// or the tool did not read exactly, with what they read instead.
//
// The stored screenshots of real programs (tests/text/data/corpus) are read
// by these modes instead of the generated fixtures:
//
//   bench_ocr --corpus [--turns N] [--screen NAME]... [--show_lines]
//                      [--without-tool] [--line-height N]
//       every screen, the recogniser against the tool, interleaved; rows
//       read exactly, character accuracy, junk lines, reading order and
//       times, tuning and held-out screens apart (OcrCorpusBench::compare).
//       --without-tool reads with the recogniser alone (reading figures
//       only); --line-height sets its minimum line height
//   bench_ocr --cold [--turns N] [--screen NAME]...
//       the first analysis in a fresh process against the tool: through
//       the helper process, as Kelpie does it, and the analysis alone in a
//       process started with the helper's environment
//   bench_ocr --memory
//       private memory added by the warm models
//   bench_ocr --safe [--unprepared] [--save-images DIR] [--show_lines]
//                    [--screen NAME]...
//       masked variants of light and dark screens: masked words that can
//       still be read, and words away from the masks that are lost
//       (OcrSafeBench::run)
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/OcrBenchTools.h"
#include "tests/text/OcrCorpusBench.h"
#include "tests/text/OcrSafeBench.h"
#include "tests/text/OcrScore.h"
#include "tests/text/TextFixture.h"
#include "text/TextLayout.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sys/resource.h>

namespace {

using namespace kelpie;
using namespace kelpie::OcrBenchTools;

bool showLines = false;

const QTemporaryDir& scratch()
{
    static QTemporaryDir directory;
    return directory;
}

QString pngOf(const TextFixture& fixture)
{
    const QString path = scratch().filePath(fixture.name + QStringLiteral(".png"));
    if (!QFile::exists(path))
        fixture.image.save(path);
    return path;
}

TesseractTextRecognizer::Options options(int workers, int height, bool combined, int remembered = 0)
{
    TesseractTextRecognizer::Options result;
    result.workers = workers;
    result.minimumLineHeight = height;
    result.combinedModel = combined;
    result.rememberedLines = remembered;
    return result;
}

// The recogniser as the application sets it up, but without remembered
// lines: every iteration reads the image afresh.
TesseractTextRecognizer& warmRecognizer()
{
    static TesseractTextRecognizer recognizer(TextRecognizer::languages(), options(0, 24, false));
    static const bool warm = [] {
        recognizer.prewarm();
        return true;
    }();
    (void)warm;
    return recognizer;
}

// How many expected lines appear among the read lines, each read line
// counting once.
int exactLines(const QStringList& expected, QStringList read, QStringList* missed)
{
    int exact = 0;
    for (const QString& line : expected) {
        const qsizetype at = read.indexOf(line);
        if (at >= 0) {
            ++exact;
            read.removeAt(at);
        } else if (missed) {
            missed->append(line);
        }
    }
    return exact;
}

void printMisses(const char* who, const QStringList& missed, const QStringList& read)
{
    std::fprintf(stderr, "  %s missed %lld:\n", who, static_cast<long long>(missed.size()));
    for (const QString& line : missed)
        std::fprintf(stderr, "    want \"%s\"\n", line.toUtf8().constData());
    std::fprintf(stderr, "  %s read:\n", who);
    for (const QString& line : read)
        std::fprintf(stderr, "    \"%s\"\n", line.toUtf8().constData());
}

void Compare(benchmark::State& state, const char* name)
{
    const TextFixture fixture = TextFixture::named(QString::fromUtf8(name));
    const QString png = pngOf(fixture);
    TesseractTextRecognizer& recognizer = warmRecognizer();
    const QStringList expected = fixture.texts();

    std::vector<double> engineTimes;
    std::vector<double> cliTimes;
    std::vector<double> engineCpu;
    std::vector<double> cliCpu;
    int engineExact = 0;
    int cliExact = 0;
    int cliExactCjk = 0;
    bool shown = !showLines;
    for (auto _ : state) {
        const bool cliFirst = engineTimes.size() % 2 == 1;
        QStringList cliRead;
        double cliMs = 0;
        double cliCpuMs = 0;
        if (cliFirst)
            cliRead = runTool(png, &cliMs, &cliCpuMs);

        const double cpu = cpuMilliseconds(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        const TextAnalysis analysis = recognizer.analyze(fixture.image, RecognitionCancellation());
        const double engineMs = timer.nsecsElapsed() / 1e6;
        engineCpu.push_back(cpuMilliseconds(RUSAGE_SELF) - cpu);
        state.SetIterationTime(engineMs / 1000);

        if (!cliFirst)
            cliRead = runTool(png, &cliMs, &cliCpuMs);
        engineTimes.push_back(engineMs);
        cliTimes.push_back(cliMs);
        cliCpu.push_back(cliCpuMs);

        QStringList engineMissed;
        QStringList cliMissed;
        const QStringList engineRead = linesOf(analysis);
        engineExact = exactLines(expected, engineRead, &engineMissed);
        cliExact = exactLines(expected, cliRead, &cliMissed);
        QStringList cliJoined;
        for (const QString& line : cliRead)
            cliJoined.append(OcrScore::withoutCjkSpaces(line));
        cliExactCjk = exactLines(expected, cliJoined, nullptr);
        if (!shown) {
            shown = true;
            std::fprintf(stderr, "%s:\n", name);
            printMisses("recogniser", engineMissed, engineRead);
            printMisses("tesseract tool", cliMissed, cliRead);
        }
    }
    const auto [engineMin, engineMax] = std::minmax_element(engineTimes.begin(), engineTimes.end());
    const auto [cliMin, cliMax] = std::minmax_element(cliTimes.begin(), cliTimes.end());
    state.counters["engine_ms"] = median(engineTimes);
    state.counters["engine_min"] = *engineMin;
    state.counters["engine_max"] = *engineMax;
    state.counters["cli_ms"] = median(cliTimes);
    state.counters["cli_min"] = *cliMin;
    state.counters["cli_max"] = *cliMax;
    state.counters["ratio"] = median(engineTimes) / median(cliTimes);
    state.counters["engine_cpu"] = median(engineCpu);
    state.counters["cli_cpu"] = median(cliCpu);
    state.counters["lines"] = double(expected.size());
    state.counters["engine_exact"] = engineExact;
    state.counters["cli_exact"] = cliExact;
    state.counters["cli_exact_cjk"] = cliExactCjk;
}

void Variant(benchmark::State& state, const char* name, TesseractTextRecognizer::Options options)
{
    const TextFixture fixture = TextFixture::named(QString::fromUtf8(name));
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), options);
    recognizer.prewarm();
    std::vector<double> times;
    std::vector<double> cpuTimes;
    int exact = 0;
    for (auto _ : state) {
        const double cpu = cpuMilliseconds(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        const TextAnalysis analysis = recognizer.analyze(fixture.image, RecognitionCancellation());
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpuTimes.push_back(cpuMilliseconds(RUSAGE_SELF) - cpu);
        state.SetIterationTime(times.back() / 1000);
        exact = exactLines(fixture.texts(), linesOf(analysis), nullptr);
    }
    state.counters["engine_ms"] = median(times);
    state.counters["engine_cpu"] = median(cpuTimes);
    state.counters["engine_exact"] = exact;
    state.counters["lines"] = double(fixture.lines.size());
}

// Reading a screen again after an edit that hides one line, as the editor
// does after every change: remembered lines are not read again.
void AfterEdit(benchmark::State& state, const char* name)
{
    const TextFixture fixture = TextFixture::named(QString::fromUtf8(name));
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), options(0, 24, false, 2000));
    recognizer.prewarm();
    recognizer.analyze(fixture.image, RecognitionCancellation());
    std::vector<double> times;
    std::size_t line = 0;
    for (auto _ : state) {
        QImage edited = fixture.image.copy();
        QPainter(&edited).fillRect(fixture.lines[line++ % fixture.lines.size()].box, Qt::red);
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(recognizer.analyze(edited, RecognitionCancellation()));
        times.push_back(timer.nsecsElapsed() / 1e6);
        state.SetIterationTime(times.back() / 1000);
    }
    state.counters["engine_ms"] = median(times);
}

// The layout analysis alone (luminance and colour views, normalising,
// finding the lines), which every reading pays before any model runs.
void Layout(benchmark::State& state, const char* name)
{
    const TextFixture fixture = TextFixture::named(QString::fromUtf8(name));
    std::size_t lines = 0;
    for (auto _ : state) {
        const TextLayout::Views views = TextLayout::views(fixture.image);
        lines = TextLayout::analyse(views.normalized, RecognitionCancellation()).size();
    }
    state.counters["lines"] = double(lines);
}

void WarmModels(benchmark::State& state)
{
    double one = 0;
    double all = 0;
    for (auto _ : state) {
        {
            TesseractTextRecognizer single(TextRecognizer::languages(), options(1, 24, false));
            const double before = privateMegabytes();
            single.prewarm();
            one = privateMegabytes() - before;
        }
        TesseractTextRecognizer recognizer;
        const double before = privateMegabytes();
        recognizer.prewarm();
        all = privateMegabytes() - before;
    }
    state.counters["one_set_mb"] = one;
    state.counters["all_workers_mb"] = all;
}

} // namespace

BENCHMARK(WarmModels)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, chinese_1280x800, "chinese-screen")
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, mixed_1920x1080, "mixed-screen")
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, small_english, "english")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, small_mixed, "mixed")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Variant, mixed_two_workers, "mixed-screen", options(2, 24, false))
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Variant, mixed_one_worker, "mixed-screen", options(1, 24, false))
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Variant, mixed_no_upscaling, "mixed-screen", options(0, 0, false))
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Layout, mixed_1920x1080, "mixed-screen")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AfterEdit, mixed_1920x1080, "mixed-screen")
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Variant, mixed_combined_model, "mixed-screen", options(0, 24, true))
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

namespace {

enum class Mode { benchmarks, corpus, cold, analyzeOnce, memory, safe };

} // namespace

int main(int argc, char** argv)
{
    Mode mode = Mode::benchmarks;
    OcrCorpusBench::Options corpusOptions;
    QString image;
    bool throughHelper = false;
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        const auto value
            = [&] { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
        if (std::strcmp(argv[i], "--show_lines") == 0) {
            showLines = true;
            corpusOptions.showLines = true;
        } else if (std::strcmp(argv[i], "--corpus") == 0) {
            mode = Mode::corpus;
        } else if (std::strcmp(argv[i], "--cold") == 0) {
            mode = Mode::cold;
        } else if (std::strcmp(argv[i], "--memory") == 0) {
            mode = Mode::memory;
        } else if (std::strcmp(argv[i], "--safe") == 0) {
            mode = Mode::safe;
        } else if (std::strcmp(argv[i], "--save-images") == 0) {
            corpusOptions.imageDirectory = value();
        } else if (std::strcmp(argv[i], "--unprepared") == 0) {
            corpusOptions.unprepared = true;
        } else if (std::strcmp(argv[i], "--analyze-once") == 0) {
            mode = Mode::analyzeOnce;
            image = value();
        } else if (std::strcmp(argv[i], "--analyze-once-helper") == 0) {
            mode = Mode::analyzeOnce;
            throughHelper = true;
            image = value();
        } else if (std::strcmp(argv[i], "--screen") == 0) {
            corpusOptions.screens.append(value());
        } else if (std::strcmp(argv[i], "--without-tool") == 0) {
            corpusOptions.withoutTool = true;
        } else if (std::strcmp(argv[i], "--line-height") == 0) {
            corpusOptions.lineHeight = value().toInt();
        } else if (std::strcmp(argv[i], "--turns") == 0) {
            corpusOptions.iterations = std::max(1, value().toInt());
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = int(arguments.size());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(count, arguments.data());
    corpusOptions.program = QCoreApplication::applicationFilePath();
    switch (mode) {
    case Mode::corpus: return OcrCorpusBench::compare(corpusOptions);
    case Mode::cold: return OcrCorpusBench::cold(corpusOptions);
    case Mode::analyzeOnce: return OcrCorpusBench::analyzeOnce(image, throughHelper);
    case Mode::memory: return OcrCorpusBench::memory(corpusOptions);
    case Mode::safe: return OcrSafeBench::run(corpusOptions);
    case Mode::benchmarks: break;
    }
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
