#include "text/LetterCase.h"

#include "text/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace kelpie {
namespace {

// Letters that are their capitals drawn smaller.
const QString sizedLetters = QStringLiteral("cosvwxzCOSVWXZ");
// Small letters without ascenders or descenders, the measure of the
// x-height, and capitals (and digits) that stand at the cap height.
const QString xHeightLetters = QStringLiteral("aemnru");
const QString capHeightCharacters = QStringLiteral("ABDEFHKLMNPRTU0123456789");
// Small letters whose ascenders rise above the capitals in most sans type.
const QString ascenderLetters = QStringLiteral("bdhk");
// Without small letters to measure, a letter lower than this share of the
// cap height is small (x-heights are 0.7 to 0.8 of it).
constexpr double smallShare = 0.87;
// The middle of a character's box is measured: its edges may take in a
// neighbour that touches it.
constexpr double edgeShare = 0.2;

// The rows of the first and last ink in the middle of `box` (without
// `edge` of its width on either side), or none.
std::optional<std::pair<int, int>> inkRows(const QImage& normalized, const Rect& box,
                                           double edge = edgeShare)
{
    const double margin = box.width() * edge;
    const int left = std::max(0, int(std::floor(box.minX() + margin)));
    const int right = std::min(normalized.width() - 1, int(std::ceil(box.maxX() - margin)) - 1);
    const int top = std::max(0, int(std::floor(box.minY())));
    const int bottom = std::min(normalized.height() - 1, int(std::ceil(box.maxY())) - 1);
    int first = -1;
    int last = -1;
    for (int y = top; y <= bottom; ++y) {
        const uchar* row = normalized.constScanLine(y);
        for (int x = left; x <= right; ++x) {
            if (row[x] < TextLayout::inkThreshold) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
        }
    }
    if (first < 0)
        return std::nullopt;
    return std::pair{first, last};
}

// The height of the ink in the middle of `box`, or none.
std::optional<int> inkHeight(const QImage& normalized, const Rect& box)
{
    const auto rows = inkRows(normalized, box);
    if (!rows)
        return std::nullopt;
    return rows->second - rows->first + 1;
}

std::optional<double> median(std::vector<int> values)
{
    if (values.empty())
        return std::nullopt;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
}

// The medians of a measure of the characters of `line` of two kinds: those
// in `first`, and those in `second` (measure(character, true) for the
// first kind).
using Measure = std::function<std::optional<int>(const TextAnalysis::Character&, bool)>;
std::pair<std::optional<double>, std::optional<double>> mediansOf(const TextAnalysis::Line& line,
                                                                  const QString& first,
                                                                  const QString& second,
                                                                  const Measure& measure)
{
    std::vector<int> firsts;
    std::vector<int> seconds;
    for (const TextAnalysis::Word& word : line.words) {
        for (const TextAnalysis::Character& character : word.characters) {
            if (character.text.size() != 1)
                continue;
            const QChar c = character.text.at(0);
            const bool isFirst = first.contains(c);
            if (!isFirst && !second.contains(c))
                continue;
            if (const std::optional<int> value = measure(character, isFirst))
                (isFirst ? firsts : seconds).push_back(*value);
        }
    }
    return {median(firsts), median(seconds)};
}

// The height between small letters and capitals in `line`, when it shows
// the capitals' height.
std::optional<double> caseLimit(const QImage& normalized, const TextAnalysis::Line& line)
{
    const auto [x, cap] = mediansOf(line, xHeightLetters, capHeightCharacters,
                                    [&](const TextAnalysis::Character& character, bool) {
                                        return inkHeight(normalized, character.box);
                                    });
    if (!cap)
        return std::nullopt;
    if (x && *x < *cap)
        return (*x + *cap) / 2;
    return *cap * smallShare;
}

// Whether the recogniser had to guess the case of a word's Latin letters:
// all of them are letters that are their capitals drawn smaller ("名单.csv").
// In other words the letters around them tell it ("Folder", "macOS").
bool guessedCase(const TextAnalysis::Word& word)
{
    bool sized = false;
    for (const QChar c : word.text) {
        if (!c.isLetter() || c.script() != QChar::Script_Latin)
            continue;
        if (!sizedLetters.contains(c))
            return false;
        sized = true;
    }
    return sized;
}

// The row between the tops of the small letters that rise above the
// capitals (b, d, h, k) and the capitals' tops in `line`, when the line
// shows both and they differ.
std::optional<double> ascenderLimit(const QImage& normalized, const TextAnalysis::Line& line)
{
    // The stem of b, d, h or k stands at the edge of its box.
    const auto [ascender, cap] = mediansOf(
        line, ascenderLetters, capHeightCharacters,
        [&](const TextAnalysis::Character& character, bool rising) -> std::optional<int> {
            const auto rows = inkRows(normalized, character.box, rising ? 0 : edgeShare);
            return rows ? std::optional<int>(rows->first) : std::nullopt;
        });
    if (!ascender || !cap || *cap - *ascender < 1)
        return std::nullopt;
    return (*ascender + *cap) / 2;
}

// Whether the character at `i` of a word stands beside a small Latin letter.
bool besideSmallLetter(const TextAnalysis::Word& word, std::size_t i)
{
    const auto small = [&](std::size_t k) {
        if (k >= word.characters.size() || word.characters[k].text.size() != 1)
            return false;
        const QChar c = word.characters[k].text.at(0);
        return c.isLower() && c.script() == QChar::Script_Latin;
    };
    return (i > 0 && small(i - 1)) || small(i + 1);
}

// A capital I read beside small letters where the picture shows a small l
// ("xIsx"): in sans type the l rises as high as b, d, h and k, above the
// capitals, and the I stands at their height. Applies where the line shows
// both heights apart. Returns how many changed.
int smallEll(const QImage& normalized, TextAnalysis::Line& line)
{
    const std::optional<double> limit = ascenderLimit(normalized, line);
    if (!limit)
        return 0;
    return TextAnalysis::reread(line, [&](const TextAnalysis::Word& word,
                                          const TextAnalysis::Character& character) {
        if (character.text != QLatin1String("I"))
            return character.text;
        const auto at = std::size_t(&character - word.characters.data());
        if (!besideSmallLetter(word, at))
            return character.text;
        const auto rows = inkRows(normalized, character.box);
        return rows && rows->first < *limit ? QStringLiteral("l") : character.text;
    });
}

} // namespace

int LetterCase::settle(const QImage& normalized, TextAnalysis& analysis)
{
    if (normalized.format() != QImage::Format_Grayscale8)
        return 0;
    int changed = 0;
    for (TextAnalysis::Line& line : analysis.lines) {
        const std::optional<double> limit = caseLimit(normalized, line);
        if (!limit)
            continue;
        changed += TextAnalysis::reread(
            line, [&](const TextAnalysis::Word& word, const TextAnalysis::Character& character) {
                if (character.text.size() != 1 || !sizedLetters.contains(character.text.at(0))
                    || !guessedCase(word))
                    return character.text;
                const std::optional<int> height = inkHeight(normalized, character.box);
                if (!height)
                    return character.text;
                return *height < *limit ? character.text.toLower() : character.text.toUpper();
            });
        changed += smallEll(normalized, line);
    }
    return changed;
}

} // namespace kelpie
