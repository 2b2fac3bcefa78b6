// What a settings read or write costs with no cache: every read parses the
// file, every write replaces it durably (temporary file, fsync, rename).

#include "settings/AppPreferences.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace kelpie;

namespace {

// A store with the shortcuts, a directory and a style per tool, as after
// some use.
std::shared_ptr<AppPreferences> usedPreferences(const QTemporaryDir& folder)
{
    auto preferences = std::make_shared<AppPreferences>(
        std::make_shared<PreferencesStore>(folder.filePath(QStringLiteral("bench.json"))));
    preferences->setShortcuts({3, AppShortcut::control, QStringLiteral("F")}, AppShortcut::pin());
    preferences->setSaveDirectory(QUrl::fromLocalFile(folder.path()));
    for (const AnnotationTool tool : allAnnotationTools)
        preferences->setAnnotationStyle(AnnotationStyle::initial(tool, 1), tool);
    return preferences;
}

void readShortcuts(benchmark::State& state)
{
    QTemporaryDir folder;
    const auto preferences = usedPreferences(folder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(preferences->captureShortcut());
        benchmark::DoNotOptimize(preferences->pinShortcut());
        benchmark::DoNotOptimize(preferences->hasInvalidShortcuts());
    }
}
BENCHMARK(readShortcuts)->Unit(benchmark::kMicrosecond);

void readStyle(benchmark::State& state)
{
    QTemporaryDir folder;
    const auto preferences = usedPreferences(folder);
    for (auto _ : state)
        benchmark::DoNotOptimize(preferences->annotationStyle(AnnotationTool::arrow, 1));
}
BENCHMARK(readStyle)->Unit(benchmark::kMicrosecond);

void writeStyle(benchmark::State& state)
{
    QTemporaryDir folder;
    const auto preferences = usedPreferences(folder);
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::arrow, 1);
    double width = 1;
    for (auto _ : state) {
        width = width >= 40 ? 1 : width + 1; // a new value each time, so every write happens
        style.width = width;
        preferences->setAnnotationStyle(style, AnnotationTool::arrow);
    }
}
BENCHMARK(writeStyle)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
