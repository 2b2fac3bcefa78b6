#include "tests/text/OcrCorpusBench.h"

#include "platform/HelperTextRecognizer.h"
#include "platform/TesseractTextRecognizer.h"
#include "tests/text/OcrBenchTools.h"
#include "tests/text/OcrCorpus.h"
#include "tests/text/OcrScore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <sys/resource.h>

namespace kelpie::OcrCorpusBench {

namespace {

using namespace OcrBenchTools;

QByteArray utf8(const QString& text) { return text.toUtf8(); }

// The screens to read: the ones named, or all, held-out ones last.
std::vector<OcrCorpus::Screen> chosen(const OcrCorpus& corpus, const QStringList& names)
{
    std::vector<OcrCorpus::Screen> screens;
    if (!names.isEmpty()) {
        for (const QString& name : names) {
            if (const OcrCorpus::Screen* screen = corpus.find(name))
                screens.push_back(*screen);
            else
                std::fprintf(stderr, "no screen named %s\n", utf8(name).constData());
        }
        return screens;
    }
    screens = corpus.screens;
    std::stable_partition(screens.begin(), screens.end(),
                          [](const OcrCorpus::Screen& screen) { return !screen.heldOut(); });
    return screens;
}

bool loadCorpus(OcrCorpus* corpus)
{
    *corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    if (corpus->problems.isEmpty())
        return true;
    std::fprintf(stderr, "the corpus in %s has faults:\n  %s\n",
                 utf8(corpus->directory).constData(),
                 utf8(corpus->problems.join(QStringLiteral("\n  "))).constData());
    return false;
}

// The recogniser as the application sets it up, but without remembered
// lines: every turn reads the image afresh.
TesseractTextRecognizer::Options freshReading(const Options& bench)
{
    TesseractTextRecognizer::Options options;
    options.rememberedLines = 0;
    if (bench.lineHeight > 0)
        options.minimumLineHeight = bench.lineHeight;
    return options;
}

struct Reading {
    OcrScore score;
    std::vector<double> times;
    std::vector<double> cpu;
};

struct ScreenResult {
    OcrCorpus::Screen screen;
    Reading engine;
    Reading tool;
    // The tool's lines with the spaces it puts between Chinese characters
    // taken out (the recogniser never writes them).
    OcrScore toolJoined;

    double ratio() const
    {
        const double toolTime = median(tool.times);
        return toolTime > 0 ? median(engine.times) / toolTime : 0;
    }
};

void printLines(const char* who, const OcrScore& score, const QStringList& read)
{
    for (const QString& line : read)
        std::printf("      %s read:   %s\n", who, utf8(line).constData());
    for (const QString& row : score.missed)
        std::printf("      %s missed: %s\n", who, utf8(row).constData());
    for (const QString& line : score.junk)
        std::printf("      %s junk:   %s\n", who, utf8(line).constData());
}

struct Totals {
    int screens = 0;
    int rows = 0;
    int engineExact = 0;
    int toolExact = 0;
    int toolJoinedExact = 0;
    qsizetype characters = 0;
    qsizetype engineErrors = 0;
    qsizetype toolErrors = 0;
    int engineJunkPlain = 0;
    int engineJunkPictures = 0;
    int toolJunkPlain = 0;
    int engineBackward = 0;
    int toolBackward = 0;
    double worstRatio = 0;
    int slowScreens = 0; // median time above half the tool's
    std::vector<double> ratios;

    void add(const ScreenResult& result)
    {
        ++screens;
        rows += result.engine.score.rows;
        engineExact += result.engine.score.exact;
        toolExact += result.tool.score.exact;
        toolJoinedExact += result.toolJoined.exact;
        characters += result.engine.score.characters;
        engineErrors += result.engine.score.errors;
        toolErrors += result.toolJoined.errors;
        (result.screen.pictures ? engineJunkPictures : engineJunkPlain)
            += int(result.engine.score.junk.size());
        if (!result.screen.pictures)
            toolJunkPlain += int(result.toolJoined.junk.size());
        engineBackward += result.engine.score.backwardSteps;
        toolBackward += result.toolJoined.backwardSteps;
        worstRatio = std::max(worstRatio, result.ratio());
        slowScreens += result.ratio() > 0.5;
        ratios.push_back(result.ratio());
    }

    void print(const char* title) const
    {
        if (!screens)
            return;
        const auto percent
            = [](double part, double whole) { return whole ? 100 * part / whole : 0; };
        std::printf("\n%s: %d screens, %d rows\n", title, screens, rows);
        std::printf("  rows exactly right   recogniser %d (%.1f %%), tool %d, tool without CJK "
                    "spaces %d; recogniser/tool %.2f\n",
                    engineExact, percent(engineExact, rows), toolExact, toolJoinedExact,
                    toolJoinedExact ? double(engineExact) / toolJoinedExact : 0.0);
        std::printf("  character accuracy   recogniser %.2f %%, tool %.2f %%\n",
                    100 - percent(double(engineErrors), double(characters)),
                    100 - percent(double(toolErrors), double(characters)));
        std::printf("  junk lines           recogniser %d on screens without pictures, %d on "
                    "screens with; tool %d without pictures\n",
                    engineJunkPlain, engineJunkPictures, toolJunkPlain);
        std::printf("  reading order        recogniser %d backward steps, tool %d\n",
                    engineBackward, toolBackward);
        std::printf("  time                 median ratio %.2f, worst %.2f, %d screens above 0.5\n",
                    median(ratios), worstRatio, slowScreens);
    }

    void verdict() const
    {
        const auto line = [](bool ok, const char* what) {
            std::printf("  %s  %s\n", ok ? "pass" : "FAIL", what);
        };
        std::printf("\nTargets (all screens):\n");
        line(rows && engineExact >= 0.9 * rows, "rows exactly right >= 90 %");
        line(engineExact >= 1.5 * toolJoinedExact, "rows exactly right >= 1.5 x the tool's");
        line(characters && engineErrors <= 0.03 * double(characters), "character accuracy >= 97 %");
        line(engineJunkPlain == 0, "no junk lines on screens without pictures");
        line(slowScreens == 0, "median time <= 0.5 x the tool's on every screen");
        line(engineBackward == 0, "reading order kept");
    }
};

} // namespace

int compare(const Options& options)
{
    OcrCorpus corpus;
    if (!loadCorpus(&corpus))
        return 1;
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), freshReading(options));
    recognizer.prewarm();

    std::printf("bench_ocr --corpus: the recogniser (warm, lines not remembered) against\n"
                "  OMP_THREAD_LIMIT=1 tesseract IMAGE stdout -l chi_sim+chi_tra+eng\n"
                "  %d turns per screen, taking turns at going first; times are medians in ms.\n"
                "  tool figures other than 'exact' are for its lines without CJK spaces.\n\n",
                options.iterations);
    std::printf("%-28s %-8s %4s | %5s %7s %4s %4s %7s | %5s %5s %7s %4s %4s %7s | %5s\n", "screen",
                "set", "rows", "exact", "acc%", "junk", "back", "ms", "exact", "nocjk", "acc%",
                "junk", "back", "ms", "ratio");

    Totals tuning;
    Totals heldOut;
    Totals all;
    for (const OcrCorpus::Screen& screen : chosen(corpus, options.screens)) {
        const QImage image = screen.image();
        ScreenResult result{screen, {}, {}, {}};
        QStringList engineRead;
        QStringList toolRead;
        for (int turn = 0; turn < options.iterations; ++turn) {
            const bool toolFirst = turn % 2 == 1;
            double toolMs = 0;
            double toolCpu = 0;
            if (toolFirst && !options.withoutTool)
                toolRead = runTool(screen.imagePath, &toolMs, &toolCpu);
            const double cpu = cpuMilliseconds(RUSAGE_SELF);
            QElapsedTimer timer;
            timer.start();
            const TextAnalysis analysis = recognizer.analyze(image, RecognitionCancellation());
            result.engine.times.push_back(double(timer.nsecsElapsed()) / 1e6);
            result.engine.cpu.push_back(cpuMilliseconds(RUSAGE_SELF) - cpu);
            if (!toolFirst && !options.withoutTool)
                toolRead = runTool(screen.imagePath, &toolMs, &toolCpu);
            result.tool.times.push_back(toolMs);
            result.tool.cpu.push_back(toolCpu);
            engineRead = linesOf(analysis);
        }
        result.engine.score = OcrScore::of(screen.rows, engineRead);
        result.tool.score = OcrScore::of(screen.rows, toolRead);
        QStringList joined;
        for (const QString& line : toolRead)
            joined.append(OcrScore::withoutCjkSpaces(line));
        result.toolJoined = OcrScore::of(screen.rows, joined);

        const OcrScore& e = result.engine.score;
        const OcrScore& t = result.toolJoined;
        std::printf("%-28s %-8s %4d | %5d %7.2f %4lld %4d %7.0f | %5d %5d %7.2f %4lld %4d %7.0f | "
                    "%5.2f\n",
                    utf8(screen.name).constData(), utf8(screen.set).constData(), e.rows, e.exact,
                    100 * e.accuracy(), static_cast<long long>(e.junk.size()), e.backwardSteps,
                    median(result.engine.times), result.tool.score.exact, t.exact,
                    100 * t.accuracy(), static_cast<long long>(t.junk.size()), t.backwardSteps,
                    median(result.tool.times), result.ratio());
        if (options.showLines) {
            printLines("recogniser", e, engineRead);
            printLines("tool", t, joined);
        }
        std::fflush(stdout);
        (screen.heldOut() ? heldOut : tuning).add(result);
        all.add(result);
    }
    tuning.print("Tuning set");
    heldOut.print("Held-out set");
    all.print("All screens");
    all.verdict();
    return 0;
}

int analyzeOnce(const QString& png, bool throughHelper)
{
    QElapsedTimer timer;
    timer.start();
    const QImage image(png);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", utf8(png).constData());
        return 1;
    }
    const double loaded = double(timer.nsecsElapsed()) / 1e6;
    const double cpuBefore = cpuMilliseconds(RUSAGE_SELF);
    std::unique_ptr<TextRecognizer> recognizer;
    if (throughHelper)
        recognizer = std::make_unique<HelperTextRecognizer>();
    else
        recognizer = std::make_unique<TesseractTextRecognizer>();
    const TextAnalysis analysis = recognizer->analyze(image, RecognitionCancellation());
    std::printf("first_analysis_ms %.1f lines %zu cpu_ms %.1f\n",
                double(timer.nsecsElapsed()) / 1e6 - loaded, analysis.lines.size(),
                cpuMilliseconds(RUSAGE_SELF) - cpuBefore);
    return 0;
}

int cold(const Options& options)
{
    OcrCorpus corpus;
    if (!loadCorpus(&corpus))
        return 1;
    const QStringList names = options.screens.isEmpty()
        ? QStringList{QStringLiteral("term-dense-small"), QStringLiteral("qt-doc-dense"),
                      QStringLiteral("term-cjk-light-mixed"), QStringLiteral("gtk-list-selected")}
        : options.screens;
    std::printf("bench_ocr --cold: a fresh process reads one image with a new recogniser (models\n"
                "  not loaded) against a fresh OMP_THREAD_LIMIT=1 tesseract on the same image;\n"
                "  %d turns each, taking turns at going first; medians in ms.\n"
                "  'helper': what Kelpie waits for on its first analysis, the recogniser\n"
                "  made, its helper process started, the models loaded and the image read.\n"
                "  'first': the analysis alone, in a process started as Kelpie starts its\n"
                "  helper (in its environment), with no helper in between.\n"
                "  'cpu': processor time of the first analysis and of the tool; on %d\n"
                "  processors the analysis cannot take less than its own over %d.\n\n",
                options.iterations, QThread::idealThreadCount(), QThread::idealThreadCount());
    std::printf("%-28s %9s %9s %9s %7s %7s %9s %9s\n", "screen", "helper", "first", "tool",
                "h/tool", "f/tool", "f cpu", "tool cpu");
    QByteArrayList inherited;
    for (const QString& variable : QProcess::systemEnvironment())
        inherited.append(variable.toLocal8Bit());
    QStringList helperEnvironment;
    for (const QByteArray& variable : HelperTextRecognizer::helperEnvironment(inherited))
        helperEnvironment.append(QString::fromLocal8Bit(variable));
    // The child's analysis time, and its processor time in `cpu`.
    const auto child = [&options](const QStringList& arguments, const QStringList& environment,
                                  std::vector<double>* cpu = nullptr) {
        QProcess process;
        process.setEnvironment(environment);
        process.start(options.program, arguments);
        process.waitForFinished(-1);
        const QList<QByteArray> words = process.readAllStandardOutput().simplified().split(' ');
        if (cpu)
            cpu->push_back(words.value(5).toDouble());
        return words.value(1).toDouble();
    };
    for (const OcrCorpus::Screen& screen : chosen(corpus, names)) {
        std::vector<double> helper;
        std::vector<double> first;
        std::vector<double> tool;
        std::vector<double> firstCpu;
        std::vector<double> toolCpus;
        for (int turn = 0; turn < options.iterations; ++turn) {
            const bool toolFirst = turn % 2 == 1;
            double toolMs = 0;
            double toolCpu = 0;
            if (toolFirst)
                runTool(screen.imagePath, &toolMs, &toolCpu);
            helper.push_back(child({QStringLiteral("--analyze-once-helper"), screen.imagePath},
                                   QProcess::systemEnvironment()));
            first.push_back(
                child({QStringLiteral("--analyze-once"), screen.imagePath}, helperEnvironment,
                      &firstCpu));
            if (!toolFirst)
                runTool(screen.imagePath, &toolMs, &toolCpu);
            tool.push_back(toolMs);
            toolCpus.push_back(toolCpu);
        }
        std::printf("%-28s %9.0f %9.0f %9.0f %7.2f %7.2f %9.0f %9.0f\n",
                    utf8(screen.name).constData(), median(helper), median(first), median(tool),
                    median(helper) / median(tool), median(first) / median(tool),
                    median(firstCpu), median(toolCpus));
        std::fflush(stdout);
    }
    std::printf("\nTarget: first analysis <= 0.5 x the tool's time on the same image.\n");
    return 0;
}

int memory(const Options& options)
{
    OcrCorpus corpus;
    if (!loadCorpus(&corpus))
        return 1;
    std::printf("bench_ocr --memory: private memory (private resident pages plus swap) the\n"
                "  recogniser adds to the process, in MB.\n\n");
    double one = 0;
    {
        TesseractTextRecognizer::Options single;
        single.workers = 1;
        TesseractTextRecognizer recognizer(TextRecognizer::languages(), single);
        const double before = privateMegabytes();
        recognizer.prewarm();
        one = privateMegabytes() - before;
    }
    const double before = privateMegabytes();
    TesseractTextRecognizer recognizer;
    recognizer.prewarm();
    const double warm = privateMegabytes() - before;
    const int sets = recognizer.loadedModelSets();
    for (const OcrCorpus::Screen& screen : chosen(corpus, options.screens))
        recognizer.analyze(screen.image(), RecognitionCancellation());
    const double afterReading = privateMegabytes() - before;
    std::printf("  one model set (one worker)               %7.1f\n", one);
    std::printf("  all workers' sets (%d), warm             %7.1f\n", sets, warm);
    std::printf("  the same after reading the corpus once   %7.1f  (remembered lines included)\n",
                afterReading);
    std::printf("\nTarget: memory added by warm models <= 150 MB.\n");
    return 0;
}

} // namespace kelpie::OcrCorpusBench
