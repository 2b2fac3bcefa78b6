#pragma once

#include "verification/BenchmarkFixture.h"
#include "verification/BenchmarkReport.h"
#include "verification/SurvivorCount.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelpie {

class AnalysisWatch;
class AppController;
class AppPreferences;
class ImageWindow;
class RoutineSteps;

// The benchmark mode "matrix": every fixture of the manifest analysed three
// times in a real plain editor (opened through the controller, with its
// real recogniser), then ten pins of independent bitmaps opened, read and
// closed, with a survey of memory and of what outlives its window.
//
// Memory is the process's physical footprint (private resident memory).
// The report holds:
// - `results`: per fixture its id, category, condition, the three
//   analyses' milliseconds, whether every one arrived, and how much of the
//   fixture's text the last one read right;
// - `memory_with_editor` (the last corpus editor open), `memory_after_close`
//   (its objects destroyed), `after_close_samples` ({seconds, bytes} while
//   idle after that), `memory_after_2s` and `seconds_after_close` (the last
//   sample);
// - `idle_after_corpus_2s` and `idle_after_pins_closed_2s`: the footprint
//   after each phase's windows closed and two idle seconds, its private
//   dirty part, and the CPU time the process spent in those seconds (an
//   idle process spends next to none);
// - survivors counted after the idle seconds: `corpus_controller_survivors`
//   and `pin_controller_survivors` (ImageWindow controllers still alive),
//   `corpus_object_survivors` and `pin_object_survivors` (their windows,
//   canvases, live-text layers and sessions, and documents whose pixels are
//   still held); `closed_controller_released` (every closed controller gone
//   and none left with the application controller);
// - at the end: `windows_after_close` (editors and pins the application
//   controller still holds), `nsapp_windows_including_hidden` (every
//   top-level window of the process, hidden ones too),
//   `visible_normal_or_floating_windows` (visible ordinary, dialog and
//   floating tool windows) and `phys_footprint_bytes`;
// - beside them, `after_pins_closed_samples` ({seconds, bytes} while idle
//   after the pins closed), and the goal's figure
//   `memory_growth_after_pins_bytes`: idle after the pins closed against
//   idle after the corpus, both with the models loaded and the same windows
//   (none) open; and the same for private dirty memory alone
//   (`private_dirty_bytes` in the idle objects,
//   `private_dirty_growth_after_pins_bytes`), which pages of shared files
//   that other processes map or unmap meanwhile do not move.
class MatrixBenchmark final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The first this many fixtures of the manifest; 0 for all of them.
        int fixtureLimit = 0;
        int analysesPerFixture = 3;
        int pins = 10;
        // How long the process idles after each phase, and how often the
        // footprint is sampled meanwhile.
        std::chrono::milliseconds idle{2000};
        std::chrono::milliseconds sampleInterval{250};
        // A hang guard for one analysis.
        std::chrono::milliseconds patience{180000};
    };

    static std::string scope();

    static void run(const QString& reportPath, const QString& fixtureDirectory,
                    AppController& controller, std::function<void(bool completed)> done,
                    Options options);
    static void run(const QString& reportPath, const QString& fixtureDirectory,
                    AppController& controller, std::function<void(bool completed)> done)
    {
        run(reportPath, fixtureDirectory, controller, std::move(done), Options{});
    }

private:
    struct Idle {
        std::int64_t footprint = 0;
        std::int64_t dirty = 0;
        double cpuMilliseconds = 0;
        nlohmann::json json() const;
    };

    MatrixBenchmark(QString reportPath, QString fixtureDirectory, AppController& controller,
                    std::function<void(bool)> done, Options options);
    ~MatrixBenchmark() override;

    bool prepare();
    void script();
    void scriptFixture(std::size_t index);
    void scriptAnalysis(std::size_t index, bool reopen);
    void scriptCloseAndWait();
    // Idles for the configured time, sampling the footprint: after the
    // corpus's last editor (`afterCorpus`) or after the pins.
    void scriptIdle(Idle* into, bool afterCorpus);
    void scriptPins();
    void openFixture(std::size_t index);
    void recordAnalysis(std::size_t index);
    void openPins();
    void closePins();
    void survey();
    // A figure the run cannot do without; its absence fails the run.
    std::int64_t footprint();
    void fail(const char* why);
    void finish();

    BenchmarkReport m_report;
    QString m_reportPath;
    QString m_fixtureDirectory;
    AppController& m_controller;
    std::function<void(bool)> m_done;
    Options m_options;

    std::vector<BenchmarkFixture> m_fixtures;
    nlohmann::json m_results = nlohmann::json::array();
    QString m_suite;
    std::shared_ptr<AppPreferences> m_preferences;
    QPointer<ImageWindow> m_window;
    std::vector<QPointer<ImageWindow>> m_pins;
    SurvivorCount m_corpus;
    SurvivorCount m_pinSurvivors;

    std::int64_t m_afterClose = 0;
    QElapsedTimer m_sinceClose;
    nlohmann::json m_samples = nlohmann::json::array();
    nlohmann::json m_pinSamples = nlohmann::json::array();
    Idle m_idleAfterCorpus;
    Idle m_idleAfterPins;
    double m_idleCpuStart = 0;
    bool m_failed = false;

    RoutineSteps* m_steps = nullptr;
    AnalysisWatch* m_watch = nullptr;
};

} // namespace kelpie
