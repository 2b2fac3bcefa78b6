#pragma once

#include "verification/BenchmarkMode.h"

#include <nlohmann/json.hpp>

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QTemporaryDir;
class QTimer;

namespace kelpie {

// "startup": how long a fresh Kelpie takes from the kernel's start of its
// process until its tray item and hot keys are registered and the X server
// has them. The benchmark process cannot measure its own start (it is
// already running), so it starts Kelpie again as a child with
// "--benchmark-ready-file PATH"; the child launches as usual, and on its
// first turn of the event loop after the launch makes one round trip to the
// X server and writes PATH ("ready.json"): its ready state, the boot-clock
// time it was ready and its own kernel start time; then it quits. The
// parent turns that into `process_start_to_ready_ms`, the median over a few
// fresh children (caches are warm after the first, as they are for a user).
//
// The parent gives its own hot keys up first, so that the child finds them
// free as a lone Kelpie would.
class StartupBenchmark : public BenchmarkMode {
    Q_OBJECT
public:
    struct Options {
        // The Kelpie executable to start; empty means this very program.
        QString program;
        int runs = 5;
        // A child that has not written its readiness by then has failed.
        std::chrono::milliseconds childTimeout{30'000};
    };

    StartupBenchmark();
    explicit StartupBenchmark(Options options);
    ~StartupBenchmark() override;

    void start(const BenchmarkContext& context, BenchmarkReport& report,
               Finished finished) override;

    // The child's side: on the next turn of the event loop, commits the
    // launch to the X server, writes `path` and quits the application.
    static void announceReady(AppController& controller, const QString& path);
    // What `announceReady` writes.
    static nlohmann::json readyRecord(const AppController& controller);

private:
    void startChild();
    void childEnded();
    void end(bool measured);

    Options m_options;
    BenchmarkReport* m_report = nullptr;
    Finished m_finished;
    std::unique_ptr<QTemporaryDir> m_folder;
    QProcess* m_child = nullptr;
    QTimer* m_timeout = nullptr;
    std::optional<double> m_spawnedAfter;
    std::vector<double> m_samples;
    nlohmann::json m_lastState;
    bool m_ended = false;
};

} // namespace kelpie
