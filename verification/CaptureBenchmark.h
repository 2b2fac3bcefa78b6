#pragma once

#include "verification/BenchmarkMode.h"

#include <nlohmann/json.hpp>

#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QTemporaryDir;

namespace kelpie {

class RoutineSteps;
class SelectionView;

// "capture": opens and closes the real overlay again and again through
// AppController::capture(), as the capture key does, and times each opening
// from the call to the overlay's first frame handed to the X server (its
// first paint flushed and a round trip after it). With a display host the
// screen shows the display fixture, drawn by that separate process, and
// every frozen screen is checked to show its four corners in place. Each
// overlay is closed with Escape, as a user would.
//
// Each opening is kept as {ready, submitted_uptime (boot-clock seconds),
// width, height (the frozen screen's pixels), fixture_corners_valid}; the
// report gives `action_to_submitted_frame_ms` (median over all openings,
// the first, cold one included), `selection_and_frame_ms` (the part after
// the frozen screen is in hand: the overlay built, shown and its first
// frame submitted) and `selection_windows_after` (overlay windows still in
// the process once all are closed).
class CaptureBenchmark : public BenchmarkMode {
    Q_OBJECT
public:
    struct Options {
        int openings = 200;
        // An overlay that has not shown its first frame by then counts as
        // not ready, and the run has failed.
        std::chrono::milliseconds openTimeout{10'000};
        std::chrono::milliseconds hostTimeout{30'000};
        // After a close, time for the windows under the overlay to repaint
        // before the next capture reads the screen.
        std::chrono::milliseconds settle{80};
    };

    CaptureBenchmark();
    explicit CaptureBenchmark(Options options);
    ~CaptureBenchmark() override;

    void start(const BenchmarkContext& context, BenchmarkReport& report,
               Finished finished) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Opening {
        bool ready = false;
        double submittedUptime = 0;
        int width = 0;
        int height = 0;
        bool cornersValid = false;
        double actionMs = 0;
        double selectionMs = 0;
    };

    void startHost(const QString& program);
    void stopHost();
    bool hostReady() const;
    void open();
    void presented();
    void frameSubmitted();
    void record(bool inTime);
    void close();
    int selectionWindowsAlive() const;
    void conclude();
    void fail(const char* why);

    Options m_options;
    BenchmarkContext m_context;
    BenchmarkReport* m_report = nullptr;
    Finished m_finished;
    RoutineSteps* m_steps = nullptr;
    std::unique_ptr<QTemporaryDir> m_hostFolder;
    QProcess* m_host = nullptr;
    bool m_failed = false;

    // The opening under way.
    double m_actionAt = 0;
    double m_presentedAt = 0;
    double m_frameAt = 0;
    bool m_painted = false;
    bool m_framed = false;
    QPointer<SelectionView> m_view;

    std::vector<Opening> m_openings;
};

} // namespace kelpie
