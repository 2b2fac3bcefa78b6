#include "verification/StartupBenchmark.h"

#include "app/AppController.h"
#include "platform/X11Sync.h"
#include "verification/BenchmarkReport.h"
#include "verification/ProcessClock.h"
#include "verification/SampleSummary.h"
#include "verification/VerificationReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

namespace kelpie {

namespace {

const char* const scope = "内核进程开始时间至菜单/热键注册与AppKit提交；不含实体按键和屏幕实际呈现延迟。"
                          "进程重启，未清系统缓存。";

const QString readyFlag = QStringLiteral("--benchmark-ready-file");

} // namespace

StartupBenchmark::StartupBenchmark() : StartupBenchmark(Options{}) { }

StartupBenchmark::StartupBenchmark(Options options) : m_options(std::move(options)) { }

StartupBenchmark::~StartupBenchmark()
{
    if (m_child && m_child->state() != QProcess::NotRunning) {
        m_child->kill();
        m_child->waitForFinished(2000);
    }
}

nlohmann::json StartupBenchmark::readyRecord(const AppController& controller)
{
    const AppController::ReadyState state = controller.readyState();
    const std::optional<double> started = ProcessClock::startMs(getpid());
    nlohmann::json ready{
        {"ready", state.ready},
        {"status_button_attached", state.statusButtonAttached},
        {"registered_hotkeys", state.registeredHotkeys},
        {"hotkey_warning",
         state.hotkeyWarning ? nlohmann::json(state.hotkeyWarning->toStdString()) : nullptr}};
    return {{"ready_state", ready},
            {"ready_boottime_ms", ProcessClock::nowMs()},
            {"process_start_boottime_ms", started ? nlohmann::json(*started) : nullptr},
            {"pid", qint64(getpid())}};
}

void StartupBenchmark::announceReady(AppController& controller, const QString& path)
{
    QTimer::singleShot(0, &controller, [&controller, path] {
        // Committed: the tray item's window and the key grabs are with the
        // X server, not in the connection's buffer.
        X11Sync::roundTrip();
        const nlohmann::json record = readyRecord(controller);
        const auto written = writeReportAtomically(path, record.dump(2) + '\n');
        if (!written)
            std::fprintf(stderr, "Kelpie could not write %s: %s\n", qPrintable(path),
                         written.failure().detail.c_str());
        QCoreApplication::exit(written ? 0 : 1);
    });
}

void StartupBenchmark::start(const BenchmarkContext& context, BenchmarkReport& report,
                             Finished finished)
{
    m_report = &report;
    m_finished = std::move(finished);
    m_report->setScope(scope);
    m_folder = std::make_unique<QTemporaryDir>();
    if (!m_folder->isValid() || m_options.runs < 1) {
        QTimer::singleShot(0, this, [this] { end(false); });
        return;
    }
    if (m_options.program.isEmpty())
        m_options.program = QCoreApplication::applicationFilePath();
    // A lone Kelpie finds its keys free; this one gives them up for it.
    if (context.controller)
        context.controller->hotkeys().pause();
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] {
        std::fputs("Kelpie's startup benchmark: a child did not get ready in time.\n", stderr);
        if (m_child)
            m_child->kill();
        end(false);
    });
    QTimer::singleShot(0, this, &StartupBenchmark::startChild);
}

void StartupBenchmark::startChild()
{
    if (m_ended)
        return;
    const QString path = QDir(m_folder->path()).filePath(QStringLiteral("ready.json"));
    QFile::remove(path);
    if (m_child)
        m_child->deleteLater();
    m_child = new QProcess(this);
    m_child->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_child, &QProcess::finished, this, &StartupBenchmark::childEnded);
    connect(m_child, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end(false);
    });
    m_timeout->start(m_options.childTimeout);
    m_spawnedAfter = ProcessClock::nowMs();
    m_child->start(m_options.program, {readyFlag, path});
}

void StartupBenchmark::childEnded()
{
    if (m_ended)
        return;
    m_timeout->stop();
    QFile file(QDir(m_folder->path()).filePath(QStringLiteral("ready.json")));
    if (m_child->exitStatus() != QProcess::NormalExit || m_child->exitCode() != 0
        || !file.open(QIODevice::ReadOnly)) {
        std::fputs("Kelpie's startup benchmark: a child ended without saying it was ready.\n",
                   stderr);
        return end(false);
    }
    const nlohmann::json record = nlohmann::json::parse(file.readAll().toStdString(), nullptr,
                                                        false);
    if (!record.is_object() || !record.contains("ready_state")
        || !record["ready_boottime_ms"].is_number()
        || !record["process_start_boottime_ms"].is_number()
        || record["ready_state"].value("ready", false) != true) {
        std::fprintf(stderr, "Kelpie's startup benchmark: a child was not ready: %s\n",
                     record.dump().c_str());
        return end(false);
    }
    const double start = ProcessClock::startEstimateMs(
        record["process_start_boottime_ms"].get<double>(), m_spawnedAfter);
    m_samples.push_back(record["ready_boottime_ms"].get<double>() - start);
    m_lastState = record["ready_state"];
    if (int(m_samples.size()) < m_options.runs) {
        QTimer::singleShot(0, this, &StartupBenchmark::startChild);
        return;
    }
    end(true);
}

void StartupBenchmark::end(bool measured)
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_timeout)
        m_timeout->stop();
    if (measured) {
        const nlohmann::json summary = SampleSummary::json(m_samples);
        m_report->set("process_start_to_ready_ms", summary["median"]);
        m_report->set("process_start_to_ready_samples_ms", summary["samples"]);
        m_report->set("ready_state", m_lastState);
    }
    QTimer::singleShot(0, this, [this, measured] { m_finished(measured); });
}

} // namespace kelpie
