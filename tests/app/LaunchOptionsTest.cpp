#include "app/LaunchOptions.h"

#include <gtest/gtest.h>

using namespace kelpie;
using Mode = LaunchOptions::FixtureMode;
using Ending = LaunchOptions::Ending;

namespace {

LaunchOptions options(QStringList arguments)
{
    arguments.prepend(QStringLiteral("/usr/bin/kelpie"));
    return LaunchOptions(arguments);
}

QStringList words(const char* line)
{
    return QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
}

LaunchOptions::FixtureLaunch launch(const char* line)
{
    return options(words(line)).fixtureLaunch();
}

TEST(LaunchOptions, ValueAndPresenceFlags)
{
    const auto o = options(words("--appearance light x --select --fixture"));
    EXPECT_EQ(o.argument(QStringLiteral("--appearance")), QStringLiteral("light"));
    EXPECT_TRUE(o.contains(QStringLiteral("--select")));
    // The last argument has no value; a missing flag neither.
    EXPECT_EQ(o.argument(QStringLiteral("--fixture")), std::nullopt);
    EXPECT_TRUE(o.contains(QStringLiteral("--fixture")));
    EXPECT_EQ(o.argument(QStringLiteral("--smoke-test")), std::nullopt);
    // Case counts, and there is no name=value form.
    EXPECT_FALSE(o.contains(QStringLiteral("--Select")));
    EXPECT_EQ(options(words("--fixture=a.png")).fixturePath(), std::nullopt);

    // The first occurrence counts, even when a later one has a value.
    EXPECT_EQ(options(words("--appearance light --appearance dark")).appearance(),
              LaunchOptions::Appearance::light);
    EXPECT_EQ(options(words("x --text-smoke-test a --text-smoke-test"))
                  .argument(QStringLiteral("--text-smoke-test")),
              QStringLiteral("a"));
    // A value flag followed by another flag takes that flag as its value.
    EXPECT_EQ(options(words("--appearance --appearance light")).appearance(),
              LaunchOptions::Appearance::dark);
    EXPECT_EQ(options(words("--fixture --select")).fixturePath(), QStringLiteral("--select"));
}

TEST(LaunchOptions, Appearance)
{
    EXPECT_EQ(options({}).appearance(), LaunchOptions::Appearance::unchanged);
    EXPECT_EQ(options(words("--appearance")).appearance(), LaunchOptions::Appearance::unchanged);
    EXPECT_EQ(options(words("--appearance light")).appearance(), LaunchOptions::Appearance::light);
    EXPECT_EQ(options(words("--appearance Light")).appearance(), LaunchOptions::Appearance::dark);
    EXPECT_EQ(options(words("--appearance dark")).appearance(), LaunchOptions::Appearance::dark);
    EXPECT_EQ(options(words("--appearance sepia")).appearance(), LaunchOptions::Appearance::dark);
}

TEST(LaunchOptions, EachRowWinsOverTheRowsAfterIt)
{
    // Every mode flag at once; taking away the winner each time gives the
    // rows in order.
    QStringList all = words("--display-smoke-test d.json --display-fixture-host host"
                            " --screen-smoke-test s.json --permission-guide"
                            " --fixture-save-directory /tmp/save --pin-smoke-test p.json"
                            " --window-inline-smoke-test wi.json --inline-smoke-test i.json"
                            " --text-smoke-test t.json --privacy-smoke-test pr.json"
                            " --window-smoke-test w.json --render-annotations a.png"
                            " --render-settings s.png --render-window-highlight h.png"
                            " --render-selection r.png --smoke-test sm.json --select");
    const std::vector<std::pair<Mode, QStringList>> rows{
        {Mode::displayVerification, {QStringLiteral("--display-smoke-test")}},
        {Mode::screenVerification, {QStringLiteral("--screen-smoke-test")}},
        {Mode::permissionGuide, {QStringLiteral("--permission-guide")}},
        {Mode::saveCheck, {QStringLiteral("--fixture-save-directory")}},
        {Mode::pinVerification, {QStringLiteral("--pin-smoke-test")}},
        {Mode::windowInlineVerification, {QStringLiteral("--window-inline-smoke-test")}},
        {Mode::inlineVerification, {QStringLiteral("--inline-smoke-test")}},
        {Mode::textVerification, {QStringLiteral("--text-smoke-test")}},
        {Mode::privacyVerification, {QStringLiteral("--privacy-smoke-test")}},
        {Mode::windowCaptureTest, {QStringLiteral("--window-smoke-test")}},
        {Mode::renderAnnotations, {QStringLiteral("--render-annotations")}},
        {Mode::renderSettings, {QStringLiteral("--render-settings")}},
        {Mode::renderWindowHighlight, {QStringLiteral("--render-window-highlight")}},
        {Mode::renderSelection, {QStringLiteral("--render-selection")}},
        {Mode::smokeTest, {QStringLiteral("--smoke-test")}},
        {Mode::select, {QStringLiteral("--select")}},
    };
    for (const auto& [mode, flags] : rows) {
        EXPECT_EQ(options(all).fixtureLaunch().mode, mode) << all.join(u' ').toStdString();
        for (const QString& flag : flags) {
            const qsizetype at = all.indexOf(flag);
            ASSERT_GE(at, 0);
            // Presence flags go alone, value flags with their value.
            const bool hasValue = at + 1 < all.size() && !all[at + 1].startsWith(u'-');
            all.remove(at, hasValue ? 2 : 1);
        }
    }
    EXPECT_EQ(options(all).fixtureLaunch().mode, Mode::editor);
}

TEST(LaunchOptions, FixtureModesCarryTheirValues)
{
    const auto display = launch("--display-smoke-test r.json --display-fixture-host h");
    EXPECT_EQ(display.path, QStringLiteral("r.json"));
    EXPECT_EQ(display.displayHost, QStringLiteral("h"));

    const auto privacy
        = launch("--privacy-smoke-test r.json --privacy-preview p.png --no-clipboard");
    EXPECT_EQ(privacy.previewPath, QStringLiteral("p.png"));
    EXPECT_FALSE(privacy.checkClipboard);
    EXPECT_TRUE(launch("--privacy-smoke-test r.json").checkClipboard);
    EXPECT_EQ(launch("--inline-smoke-test r.json --inline-preview").previewPath, std::nullopt);
    EXPECT_EQ(launch("--text-smoke-test r.json --text-preview t.png").previewPath,
              QStringLiteral("t.png"));

    const auto sample = launch("--render-annotations a.png --preview-curved-arrow");
    EXPECT_FALSE(sample.previewPin);
    EXPECT_TRUE(sample.previewCurvedArrow);
    EXPECT_TRUE(launch("--render-settings s.png --settings-error").settingsError);
    EXPECT_EQ(launch("--fixture-save-directory /srv/shots").path, QStringLiteral("/srv/shots"));
}

TEST(LaunchOptions, HowEachModeEnds)
{
    // The pin run keeps the process with its preview, else exits 0 or 1.
    const auto kept = launch("--pin-smoke-test r.json --keep-pin-preview");
    EXPECT_EQ(kept.ending(), Ending::keepsRunning);
    EXPECT_EQ(launch("--pin-smoke-test r.json").ending(), Ending::exitsWithStatus);
    EXPECT_EQ(launch("--window-inline-smoke-test r.json --keep-window-preview").ending(),
              Ending::keepsRunning);
    // The other preview flag does not keep the pin run.
    EXPECT_EQ(launch("--pin-smoke-test r.json --keep-window-preview").ending(),
              Ending::exitsWithStatus);

    EXPECT_EQ(launch("--window-smoke-test r.json").ending(), Ending::endsItself);
    EXPECT_EQ(launch("--render-settings s.png").ending(), Ending::endsItself);
    for (const char* line :
         {"--render-window-highlight h.png", "--render-selection r.png", "--smoke-test r.json"}) {
        EXPECT_EQ(launch(line).ending(), Ending::neverReturns) << line;
        EXPECT_FALSE(launch(line).launchContinues()) << line;
    }
    EXPECT_TRUE(launch("--select").launchContinues());
    EXPECT_EQ(launch("").ending(), Ending::keepsRunning);
}

TEST(LaunchOptions, TheExamplesOfMissingValuesAndFixtures)
{
    // "--fixture" with a readable image and "--select": the overlay.
    EXPECT_EQ(launch("--fixture shot.png --select").mode, Mode::select);

    // A fixture that did not load: "--capture-now" captures live.
    const auto missing = options(words("--fixture /nonexistent.png --capture-now"));
    EXPECT_TRUE(missing.captureNow(false));
    // A loaded fixture: "--capture-now" is ignored and the editor opens.
    EXPECT_FALSE(missing.captureNow(true));
    EXPECT_EQ(missing.fixtureLaunch().mode, Mode::editor);

    // "--smoke-test" as the last argument does not run the smoke test.
    EXPECT_EQ(launch("--fixture shot.png --smoke-test").mode, Mode::editor);

    // The display verification needs both values, else later rows apply.
    EXPECT_EQ(launch("--display-smoke-test r.json --select").mode, Mode::select);
    EXPECT_EQ(launch("--display-smoke-test r.json --screen-smoke-test s.json").mode,
              Mode::screenVerification);
    EXPECT_EQ(launch("--display-fixture-host h --display-smoke-test").mode, Mode::editor);

    // A value flag followed by a flag takes it: here the output path.
    const auto swallowed = launch("--render-selection --select");
    EXPECT_EQ(swallowed.mode, Mode::renderSelection);
    EXPECT_EQ(swallowed.path, QStringLiteral("--select"));
}

TEST(LaunchOptions, RoutinesThisBuildLacksFallThrough)
{
    const auto onlyOverlayAndEditor
        = [](Mode mode) { return mode == Mode::select || mode == Mode::renderSelection; };
    const auto o = options(words("--fixture f.png --pin-smoke-test r.json --select"));
    EXPECT_EQ(o.fixtureLaunch(onlyOverlayAndEditor).mode, Mode::select);
    EXPECT_EQ(o.fixtureLaunch().mode, Mode::pinVerification);
    EXPECT_EQ(options(words("--smoke-test r.json")).fixtureLaunch(onlyOverlayAndEditor).mode,
              Mode::editor);
}

TEST(LaunchOptions, BenchmarkNeedsAllThreeFlags)
{
    EXPECT_EQ(options(words("--benchmark-report r --benchmark-mode m")).benchmark(), std::nullopt);
    EXPECT_EQ(
        options(words("--benchmark-report r --benchmark-fixtures f --benchmark-mode")).benchmark(),
        std::nullopt);
    const auto full = options(words("--benchmark-mode capture --benchmark-fixtures /f"
                                    " --benchmark-report r.json"))
                          .benchmark();
    ASSERT_TRUE(full);
    EXPECT_EQ(full->reportPath, QStringLiteral("r.json"));
    EXPECT_EQ(full->mode, QStringLiteral("capture"));
    EXPECT_EQ(full->fixtureDirectory, QStringLiteral("/f"));
    EXPECT_EQ(full->displayHost, std::nullopt);
    EXPECT_EQ(options(words("--benchmark-mode m --benchmark-fixtures f --benchmark-report r"
                            " --benchmark-display-host h"))
                  .benchmark()
                  ->displayHost,
              QStringLiteral("h"));
}

TEST(LaunchOptions, OnlyFixtureAndBenchmarkProcessesRunIndependently)
{
    EXPECT_FALSE(options(words("--capture-now")).runsIndependently());
    EXPECT_TRUE(options(words("--fixture f.png --capture-now")).runsIndependently());
    EXPECT_FALSE(options(words("--capture-now --fixture")).runsIndependently());
    // A whole benchmark, or a Kelpie the startup benchmark started.
    EXPECT_TRUE(options(words("--benchmark-report r --benchmark-mode startup"
                              " --benchmark-fixtures f"))
                    .runsIndependently());
    EXPECT_FALSE(options(words("--benchmark-report r --benchmark-mode startup"))
                     .runsIndependently());
    EXPECT_TRUE(options(words("--benchmark-ready-file /tmp/r/ready.json")).runsIndependently());
    EXPECT_FALSE(options(words("--benchmark-ready-file")).runsIndependently());
}

} // namespace
