#include "verification/FirstAnalysisBenchmark.h"

#include "annotation/AnnotationDocument.h"
#include "app/AppController.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "platform/HelperTextRecognizer.h"
#include "platform/TextRecognizerModule.h"
#include "settings/ScratchPreferences.h"
#include "verification/AnalysisWatch.h"
#include "verification/CommandLineRecognition.h"
#include "verification/RecognitionScore.h"
#include "verification/RoutineSteps.h"
#include "verification/SampleSummary.h"

#include <QDir>
#include <QImageReader>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace kelpie {

namespace {

const QString suitePrefix = QStringLiteral("com.kelpie.performance.");
constexpr std::chrono::seconds closePatience{10};

double rounded(double milliseconds) { return std::round(milliseconds * 1000.0) / 1000.0; }

} // namespace

std::optional<QString> FirstAnalysisBenchmark::category(const std::string& mode)
{
    for (const char* name : {"chinese", "english", "mixed"}) {
        if (mode == std::string("first-") + name)
            return QString::fromLatin1(name);
    }
    return std::nullopt;
}

std::string FirstAnalysisBenchmark::scope()
{
    return "新进程首次分析，系统框架缓存未清；从编辑窗口创建到文字可全选及AppKit提交，非实体拖选时"
           "延。";
}

std::optional<BenchmarkFixture> FirstAnalysisBenchmark::fixtureFor(
    const std::vector<BenchmarkFixture>& fixtures, const QString& category)
{
    std::optional<BenchmarkFixture> first;
    for (const BenchmarkFixture& fixture : fixtures) {
        if (fixture.category != category)
            continue;
        if (fixture.condition == QLatin1String("plain"))
            return fixture;
        if (!first)
            first = fixture;
    }
    return first;
}

void FirstAnalysisBenchmark::run(const std::string& mode, const QString& reportPath,
                                 const QString& fixtureDirectory, AppController& controller,
                                 std::function<void(bool)> done, Options options)
{
    auto* benchmark = new FirstAnalysisBenchmark(mode, reportPath, fixtureDirectory, controller,
                                                 std::move(done), options);
    // Always from the event loop, so that `done` never runs before run()
    // has returned (the caller may not be in its event loop yet).
    QTimer::singleShot(0, benchmark, [benchmark] {
        if (!benchmark->prepare())
            return benchmark->finish();
        benchmark->script();
    });
}

FirstAnalysisBenchmark::FirstAnalysisBenchmark(const std::string& mode, QString reportPath,
                                               QString fixtureDirectory, AppController& controller,
                                               std::function<void(bool)> done, Options options)
    : m_report(mode), m_reportPath(std::move(reportPath)),
      m_fixtureDirectory(std::move(fixtureDirectory)), m_controller(controller),
      m_done(std::move(done)), m_options(options), m_steps(new RoutineSteps(this)),
      m_watch(new AnalysisWatch(this)), m_commandLine(new CommandLineRecognition(this))
{
}

FirstAnalysisBenchmark::~FirstAnalysisBenchmark()
{
    if (!m_suite.isEmpty())
        ScratchPreferences::remove(m_suite);
}

// Everything the run needs before the clock starts; false when the run
// cannot measure.
bool FirstAnalysisBenchmark::prepare()
{
    const std::optional<QString> wanted = category(m_report.mode());
    if (!wanted)
        return false;
    const auto fixtures = BenchmarkFixtureSet::read(m_fixtureDirectory);
    if (!fixtures)
        return false;
    const std::optional<BenchmarkFixture> fixture = fixtureFor(fixtures.value(), *wanted);
    if (!fixture)
        return false;
    m_fixture = *fixture;
    m_image = QImageReader(QDir(m_fixtureDirectory).filePath(m_fixture.file)).read();
    if (m_image.isNull())
        return false;
    const std::optional<ScratchPreferences> scratch = ScratchPreferences::create(suitePrefix);
    if (!scratch)
        return false;
    m_suite = scratch->name;
    m_preferences = scratch->preferences;
    m_watch->onAnalysed = [this](ImageWindow& window) { selectWholeText(window); };
    return true;
}

void FirstAnalysisBenchmark::script()
{
    m_steps->then([this] { openEditor(); })
        .waitUntil([this] { return m_watch->finished(); }, m_options.patience)
        .then([this] { recordAnalysis(); })
        .waitUntil([this] { return m_window.isNull(); }, closePatience);
    if (m_options.compareWithCommandLine) {
        m_steps->then([this] { compareWithCommandLine(std::max(1, m_options.commandLineRuns)); })
            .waitUntil([this] { return m_commandLineDone; }, m_options.patience);
    }
    m_steps->start([this] { finish(); });
}

// Models loaded for this process so far: in it, or in a recognition helper
// it started (each of which loads its own).
int FirstAnalysisBenchmark::modelsLoadedSoFar()
{
    return TextRecognizerModule::modelLoadsInProcess() + HelperTextRecognizer::helpersStarted();
}

void FirstAnalysisBenchmark::openEditor()
{
    m_loadsBefore = modelsLoadedSoFar();
    m_watch->start();
    m_window = m_controller.showDocument(std::make_unique<AnnotationDocument>(m_image), false,
                                         m_preferences, std::nullopt, std::nullopt);
    m_watch->watch(m_window.data());
}

// Runs the moment the analysis reaches the window: the whole text is
// selected and the selection painted and handed to the window system, as a
// person's select-all would see it.
void FirstAnalysisBenchmark::selectWholeText(ImageWindow& window)
{
    LiveTextOverlay* overlay = window.overlay();
    if (!overlay || overlay->text().isEmpty())
        return;
    window.selectAll();
    overlay->repaint();
    m_selectable = overlay->hasActiveTextSelection() && overlay->selectedText() == overlay->text();
}

void FirstAnalysisBenchmark::recordAnalysis()
{
    ImageWindow* window = m_window.data();
    if (m_watch->state() != AnalysisWatch::State::analysed || !window) {
        std::fprintf(stderr, "The first analysis of %s did not arrive.\n",
                     qPrintable(m_fixture.id));
        m_report.fail();
        if (window)
            window->close();
        m_steps->abort();
        return;
    }
    const LiveTextOverlay* overlay = window->overlay();
    const QString text = overlay ? overlay->text() : QString();
    const int loadsAfter = modelsLoadedSoFar();
    m_report.set("analysis_wait_ms", rounded(m_watch->milliseconds()));
    m_report.set("process_first_analysis", m_loadsBefore == 0 && loadsAfter > 0);
    m_report.set("text_selectable", m_selectable);
    m_report.set("fixture", m_fixture.id.toStdString());
    m_report.set("text_accuracy",
                 rounded(RecognitionScore::characterAccuracy(m_fixture.text, text)));
    m_report.setScope(scope());
    m_report.complete();
    window->close();
}

// One run after another, never two at once, so that each has the
// machine to itself as the analysis had.
void FirstAnalysisBenchmark::compareWithCommandLine(int runsLeft)
{
    const QString path = QDir(m_fixtureDirectory).filePath(m_fixture.file);
    m_commandLine->run(path,
                       [this, runsLeft](std::optional<CommandLineRecognition::Outcome> outcome) {
                           if (!outcome) {
                               m_commandLineDone = true;
                               return;
                           }
                           m_commandLineMs.push_back(outcome->milliseconds);
                           if (runsLeft > 1)
                               return compareWithCommandLine(runsLeft - 1);
                           recordCommandLine(outcome->text);
                           m_commandLineDone = true;
                       });
}

void FirstAnalysisBenchmark::recordCommandLine(const QString& text)
{
    const double median = SampleSummary::median(m_commandLineMs).value_or(0);
    m_report.set("command_line_tool_ms", rounded(median));
    nlohmann::json runs = nlohmann::json::array();
    for (const double ms : m_commandLineMs)
        runs.push_back(rounded(ms));
    m_report.set("command_line_tool_runs_ms", runs);
    m_report.set("command_line_tool",
                 (QStringLiteral("OMP_THREAD_LIMIT=1 tesseract IMAGE stdout -l ")
                  + CommandLineRecognition::models())
                     .toStdString());
    m_report.set("command_line_text_accuracy",
                 rounded(RecognitionScore::characterAccuracy(m_fixture.text, text)));
    if (median > 0) {
        m_report.set("analysis_to_command_line_ratio",
                     std::round(m_watch->milliseconds() / median * 1000) / 1000);
    }
}

void FirstAnalysisBenchmark::finish()
{
    if (ImageWindow* window = m_window.data())
        window->close();
    const bool written = static_cast<bool>(m_report.write(m_reportPath));
    if (!written)
        std::fprintf(stderr, "Kelpie could not write the benchmark report %s.\n",
                     qPrintable(m_reportPath));
    const bool completed = written && m_report.completed();
    auto done = std::move(m_done);
    deleteLater();
    if (done)
        done(completed);
}

} // namespace kelpie
