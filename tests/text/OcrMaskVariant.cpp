#include "tests/text/OcrMaskVariant.h"

#include "tests/text/OcrScore.h"
#include "text/TextLayout.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <map>

namespace kelpie {

namespace {

using Word = OcrMaskVariant::Word;

Rect grown(const Rect& rect, double dx, double dy)
{
    return Rect(rect.minX() - dx, rect.minY() - dy, rect.width() + 2 * dx, rect.height() + 2 * dy);
}

// Whether two boxes overlap or touch: a word exactly keptDistance from a
// mask is within its reach.
bool meet(const Rect& a, const Rect& b)
{
    return a.minX() <= b.maxX() && b.minX() <= a.maxX() && a.minY() <= b.maxY()
        && b.minY() <= a.maxY();
}

qsizetype length(const QString& text) { return qsizetype(text.toStdU32String().size()); }

std::vector<Word> wordsOf(const TextAnalysis& analysis)
{
    std::vector<Word> words;
    for (const TextAnalysis::Line& line : analysis.lines)
        words.insert(words.end(), line.words.begin(), line.words.end());
    return words;
}

void addMask(OcrMaskVariant* variant, const std::vector<Word>& words)
{
    if (words.empty())
        return;
    Rect box = words.front().box;
    for (const Word& word : words)
        box = box.united(word.box);
    variant->masks.push_back(grown(box, OcrMaskVariant::marginX, OcrMaskVariant::marginY));
    variant->masked.insert(variant->masked.end(), words.begin(), words.end());
}

// Lines of the reading spread over the screen: those at the given
// fractions of the lines that have enough words and characters.
std::vector<const TextAnalysis::Line*> spread(const TextAnalysis& analysis,
                                              const std::vector<double>& fractions,
                                              std::size_t minimumWords)
{
    std::vector<const TextAnalysis::Line*> candidates;
    for (const TextAnalysis::Line& line : analysis.lines) {
        if (line.words.size() >= minimumWords && length(line.text) >= 3)
            candidates.push_back(&line);
    }
    std::vector<const TextAnalysis::Line*> picked;
    for (double fraction : fractions) {
        if (candidates.empty())
            break;
        const auto* line = candidates[std::min(candidates.size() - 1,
                                               std::size_t(fraction * double(candidates.size())))];
        if (std::find(picked.begin(), picked.end(), line) == picked.end())
            picked.push_back(line);
    }
    return picked;
}

// Whether `prepared` differs from `composite` anywhere in `box`.
bool painted(const QImage& composite, const QImage& prepared, const Rect& box)
{
    const QRect pixels
        = QRect(int(box.minX()), int(box.minY()), int(box.width()) + 1, int(box.height()) + 1)
              .intersected(composite.rect())
              .intersected(prepared.rect());
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            if (composite.pixel(x, y) != prepared.pixel(x, y))
                return true;
        }
    }
    return false;
}

// Whether a column of a normalised image holds ink between two rows.
bool inkIn(const QImage& normalized, int x, int top, int bottom)
{
    for (int y = top; y < bottom; ++y) {
        if (normalized.constScanLine(y)[x] < TextLayout::inkThreshold)
            return true;
    }
    return false;
}

// A word's box drawn out to its glyphs. A recogniser's box may stand a
// pixel or two inside the ink (more beside a symbol it misread), while the
// reach of a mask over text is measured from the ink. Across only: runs of
// ink columns within keptDistance of the box that reach into it widen it.
Rect inkBox(const QImage& normalized, const Rect& box)
{
    if (normalized.isNull())
        return box;
    const double reach = OcrMaskVariant::keptDistance;
    const int top = std::max(0, int(std::floor(box.minY())));
    const int bottom = std::min(normalized.height(), int(std::ceil(box.maxY())));
    const int first = std::max(0, int(std::floor(box.minX() - reach)));
    const int end = std::min(normalized.width(), int(std::ceil(box.maxX() + reach)));
    double left = box.minX();
    double right = box.maxX();
    int x = first;
    while (x < end) {
        if (!inkIn(normalized, x, top, bottom)) {
            ++x;
            continue;
        }
        const int start = x;
        while (x < end && inkIn(normalized, x, top, bottom))
            ++x;
        if (start < box.maxX() && x > box.minX()) {
            left = std::min(left, double(start));
            right = std::max(right, double(x));
        }
    }
    return Rect(left, box.minY(), right - left, box.height());
}

} // namespace

std::vector<OcrMaskVariant> OcrMaskVariant::of(const TextAnalysis& unmasked)
{
    OcrMaskVariant lines{"whole lines", {}, {}};
    for (const auto* line : spread(unmasked, {0.25, 0.75}, 1))
        addMask(&lines, line->words);

    OcrMaskVariant halves{"half lines", {}, {}};
    for (const auto* line : spread(unmasked, {0.33, 0.66}, 2)) {
        const std::size_t half = (line->words.size() + 1) / 2;
        addMask(&halves, std::vector<Word>(line->words.begin(), line->words.begin() + long(half)));
    }

    OcrMaskVariant words{"single words", {}, {}};
    for (const auto* line : spread(unmasked, {0.2, 0.5, 0.8}, 1)) {
        // The longest word of the line, the likeliest secret.
        const Word* longest = &line->words.front();
        for (const Word& word : line->words) {
            if (length(word.text) > length(longest->text))
                longest = &word;
        }
        addMask(&words, {*longest});
    }
    return {lines, halves, words};
}

bool OcrMaskVariant::isUnmaskedWord(const Word& word, const TextAnalysis& before) const
{
    for (const Word& other : wordsOf(before)) {
        const bool underMask = std::any_of(masks.begin(), masks.end(), [&](const Rect& mask) {
            return mask.intersects(other.box);
        });
        if (!underMask && other.text == word.text
            && std::abs(other.box.midX() - word.box.midX()) <= keptDistance
            && std::abs(other.box.midY() - word.box.midY()) <= keptDistance)
            return true;
    }
    return false;
}

int OcrMaskVariant::recovered(const TextAnalysis& before, const TextAnalysis& after) const
{
    const std::vector<Word> read = wordsOf(after);
    std::map<QString, int> beforeCount;
    std::map<QString, int> afterCount;
    std::map<QString, int> maskedCount;
    for (const Word& word : wordsOf(before))
        ++beforeCount[word.text];
    for (const Word& word : read)
        ++afterCount[word.text];
    for (const Word& word : masked)
        ++maskedCount[word.text];

    int count = 0;
    for (const Word& secret : masked) {
        bool found = afterCount[secret.text] > beforeCount[secret.text] - maskedCount[secret.text];
        for (const Rect& mask : masks) {
            if (!mask.intersects(secret.box))
                continue;
            for (const Word& word : read) {
                if (!meet(grown(mask, keptDistance, keptDistance), word.box)
                    || isUnmaskedWord(word, before))
                    continue;
                const qsizetype size = length(word.text);
                if (word.text == secret.text
                    || (size >= 2
                        && OcrScore::substringDistance(word.text, secret.text) * 3 <= size))
                    found = true;
            }
        }
        count += found;
    }
    return count;
}

OcrMaskVariant::Kept OcrMaskVariant::kept(const TextAnalysis& before, const TextAnalysis& after,
                                          const QImage& composite, const QImage& prepared,
                                          QStringList* lost) const
{
    const std::vector<Word> read = wordsOf(after);
    const QImage normalized = composite.isNull() ? QImage() : TextLayout::views(composite).normalized;
    Kept result;
    for (const Word& word : wordsOf(before)) {
        const Rect reach = grown(word.box, keptDistance, keptDistance);
        const Rect inkReach = grown(inkBox(normalized, word.box), keptDistance, keptDistance);
        if (std::any_of(masks.begin(), masks.end(),
                        [&](const Rect& mask) { return meet(inkReach, mask); }))
            continue;
        ++result.far;
        if (std::any_of(read.begin(), read.end(), [&](const Word& other) {
                return other.text == word.text && reach.intersects(other.box);
            }))
            continue;
        const bool paintedOver = painted(composite, prepared, word.box);
        ++(paintedOver ? result.lostPainted : result.lostUntouched);
        if (lost)
            lost->append(QStringLiteral("%1 at %2,%3%4")
                             .arg(word.text)
                             .arg(word.box.minX())
                             .arg(word.box.minY())
                             .arg(paintedOver ? QStringLiteral(" (painted over)") : QString()));
    }
    return result;
}

} // namespace kelpie
