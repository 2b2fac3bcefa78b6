#include "verification/CaptureBenchmark.h"

#include "app/AppController.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "platform/X11Sync.h"
#include "verification/BenchmarkReport.h"
#include "verification/DisplayFixture.h"
#include "verification/ProcessClock.h"
#include "verification/RoutineSteps.h"
#include "verification/SampleSummary.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace kelpie {

namespace {

const char* const scope
    = "真实AppController.capture入口，200次整屏截图遮罩打开/关闭；自制独立进程覆盖屏幕，"
      "首个预热样本保留。动作入口至可交互NSWindow提交，不含实体全局键/物理屏幕显示。"
      "持续时间不是30分钟；不存截图/识字文本，不操作剪贴板。";

} // namespace

CaptureBenchmark::CaptureBenchmark() : CaptureBenchmark(Options{}) { }

CaptureBenchmark::CaptureBenchmark(Options options) : m_options(options) { }

CaptureBenchmark::~CaptureBenchmark() { stopHost(); }

void CaptureBenchmark::stopHost()
{
    if (m_host && m_host->state() != QProcess::NotRunning) {
        m_host->terminate();
        if (!m_host->waitForFinished(2000))
            m_host->kill();
    }
}

void CaptureBenchmark::start(const BenchmarkContext& context, BenchmarkReport& report,
                             Finished finished)
{
    m_context = context;
    m_report = &report;
    m_finished = std::move(finished);
    m_report->setScope(scope);
    m_steps = new RoutineSteps(this);
    if (!m_context.controller || m_options.openings < 1) {
        m_steps->then([this] { fail("nothing to measure"); });
    } else {
        if (m_context.displayHost) {
            const QString host = *m_context.displayHost;
            m_steps->then([this, host] { startHost(host); });
            m_steps->waitUntil([this] { return m_failed || hostReady(); }, m_options.hostTimeout,
                               [this](bool inTime) {
                                   if (!inTime)
                                       fail("the display host did not get ready");
                               });
            // The host's windows are mapped; let the window manager settle.
            m_steps->pause(std::chrono::milliseconds(300));
        }
        connect(m_context.controller, &AppController::selectionPresented, this,
                &CaptureBenchmark::presented);
        for (int i = 0; i < m_options.openings; ++i) {
            m_steps->then([this] { open(); });
            m_steps->waitUntil([this] { return m_framed; }, m_options.openTimeout,
                               [this](bool inTime) { record(inTime); });
            m_steps->then([this] { close(); });
            m_steps->waitUntil([this] { return selectionWindowsAlive() == 0; },
                               std::chrono::milliseconds(5000));
            m_steps->pause(m_options.settle);
        }
        m_steps->then([this] { conclude(); });
    }
    m_steps->start([this] {
        // The process may end right after the report; the host goes first.
        stopHost();
        const bool measured = !m_failed;
        QTimer::singleShot(0, this, [this, measured] { m_finished(measured); });
    });
}

void CaptureBenchmark::fail(const char* why)
{
    std::fprintf(stderr, "Kelpie's capture benchmark: %s.\n", why);
    m_failed = true;
    m_steps->abort();
}

void CaptureBenchmark::startHost(const QString& program)
{
    m_hostFolder = std::make_unique<QTemporaryDir>();
    if (!m_hostFolder->isValid())
        return fail("no folder for the display host");
    m_host = new QProcess(this);
    m_host->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_host, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail("the display host did not start");
    });
    m_host->start(program, {m_hostFolder->path()});
}

bool CaptureBenchmark::hostReady() const
{
    return m_hostFolder
        && !QDir(m_hostFolder->path())
                .entryList({QStringLiteral("display-ready-*.json")}, QDir::Files)
                .isEmpty();
}

void CaptureBenchmark::open()
{
    m_painted = false;
    m_framed = false;
    m_view = nullptr;
    m_presentedAt = 0;
    m_actionAt = ProcessClock::nowMs();
    m_context.controller->capture();
}

void CaptureBenchmark::presented()
{
    m_presentedAt = ProcessClock::nowMs();
    SelectionWindow* window = m_context.controller->selectionWindow();
    SelectionView* view = window ? window->view() : nullptr;
    m_view = view;
    if (view)
        view->installEventFilter(this);
}

bool CaptureBenchmark::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched == m_view.data() && !m_painted) {
        m_painted = true;
        // The paint is flushed to the window right after this event, in the
        // same turn; a queued call runs after that flush.
        QMetaObject::invokeMethod(this, &CaptureBenchmark::frameSubmitted, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void CaptureBenchmark::frameSubmitted()
{
    X11Sync::roundTrip();
    m_frameAt = ProcessClock::nowMs();
    m_framed = true;
}

void CaptureBenchmark::record(bool inTime)
{
    Opening opening;
    const SelectionWindow* window = m_context.controller->selectionWindow();
    const QWindow* handle = window ? window->windowHandle() : nullptr;
    opening.ready = inTime && m_framed && window && window->isVisible() && handle
        && handle->isExposed();
    opening.submittedUptime = m_framed ? m_frameAt / 1000.0 : 0.0;
    const QImage& frozen = m_context.controller->selectionImage();
    opening.width = frozen.width();
    opening.height = frozen.height();
    opening.cornersValid = !frozen.isNull() && DisplayFixture::cornersValid(frozen);
    opening.actionMs = m_frameAt - m_actionAt;
    opening.selectionMs = m_frameAt - m_presentedAt;
    m_openings.push_back(opening);
    if (!opening.ready)
        fail("an overlay did not show its first frame");
}

void CaptureBenchmark::close()
{
    SelectionView* view = m_view.data();
    if (!view) {
        // Not ours to close by key: take the controller's own way out.
        if (m_context.controller->selectionWindow())
            fail("the overlay has no view to close");
        return;
    }
    view->removeEventFilter(this);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &release);
    if (m_context.controller->selectionWindow())
        fail("Escape left the overlay open");
}

int CaptureBenchmark::selectionWindowsAlive() const
{
    int alive = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<SelectionWindow*>(widget))
            ++alive;
    }
    return alive;
}

void CaptureBenchmark::conclude()
{
    std::vector<double> action;
    std::vector<double> selection;
    nlohmann::json openings = nlohmann::json::array();
    bool cornersValid = true;
    for (const Opening& opening : m_openings) {
        action.push_back(opening.actionMs);
        selection.push_back(opening.selectionMs);
        cornersValid = cornersValid && opening.cornersValid;
        openings.push_back({{"ready", opening.ready},
                            {"submitted_uptime", opening.submittedUptime},
                            {"width", opening.width},
                            {"height", opening.height},
                            {"fixture_corners_valid", opening.cornersValid}});
    }
    // Over the display host the frozen screens must be the host's fixture,
    // or what was timed was not the capture of a known screen.
    if (m_context.displayHost && !cornersValid)
        return fail("a frozen screen did not show the display fixture");
    m_report->set("action_to_submitted_frame_ms", SampleSummary::json(action));
    m_report->set("selection_and_frame_ms", SampleSummary::json(selection));
    m_report->set("selection_windows_after", selectionWindowsAlive());
    m_report->set("openings", openings);
    m_report->set("display_host", m_context.displayHost.has_value());
}

} // namespace kelpie
