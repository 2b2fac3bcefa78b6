#include "verification/MatrixBenchmark.h"

#include "annotation/AnnotationDocument.h"
#include "app/AppController.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "settings/ScratchPreferences.h"
#include "verification/AnalysisWatch.h"
#include "verification/ProcessFootprint.h"
#include "verification/RecognitionScore.h"
#include "verification/RoutineSteps.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelpie {

namespace {

const QString suitePrefix = QStringLiteral("com.kelpie.performance.");
// How long a closed window may take to be destroyed before it counts as a
// survivor; destruction takes a turn of the event loop.
constexpr std::chrono::seconds closePatience{3};

double rounded(double value) { return std::round(value * 1000.0) / 1000.0; }

// CPU time the whole process (every thread) has used, in milliseconds.
double cpuMilliseconds()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The part of the footprint that is this process's own writing: private
// dirty pages and swap. Pages of shared files (libraries, fonts) count as
// private clean while no other process happens to map them, so on a busy
// machine the full footprint moves by tens of megabytes with what other
// programs do; this part does not.
std::optional<std::int64_t> dirtyFootprint()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::int64_t kilobytes = 0;
    bool seen = false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("Private_Dirty:") && !line.startsWith("Swap:"))
            continue;
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const qint64 value = parts.size() == 3 ? parts[1].toLongLong(&ok) : 0;
        if (!ok)
            return std::nullopt;
        kilobytes += value;
        seen = true;
    }
    if (!seen)
        return std::nullopt;
    return kilobytes * 1024;
}

// Whether a pin's recognition has ended, one way or another.
bool recognitionEnded(const QPointer<ImageWindow>& guarded)
{
    const ImageWindow* window = guarded.data();
    if (!window || window->isClosed())
        return true;
    const LiveTextOverlay* overlay = window->overlay();
    if (!overlay || overlay->analysis())
        return true;
    const QString status = window->statusText();
    return status == LiveTextSession::failedStatus()
        || status == LiveTextSession::safeTextFailedStatus();
}

// Top-level windows a person could see and work with: ordinary windows,
// dialogs and floating tool windows, not menus, tool tips or splash screens.
bool normalOrFloating(const QWidget& widget)
{
    const Qt::WindowType type = widget.windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Tool;
}

} // namespace

nlohmann::json MatrixBenchmark::Idle::json() const
{
    return {{"phys_footprint_bytes", footprint},
            {"private_dirty_bytes", dirty},
            {"cpu_ms", rounded(cpuMilliseconds)}};
}

std::string MatrixBenchmark::scope()
{
    return "32张固定自制图各3次编辑态分析、10张独立位图钉图；不是200次真实截图或30分钟稳定性验收。未操作剪贴板。";
}

void MatrixBenchmark::run(const QString& reportPath, const QString& fixtureDirectory,
                          AppController& controller, std::function<void(bool)> done,
                          Options options)
{
    auto* benchmark
        = new MatrixBenchmark(reportPath, fixtureDirectory, controller, std::move(done), options);
    // Always from the event loop, so that `done` never runs before run()
    // has returned (the caller may not be in its event loop yet).
    QTimer::singleShot(0, benchmark, [benchmark] {
        if (!benchmark->prepare())
            return benchmark->finish();
        benchmark->script();
    });
}

MatrixBenchmark::MatrixBenchmark(QString reportPath, QString fixtureDirectory,
                                 AppController& controller, std::function<void(bool)> done,
                                 Options options)
    : m_report("matrix"), m_reportPath(std::move(reportPath)),
      m_fixtureDirectory(std::move(fixtureDirectory)), m_controller(controller),
      m_done(std::move(done)), m_options(options), m_steps(new RoutineSteps(this)),
      m_watch(new AnalysisWatch(this))
{
}

MatrixBenchmark::~MatrixBenchmark()
{
    if (!m_suite.isEmpty())
        ScratchPreferences::remove(m_suite);
}

bool MatrixBenchmark::prepare()
{
    auto fixtures = BenchmarkFixtureSet::read(m_fixtureDirectory);
    if (!fixtures || fixtures->empty() || m_options.analysesPerFixture < 1
        || m_options.pins < 0 || m_options.sampleInterval.count() <= 0) {
        fail("the fixtures or the options cannot be used");
        return false;
    }
    m_fixtures = std::move(fixtures).value();
    if (m_options.fixtureLimit > 0 && std::size_t(m_options.fixtureLimit) < m_fixtures.size())
        m_fixtures.resize(std::size_t(m_options.fixtureLimit));
    if (!processFootprint()) {
        fail("the process's footprint cannot be read");
        return false;
    }
    const std::optional<ScratchPreferences> scratch = ScratchPreferences::create(suitePrefix);
    if (!scratch) {
        fail("no scratch preferences");
        return false;
    }
    m_suite = scratch->name;
    m_preferences = scratch->preferences;
    return true;
}

void MatrixBenchmark::script()
{
    for (std::size_t i = 0; i < m_fixtures.size(); ++i)
        scriptFixture(i);
    scriptIdle(&m_idleAfterCorpus, true);
    scriptPins();
    scriptIdle(&m_idleAfterPins, false);
    m_steps->then([this] { survey(); });
    m_steps->start([this] { finish(); });
}

void MatrixBenchmark::scriptFixture(std::size_t index)
{
    const bool last = index + 1 == m_fixtures.size();
    m_steps->then([this, index] { openFixture(index); });
    scriptAnalysis(index, false);
    for (int again = 1; again < m_options.analysesPerFixture; ++again)
        scriptAnalysis(index, true);
    if (last) {
        m_steps->then([this] {
            m_report.set("memory_with_editor", footprint());
        });
    }
    scriptCloseAndWait();
    m_steps->then([this, last] {
        if (last) {
            m_afterClose = footprint();
            m_sinceClose.start();
            m_report.set("memory_after_close", m_afterClose);
        }
    });
}

void MatrixBenchmark::scriptAnalysis(std::size_t index, bool reopen)
{
    if (reopen) {
        m_steps->then([this] {
            if (ImageWindow* window = m_window.data()) {
                window->recognize();
                m_watch->restart(window);
            }
        });
    }
    m_steps->waitUntil([this] { return m_watch->finished(); }, m_options.patience)
        .then([this, index] { recordAnalysis(index); });
}

void MatrixBenchmark::scriptCloseAndWait()
{
    m_steps->then([this] {
        if (ImageWindow* window = m_window.data())
            window->close();
    });
    // A window that outlives its closing is what the survey is for: it is
    // counted among the survivors, and the run goes on.
    m_steps->waitUntil([this] { return m_window.isNull(); }, closePatience);
}

void MatrixBenchmark::scriptIdle(Idle* into, bool afterCorpus)
{
    m_steps->then([this, afterCorpus] {
        m_idleCpuStart = cpuMilliseconds();
        if (!afterCorpus)
            m_sinceClose.start();
    });
    const auto samples = std::max<std::int64_t>(1, m_options.idle / m_options.sampleInterval);
    for (std::int64_t s = 0; s < samples; ++s) {
        m_steps->pause(m_options.sampleInterval);
        m_steps->then([this, s, samples, afterCorpus] {
            const double seconds = rounded(double(m_sinceClose.nsecsElapsed()) / 1e9);
            const std::int64_t bytes = footprint();
            (afterCorpus ? m_samples : m_pinSamples)
                .push_back({{"seconds", seconds}, {"bytes", bytes}});
            if (afterCorpus && s + 1 == samples) {
                m_report.set("memory_after_2s", bytes);
                m_report.set("seconds_after_close", seconds);
            }
        });
    }
    m_steps->then([this, into] {
        into->cpuMilliseconds = cpuMilliseconds() - m_idleCpuStart;
        into->footprint = footprint();
        into->dirty = dirtyFootprint().value_or(0);
    });
}

void MatrixBenchmark::scriptPins()
{
    m_steps->then([this] { openPins(); });
    m_steps->waitUntil(
        [this] {
            return std::all_of(m_pins.begin(), m_pins.end(),
                               [](const QPointer<ImageWindow>& pin) { return recognitionEnded(pin); });
        },
        m_options.patience, [this](bool inTime) {
            if (!inTime)
                fail("the pins were not read in time");
        });
    m_steps->then([this] { closePins(); });
    m_steps->waitUntil(
        [this] {
            return std::all_of(m_pins.begin(), m_pins.end(),
                               [](const QPointer<ImageWindow>& pin) { return pin.isNull(); });
        },
        closePatience);
}

void MatrixBenchmark::openFixture(std::size_t index)
{
    const BenchmarkFixture& fixture = m_fixtures[index];
    // Read afresh each time into a buffer the survivor count watches, so
    // the document's copy of the pixels is the only one.
    const SurvivorCount::Watched pixels = SurvivorCount::watch(
        QImageReader(QDir(m_fixtureDirectory).filePath(fixture.file)).read());
    const QImage& image = pixels.image;
    m_results.push_back({{"id", fixture.id.toStdString()},
                         {"category", fixture.category.toStdString()},
                         {"condition", fixture.condition.toStdString()},
                         {"analysis_ms", nlohmann::json::array()},
                         {"analysed", true}});
    if (image.isNull())
        return fail("a fixture image cannot be read");
    m_watch->start();
    m_window = m_controller.showDocument(std::make_unique<AnnotationDocument>(image), false,
                                         m_preferences, std::nullopt, std::nullopt);
    m_corpus.track(m_window.data(), pixels);
    m_watch->watch(m_window.data());
}

void MatrixBenchmark::recordAnalysis(std::size_t index)
{
    nlohmann::json& result = m_results.back();
    const AnalysisWatch::State state = m_watch->state();
    if (state == AnalysisWatch::State::waiting || state == AnalysisWatch::State::closed)
        return fail("an analysis did not arrive");
    result["analysis_ms"].push_back(rounded(m_watch->milliseconds()));
    const ImageWindow* window = m_window.data();
    const LiveTextOverlay* overlay = window ? window->overlay() : nullptr;
    if (state != AnalysisWatch::State::analysed || !overlay) {
        result["analysed"] = false;
        return;
    }
    result["text_accuracy"]
        = rounded(RecognitionScore::characterAccuracy(m_fixtures[index].text, overlay->text()));
}

// Pins of independent bitmaps: each its own deep copy of a fixture, so no
// two share pixels with each other or with anything else.
void MatrixBenchmark::openPins()
{
    for (int i = 0; i < m_options.pins; ++i) {
        const BenchmarkFixture& fixture = m_fixtures[std::size_t(i) % m_fixtures.size()];
        const SurvivorCount::Watched pixels = SurvivorCount::watch(
            QImageReader(QDir(m_fixtureDirectory).filePath(fixture.file)).read());
        const QImage& image = pixels.image;
        if (image.isNull())
            return fail("a fixture image cannot be read");
        ImageWindow* pin = m_controller.showDocument(std::make_unique<AnnotationDocument>(image),
                                                     true, m_preferences, std::nullopt,
                                                     std::nullopt);
        m_pins.emplace_back(pin);
        m_pinSurvivors.track(pin, pixels);
    }
}

void MatrixBenchmark::closePins()
{
    for (const QPointer<ImageWindow>& pin : m_pins) {
        if (ImageWindow* window = pin.data())
            window->close();
    }
}

void MatrixBenchmark::survey()
{
    if (m_failed)
        return;
    m_report.setScope(scope());
    m_report.set("results", m_results);
    m_report.set("after_close_samples", m_samples);
    m_report.set("after_pins_closed_samples", m_pinSamples);
    m_report.set("idle_after_corpus_2s", m_idleAfterCorpus.json());
    m_report.set("idle_after_pins_closed_2s", m_idleAfterPins.json());
    m_report.set("corpus_controller_survivors", m_corpus.controllers());
    m_report.set("corpus_object_survivors", m_corpus.objects());
    m_report.set("pin_controller_survivors", m_pinSurvivors.controllers());
    m_report.set("pin_object_survivors", m_pinSurvivors.objects());
    const int heldByController = int(m_controller.imageWindows().size());
    m_report.set("closed_controller_released", m_corpus.controllers() == 0
                                                   && m_pinSurvivors.controllers() == 0
                                                   && heldByController == 0);
    m_report.set("windows_after_close", heldByController);
    int all = 0;
    int visible = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        ++all;
        if (widget->isVisible() && normalOrFloating(*widget))
            ++visible;
    }
    m_report.set("nsapp_windows_including_hidden", all);
    m_report.set("visible_normal_or_floating_windows", visible);
    m_report.set("memory_growth_after_pins_bytes",
                 m_idleAfterPins.footprint - m_idleAfterCorpus.footprint);
    m_report.set("private_dirty_growth_after_pins_bytes",
                 m_idleAfterPins.dirty - m_idleAfterCorpus.dirty);
    m_report.set("fixtures", int(m_fixtures.size()));
    m_report.set("phys_footprint_bytes", footprint());
    if (!m_failed)
        m_report.complete();
}

std::int64_t MatrixBenchmark::footprint()
{
    const std::optional<std::int64_t> bytes = processFootprint();
    if (!bytes) {
        fail("the process's footprint cannot be read");
        return 0;
    }
    return *bytes;
}

void MatrixBenchmark::fail(const char* why)
{
    if (!m_failed)
        std::fprintf(stderr, "The matrix benchmark could not measure: %s.\n", why);
    m_failed = true;
    m_report.fail();
    m_steps->abort();
}

void MatrixBenchmark::finish()
{
    if (ImageWindow* window = m_window.data())
        window->close();
    closePins();
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
