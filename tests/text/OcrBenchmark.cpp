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
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/TextFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <map>
#include <sys/resource.h>

namespace {

using namespace kelpie;

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

QString withoutCjkSpaces(const QString& text)
{
    QString result;
    const QList<uint> points = text.toUcs4();
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (points[i] == ' ' && i > 0 && i + 1 < points.size() && TextAnalysis::isCjk(points[i - 1])
            && TextAnalysis::isCjk(points[i + 1]))
            continue;
        result += QString::fromUcs4(reinterpret_cast<const char32_t*>(&points[i]), 1);
    }
    return result;
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

QStringList analysisLines(const TextAnalysis& analysis)
{
    QStringList lines;
    for (const TextAnalysis::Line& line : analysis.lines)
        lines.append(line.text);
    return lines;
}

// Processor time, in milliseconds, of this process or of its finished
// children.
double cpuMilliseconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

QStringList runCli(const QString& png, double* milliseconds, double* cpuMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    const double cpu = cpuMilliseconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("tesseract"),
                  {png, QStringLiteral("stdout"), QStringLiteral("-l"),
                   QStringLiteral("chi_sim+chi_tra+eng")});
    process.waitForFinished(-1);
    *milliseconds = timer.nsecsElapsed() / 1e6;
    *cpuMs = cpuMilliseconds(RUSAGE_CHILDREN) - cpu;
    QStringList lines;
    for (const QString& line :
         QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    return lines;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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
            cliRead = runCli(png, &cliMs, &cliCpuMs);

        const double cpu = cpuMilliseconds(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        const TextAnalysis analysis = recognizer.analyze(fixture.image, RecognitionCancellation());
        const double engineMs = timer.nsecsElapsed() / 1e6;
        engineCpu.push_back(cpuMilliseconds(RUSAGE_SELF) - cpu);
        state.SetIterationTime(engineMs / 1000);

        if (!cliFirst)
            cliRead = runCli(png, &cliMs, &cliCpuMs);
        engineTimes.push_back(engineMs);
        cliTimes.push_back(cliMs);
        cliCpu.push_back(cliCpuMs);

        QStringList engineMissed;
        QStringList cliMissed;
        const QStringList engineRead = analysisLines(analysis);
        engineExact = exactLines(expected, engineRead, &engineMissed);
        cliExact = exactLines(expected, cliRead, &cliMissed);
        QStringList cliJoined;
        for (const QString& line : cliRead)
            cliJoined.append(withoutCjkSpaces(line));
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
        exact = exactLines(fixture.texts(), analysisLines(analysis), nullptr);
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

// Private memory of the process (what it alone holds in RAM or swap).
double privateMegabytes()
{
    // Hand freed heap pages back first, so that what earlier cases freed
    // does not hide what this one takes.
    malloc_trim(0);
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    double kilobytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:")
            || line.startsWith("Swap:"))
            kilobytes += line.simplified().split(' ').value(1).toDouble();
    }
    return kilobytes / 1024;
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
BENCHMARK_CAPTURE(AfterEdit, mixed_1920x1080, "mixed-screen")
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Variant, mixed_combined_model, "mixed-screen", options(0, 24, true))
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--show_lines") == 0)
            showLines = true;
        else
            arguments.push_back(argv[i]);
    }
    int count = int(arguments.size());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(count, arguments.data());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
