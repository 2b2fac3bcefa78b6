#pragma once

#include "core/Result.h"

#include <QImage>
#include <QString>

#include <vector>

namespace kelpie {

// One image of the benchmark fixture set, as listed in its "manifest.json":
// what it shows (`category`: "chinese", "english" or "mixed"), under which
// condition ("plain", "small-text", "dark-theme", "low-contrast",
// "dense-table", "selected-row"), the image file beside the manifest and the
// text drawn into it, lines joined by line breaks.
struct BenchmarkFixture {
    QString id;
    QString category;
    QString condition;
    QString file;
    QString text;

    friend bool operator==(const BenchmarkFixture&, const BenchmarkFixture&) = default;
};

enum class FixtureSetError {
    // The manifest or an image is missing or cannot be read or written.
    unreadable,
    // The manifest is not an array of complete fixture records, or names a
    // file outside its folder.
    malformed,
};

// The generated fixture set of the benchmark modes: 32 screens of Kelpie's
// own drawing, eleven Chinese, eleven English and ten mixed, across the
// conditions above.
namespace BenchmarkFixtureSet {

struct Entry {
    BenchmarkFixture fixture;
    QImage image;
};

std::vector<Entry> generate();
// Writes every image and "manifest.json" into `directory`, creating it.
Status<FixtureSetError> write(const QString& directory);
// The manifest of `directory`, every file checked to exist beside it.
Result<std::vector<BenchmarkFixture>, FixtureSetError> read(const QString& directory);

} // namespace BenchmarkFixtureSet
} // namespace kelpie
