#pragma once

#include "verification/BenchmarkFixture.h"
#include "verification/BenchmarkReport.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelpie {

class AnalysisWatch;
class AppController;
class AppPreferences;
class CommandLineRecognition;
class ImageWindow;
class RoutineSteps;

// The benchmark modes "first-chinese", "first-english" and "first-mixed":
// the first text analysis of a process. The fixture of the mode's category
// (the manifest's first "plain" one) opens in a real plain editor through
// the controller, with the controller's real recogniser, whose models no
// analysis of this process has loaded yet; the time runs from the editor's
// creation until its whole text is selected and that selection painted.
//
// The report holds `analysis_wait_ms`, `process_first_analysis` (no model
// had been loaded in the process before, and this analysis loaded some),
// `text_selectable`, the fixed `scope`, and beside them the fixture's id,
// how much of its text was read right, and the same image read by
// `OMP_THREAD_LIMIT=1 tesseract` with the same models when the tool is
// installed (`command_line_tool_ms`, `analysis_to_command_line_ratio`).
//
// A run that cannot measure (unknown mode, unreadable fixtures, no
// analysis in time) writes the measurement_failed form.
class FirstAnalysisBenchmark final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // A hang guard: models load and the fixture is read well within it.
        std::chrono::milliseconds patience{180000};
        // Also time the command-line tool on the same image, this many
        // times: each run is a fresh process, and the median is compared.
        bool compareWithCommandLine = true;
        int commandLineRuns = 3;
    };

    // The fixture category of a mode: "first-chinese" → "chinese"; absent
    // for any other mode.
    static std::optional<QString> category(const std::string& mode);
    static std::string scope();
    // The category's first "plain" fixture, else its first.
    static std::optional<BenchmarkFixture> fixtureFor(const std::vector<BenchmarkFixture>& fixtures,
                                                      const QString& category);

    // Runs the mode on the main thread and writes its report; `done` learns
    // whether the run completed and its report was written. Returns at once.
    static void run(const std::string& mode, const QString& reportPath,
                    const QString& fixtureDirectory, AppController& controller,
                    std::function<void(bool completed)> done, Options options);
    static void run(const std::string& mode, const QString& reportPath,
                    const QString& fixtureDirectory, AppController& controller,
                    std::function<void(bool completed)> done)
    {
        run(mode, reportPath, fixtureDirectory, controller, std::move(done), Options{});
    }

private:
    FirstAnalysisBenchmark(const std::string& mode, QString reportPath, QString fixtureDirectory,
                           AppController& controller, std::function<void(bool)> done,
                           Options options);
    ~FirstAnalysisBenchmark() override;

    bool prepare();
    void script();
    void openEditor();
    void selectWholeText(ImageWindow& window);
    void recordAnalysis();
    void compareWithCommandLine(int runsLeft);
    void recordCommandLine(const QString& text);
    void finish();

    BenchmarkReport m_report;
    QString m_reportPath;
    QString m_fixtureDirectory;
    AppController& m_controller;
    std::function<void(bool)> m_done;
    Options m_options;

    BenchmarkFixture m_fixture;
    QImage m_image;
    QString m_suite;
    std::shared_ptr<AppPreferences> m_preferences;
    static int modelsLoadedSoFar();

    int m_loadsBefore = 0;
    bool m_selectable = false;
    bool m_commandLineDone = false;
    std::vector<double> m_commandLineMs;
    QPointer<ImageWindow> m_window;
    RoutineSteps* m_steps = nullptr;
    AnalysisWatch* m_watch = nullptr;
    CommandLineRecognition* m_commandLine = nullptr;
};

} // namespace kelpie
