#include "text/GapUnderscore.h"

#include "text/TextLayout.h"

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

// An underscore lies in the lowest share of the line's ink rows.
constexpr double lowShare = 0.3;
// The stroke crosses most of the gap; a descender before it may leave a
// column or two blank.
constexpr double strokeShare = 0.6;

bool isLatinLetterOrDigit(const QString& text)
{
    return text.size() == 1 && text.at(0).isLetterOrNumber()
        && (text.at(0).isDigit() || text.at(0).script() == QChar::Script_Latin);
}

// The rows of `normalized` inside `box` that hold ink, top and bottom.
std::pair<int, int> inkRowsOf(const QImage& normalized, const QRect& box)
{
    int top = -1;
    int bottom = -1;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const uchar* row = normalized.constScanLine(y);
        for (int x = box.left(); x <= box.right(); ++x) {
            if (row[x] < TextLayout::inkThreshold) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    return {top, bottom};
}

// Whether column `x` has ink in rows [from, to].
bool inkIn(const QImage& normalized, int x, int from, int to)
{
    for (int y = from; y <= to; ++y) {
        if (normalized.constScanLine(y)[x] < TextLayout::inkThreshold)
            return true;
    }
    return false;
}

// Whether the gap between the words `left` and `right` shows an
// underscore: most of its columns inked low in the line, none above, and
// no such ink under the middle of the word before it (an underline).
bool underscoreBetween(const QImage& normalized, const QRect& line, const TextAnalysis::Word& left,
                       const TextAnalysis::Word& right)
{
    const QRect area = line.intersected(normalized.rect());
    const auto [top, bottom] = inkRowsOf(normalized, area);
    if (top < 0 || bottom - top < 4)
        return false;
    const int low = bottom - int(std::floor((bottom - top + 1) * lowShare)) + 1;
    // Character boxes are rough: the gap starts where the letters' ink ends.
    int from = std::max(area.left(), int(std::ceil(left.box.maxX())) - 1);
    int to = std::min(area.right(), int(std::floor(right.box.minX())));
    while (from <= to && inkIn(normalized, from, top, low - 1))
        ++from;
    while (to >= from && inkIn(normalized, to, top, low - 1))
        --to;
    if (to - from < 1)
        return false;
    int stroke = 0;
    int strokeTop = bottom;
    int strokeBottom = low;
    for (int x = from; x <= to; ++x) {
        if (inkIn(normalized, x, top, low - 1))
            return false;
        for (int y = low; y <= bottom; ++y) {
            if (normalized.constScanLine(y)[x] < TextLayout::inkThreshold) {
                strokeTop = std::min(strokeTop, y);
                strokeBottom = std::max(strokeBottom, y);
            }
        }
        stroke += inkIn(normalized, x, low, bottom);
    }
    if (stroke < strokeShare * (to - from + 1))
        return false;
    const TextAnalysis::Character& middle = left.characters[left.characters.size() / 2];
    const int underWord = int(std::lround(middle.box.midX()));
    return underWord >= area.left() && underWord <= area.right()
        && !inkIn(normalized, underWord, strokeTop, strokeBottom);
}

} // namespace

int GapUnderscore::settle(const QImage& normalized, TextAnalysis& analysis)
{
    if (normalized.format() != QImage::Format_Grayscale8)
        return 0;
    int found = 0;
    for (TextAnalysis::Line& line : analysis.lines) {
        const Rect outer = line.box.integral();
        const QRect box(int(outer.minX()), int(outer.minY()), int(outer.width()),
                        int(outer.height()));
        std::vector<TextAnalysis::Word> words;
        const int before = found;
        for (TextAnalysis::Word& word : line.words) {
            if (!words.empty() && !word.characters.empty()
                && isLatinLetterOrDigit(words.back().characters.back().text)
                && isLatinLetterOrDigit(word.characters.front().text)
                && underscoreBetween(normalized, box, words.back(), word)) {
                TextAnalysis::Word& joined = words.back();
                const Rect gap(joined.box.maxX(), word.box.minY(),
                               word.box.minX() - joined.box.maxX(), word.box.height());
                joined.characters.push_back({QStringLiteral("_"), gap});
                joined.characters.insert(joined.characters.end(), word.characters.begin(),
                                         word.characters.end());
                joined.box = joined.box.united(word.box);
                ++found;
                continue;
            }
            words.push_back(std::move(word));
        }
        // The words were moved out of the line: they go back whether or not
        // any were joined.
        line.words = std::move(words);
        if (found > before)
            TextAnalysis::retext(line);
    }
    return found;
}

} // namespace kelpie
