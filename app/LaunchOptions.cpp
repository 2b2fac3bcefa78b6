#include "app/LaunchOptions.h"

namespace kelpie {

LaunchOptions::LaunchOptions(QStringList arguments) : m_arguments(std::move(arguments)) { }

bool LaunchOptions::contains(const QString& flag) const { return m_arguments.contains(flag); }

std::optional<QString> LaunchOptions::argument(const QString& flag) const
{
    const qsizetype index = m_arguments.indexOf(flag);
    if (index < 0 || index + 1 >= m_arguments.size())
        return std::nullopt;
    return m_arguments.at(index + 1);
}

LaunchOptions::Appearance LaunchOptions::appearance() const
{
    const auto value = argument(QStringLiteral("--appearance"));
    if (!value)
        return Appearance::unchanged;
    return *value == QStringLiteral("light") ? Appearance::light : Appearance::dark;
}

std::optional<QString> LaunchOptions::fixturePath() const
{
    return argument(QStringLiteral("--fixture"));
}

LaunchOptions::Ending LaunchOptions::FixtureLaunch::ending() const
{
    switch (mode) {
    case FixtureMode::displayVerification:
    case FixtureMode::screenVerification:
    case FixtureMode::inlineVerification:
    case FixtureMode::textVerification:
    case FixtureMode::privacyVerification:
    case FixtureMode::renderAnnotations: return Ending::exitsWithStatus;
    case FixtureMode::pinVerification:
    case FixtureMode::windowInlineVerification:
        return keepPreview ? Ending::keepsRunning : Ending::exitsWithStatus;
    case FixtureMode::windowCaptureTest:
    case FixtureMode::renderSettings: return Ending::endsItself;
    case FixtureMode::renderWindowHighlight:
    case FixtureMode::renderSelection:
    case FixtureMode::smokeTest: return Ending::neverReturns;
    case FixtureMode::permissionGuide:
    case FixtureMode::saveCheck:
    case FixtureMode::select:
    case FixtureMode::editor: return Ending::keepsRunning;
    }
    return Ending::keepsRunning;
}

namespace {

LaunchOptions::FixtureLaunch modeOnly(LaunchOptions::FixtureMode mode, QString path = {})
{
    LaunchOptions::FixtureLaunch launch;
    launch.mode = mode;
    launch.path = std::move(path);
    return launch;
}

} // namespace

LaunchOptions::FixtureLaunch LaunchOptions::fixtureLaunch(
    const std::function<bool(FixtureMode)>& available) const
{
    const auto has = [&](FixtureMode mode) { return !available || available(mode); };
    const auto value = [this](const char* flag) { return argument(QString::fromLatin1(flag)); };
    const auto present = [this](const char* flag) { return contains(QString::fromLatin1(flag)); };

    // A mode with a report (or output) path read from its value flag.
    const auto withPath = [&](FixtureMode mode, const char* flag) -> std::optional<FixtureLaunch> {
        const auto path = value(flag);
        if (!path || !has(mode))
            return std::nullopt;
        return modeOnly(mode, *path);
    };

    // 1: both of its flags must carry values.
    if (const auto report = value("--display-smoke-test")) {
        const auto host = value("--display-fixture-host");
        if (host && has(FixtureMode::displayVerification)) {
            FixtureLaunch launch = modeOnly(FixtureMode::displayVerification, *report);
            launch.displayHost = *host;
            return launch;
        }
    }
    if (auto launch = withPath(FixtureMode::screenVerification, "--screen-smoke-test"))
        return *launch;
    if (present("--permission-guide") && has(FixtureMode::permissionGuide))
        return modeOnly(FixtureMode::permissionGuide);
    if (auto launch = withPath(FixtureMode::saveCheck, "--fixture-save-directory"))
        return *launch;
    if (auto launch = withPath(FixtureMode::pinVerification, "--pin-smoke-test")) {
        launch->keepPreview = present("--keep-pin-preview");
        return *launch;
    }
    if (auto launch
        = withPath(FixtureMode::windowInlineVerification, "--window-inline-smoke-test")) {
        launch->keepPreview = present("--keep-window-preview");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::inlineVerification, "--inline-smoke-test")) {
        launch->previewPath = value("--inline-preview");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::textVerification, "--text-smoke-test")) {
        launch->previewPath = value("--text-preview");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::privacyVerification, "--privacy-smoke-test")) {
        launch->previewPath = value("--privacy-preview");
        launch->checkClipboard = !present("--no-clipboard");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::windowCaptureTest, "--window-smoke-test"))
        return *launch;
    if (auto launch = withPath(FixtureMode::renderAnnotations, "--render-annotations")) {
        launch->previewPin = present("--preview-pin");
        launch->previewCurvedArrow = present("--preview-curved-arrow");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::renderSettings, "--render-settings")) {
        launch->settingsError = present("--settings-error");
        return *launch;
    }
    if (auto launch = withPath(FixtureMode::renderWindowHighlight, "--render-window-highlight"))
        return *launch;
    if (auto launch = withPath(FixtureMode::renderSelection, "--render-selection"))
        return *launch;
    if (auto launch = withPath(FixtureMode::smokeTest, "--smoke-test"))
        return *launch;
    if (present("--select") && has(FixtureMode::select))
        return modeOnly(FixtureMode::select);
    return modeOnly(FixtureMode::editor);
}

bool LaunchOptions::captureNow(bool fixtureLoaded) const
{
    return !fixtureLoaded && contains(QStringLiteral("--capture-now"));
}

std::optional<LaunchOptions::Benchmark> LaunchOptions::benchmark() const
{
    const auto report = argument(QStringLiteral("--benchmark-report"));
    const auto mode = argument(QStringLiteral("--benchmark-mode"));
    const auto fixtures = argument(QStringLiteral("--benchmark-fixtures"));
    if (!report || !mode || !fixtures)
        return std::nullopt;
    return Benchmark{*report, *mode, *fixtures,
                     argument(QStringLiteral("--benchmark-display-host"))};
}

std::optional<QString> LaunchOptions::benchmarkReadyFile() const
{
    return argument(QStringLiteral("--benchmark-ready-file"));
}

} // namespace kelpie
