#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kelpie {

// The command line as the launch reads it. Nothing is parsed up front: each
// question is answered from the argument list (program path included) when
// it is asked.
//
// - A presence flag is set when any argument equals it exactly.
// - A value flag is set when the first argument equal to it is not the last
//   one; its value is the next argument, whatever it looks like (even
//   another flag). As the last argument it counts as absent.
// - Flags are case-sensitive; there are no short forms and no name=value
//   forms. Other arguments are ignored.
class LaunchOptions {
public:
    // What a launch with a loaded fixture does: the first row that applies.
    enum class FixtureMode {
        displayVerification,      // "--display-smoke-test" and "--display-fixture-host"
        screenVerification,       // "--screen-smoke-test"
        permissionGuide,          // "--permission-guide"
        saveCheck,                // "--fixture-save-directory"
        pinVerification,          // "--pin-smoke-test"
        windowInlineVerification, // "--window-inline-smoke-test"
        inlineVerification,       // "--inline-smoke-test"
        textVerification,         // "--text-smoke-test"
        privacyVerification,      // "--privacy-smoke-test"
        windowCaptureTest,        // "--window-smoke-test"
        renderAnnotations,        // "--render-annotations"
        renderSettings,           // "--render-settings"
        renderWindowHighlight,    // "--render-window-highlight"
        renderSelection,          // "--render-selection"
        smokeTest,                // "--smoke-test"
        select,                   // "--select"
        editor,                   // none of the above
    };

    // How the process goes on after a fixture mode has started.
    enum class Ending {
        // The process keeps running until it is quit.
        keepsRunning,
        // A task runs and the process exits with the status it returns.
        exitsWithStatus,
        // The mode ends the process itself, later.
        endsItself,
        // The mode never returns to the launch: it ends the process.
        neverReturns,
    };

    // A fixture mode with the values its routine is started with.
    struct FixtureLaunch {
        FixtureMode mode = FixtureMode::editor;
        // The report path of a verification or smoke test, the output path
        // of a rendering, the folder of the save check.
        QString path;
        // The display verification's host.
        QString displayHost;
        // The preview image path of the in-place, text and privacy checks.
        std::optional<QString> previewPath;
        // "--keep-pin-preview" / "--keep-window-preview".
        bool keepPreview = false;
        // Privacy verification: false with "--no-clipboard".
        bool checkClipboard = true;
        // Annotation sample variants.
        bool previewPin = false;
        bool previewCurvedArrow = false;
        // Settings rendering with an error shown.
        bool settingsError = false;

        Ending ending() const;
        // Whether the launch goes on with its later steps afterwards (every
        // mode but the ones that never return).
        bool launchContinues() const { return ending() != Ending::neverReturns; }
    };

    struct Benchmark {
        QString reportPath;
        QString mode;
        QString fixtureDirectory;
        std::optional<QString> displayHost;
    };

    enum class Appearance { unchanged, light, dark };

    // `arguments` starts with the program path.
    explicit LaunchOptions(QStringList arguments);

    const QStringList& arguments() const { return m_arguments; }

    bool contains(const QString& flag) const;
    // The value of a value flag; absent when the flag is missing or last.
    std::optional<QString> argument(const QString& flag) const;

    // "--appearance": "light" is light, any other value dark.
    Appearance appearance() const;
    // The image file that replaces the live display.
    std::optional<QString> fixturePath() const;
    // Which mode a loaded fixture starts. A row whose routine this build
    // does not have (`available` says no) is passed over like a row whose
    // flags are missing; the editor is always there.
    FixtureLaunch fixtureLaunch(const std::function<bool(FixtureMode)>& available = {}) const;
    // "--capture-now", which only counts while no fixture is loaded.
    bool captureNow(bool fixtureLoaded) const;
    // All three benchmark flags, or nothing.
    std::optional<Benchmark> benchmark() const;
    // "--benchmark-ready-file": the path a Kelpie started by the startup
    // benchmark writes its readiness to.
    std::optional<QString> benchmarkReadyFile() const;
    // A process with a fixture, a benchmark run and a Kelpie started by the
    // benchmark run on their own beside any other Kelpie; every other
    // process is the session's one Kelpie or hands its request to it.
    bool runsIndependently() const
    {
        return fixturePath() || benchmark() || benchmarkReadyFile();
    }

private:
    QStringList m_arguments;
};

} // namespace kelpie
