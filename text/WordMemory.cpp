#include "text/WordMemory.h"

#include "text/TextLayout.h"

#include <QCryptographicHash>
#include <QRect>

#include <algorithm>

namespace kelpie {

namespace {

using Line = TextAnalysis::Line;
using Word = TextAnalysis::Word;

// Two boxes of one row: they overlap across, and down by at least half the
// height of the shorter of the two.
bool sameRow(const Rect& a, const Rect& b)
{
    const double across = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    const double down = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return across > 0 && down >= 0.5 * std::min(a.height(), b.height());
}

// A line made of `words`, left to right.
Line lineOf(std::vector<Word> words, double confidence)
{
    std::sort(words.begin(), words.end(),
              [](const Word& a, const Word& b) { return a.box.minX() < b.box.minX(); });
    return TextAnalysis::lineOf(std::move(words), confidence);
}

// The fresh reading merged with the unchanged words of a remembered one.
class Merge {
public:
    Merge(std::vector<Line> freshLines, const std::vector<Line>& rememberedLines,
          const std::vector<std::vector<bool>>& unchangedWords)
        : fresh(std::move(freshLines)), remembered(rememberedLines), recalled(unchangedWords),
          after(fresh.size() + 1)
    {
        keepFreshWordsThatReadTheSame();
    }

    std::vector<Line> lines()
    {
        dropFreshWordsUnderUnchangedOnes();
        std::vector<bool> taken(fresh.size(), false);
        std::vector<std::vector<Line>> replacement(fresh.size());
        std::vector<bool> replaced(fresh.size(), false);
        // Where the last remembered line ended up, as a slot: 0 is before
        // every fresh line, i + 1 after fresh line i.
        std::size_t slot = 0;
        for (std::size_t r = 0; r < remembered.size(); ++r) {
            std::vector<Word> words = recalledWords(r);
            std::vector<std::size_t> row;
            for (std::size_t f = 0; f < fresh.size(); ++f) {
                if (!taken[f] && sameRow(remembered[r].box, fresh[f].box))
                    row.push_back(f);
            }
            if (words.empty()) {
                if (!row.empty())
                    slot = std::max(slot, row.front() + 1);
                continue;
            }
            double confidence = remembered[r].confidence;
            for (std::size_t f : row) {
                taken[f] = true;
                replaced[f] = true;
                words.insert(words.end(), fresh[f].words.begin(), fresh[f].words.end());
                confidence = std::max(confidence, fresh[f].confidence);
            }
            Line line = lineOf(std::move(words), confidence);
            if (row.empty()) {
                after[slot].push_back(std::move(line));
            } else {
                replacement[row.front()].push_back(std::move(line));
                slot = std::max(slot, row.front() + 1);
            }
        }
        std::vector<Line> result = std::move(after[0]);
        for (std::size_t f = 0; f < fresh.size(); ++f) {
            if (replaced[f]) {
                for (Line& line : replacement[f])
                    result.push_back(std::move(line));
            } else if (!fresh[f].words.empty()) {
                result.push_back(std::move(fresh[f]));
            }
            for (Line& line : after[f + 1])
                result.push_back(std::move(line));
        }
        return result;
    }

private:
    std::vector<Word> recalledWords(std::size_t r) const
    {
        std::vector<Word> words;
        for (std::size_t w = 0; w < remembered[r].words.size(); ++w) {
            if (recalled[r][w])
                words.push_back(remembered[r].words[w]);
        }
        return words;
    }

    // An unchanged word that the fresh reading read the same where it is
    // needs no recall: the fresh word, box and all, stands.
    void keepFreshWordsThatReadTheSame()
    {
        for (std::size_t r = 0; r < remembered.size(); ++r) {
            for (std::size_t w = 0; w < remembered[r].words.size(); ++w) {
                const Word& word = remembered[r].words[w];
                if (!recalled[r][w])
                    continue;
                recalled[r][w] = std::none_of(fresh.begin(), fresh.end(), [&word](const Line& line) {
                    return std::any_of(line.words.begin(), line.words.end(),
                                       [&word](const Word& other) {
                                           return other.text == word.text
                                               && other.box.intersects(word.box);
                                       });
                });
            }
        }
    }

    // A fresh word over a recalled one is a second reading of the same
    // pixels; the unchanged word takes its place.
    void dropFreshWordsUnderUnchangedOnes()
    {
        std::vector<Rect> boxes;
        for (std::size_t r = 0; r < remembered.size(); ++r) {
            for (std::size_t w = 0; w < remembered[r].words.size(); ++w) {
                if (recalled[r][w])
                    boxes.push_back(remembered[r].words[w].box);
            }
        }
        for (Line& line : fresh) {
            const auto under = std::remove_if(line.words.begin(), line.words.end(),
                                              [&boxes](const Word& word) {
                                                  return std::any_of(
                                                      boxes.begin(), boxes.end(),
                                                      [&word](const Rect& box) {
                                                          return box.intersects(word.box);
                                                      });
                                              });
            if (under == line.words.end())
                continue;
            line.words.erase(under, line.words.end());
            if (!line.words.empty())
                line = lineOf(std::move(line.words), line.confidence);
        }
    }

    std::vector<Line> fresh;
    const std::vector<Line>& remembered;
    std::vector<std::vector<bool>> recalled; // per remembered line and word
    std::vector<std::vector<Line>> after; // remembered lines with no fresh row, by slot
};

} // namespace

WordMemory::WordMemory(std::size_t analyses) : capacity(analyses) { }

QByteArray WordMemory::digestAround(const QImage& image, const Rect& box)
{
    const Rect outer = box.integral();
    const QRect area = QRect(int(outer.minX()) - margin, int(outer.minY()) - margin,
                             int(outer.width()) + 2 * margin, int(outer.height()) + 2 * margin)
                           .intersected(image.rect());
    if (area.isEmpty())
        return {};
    const QImage pixels = image.copy(area).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QByteArray where = QByteArray::number(area.x()) + ',' + QByteArray::number(area.y())
        + ',' + QByteArray::number(area.width()) + ',' + QByteArray::number(area.height());
    hash.addData(where);
    for (int y = 0; y < pixels.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(pixels.constScanLine(y)),
                                    qsizetype(pixels.width()) * 4));
    return hash.result();
}

TextAnalysis WordMemory::recall(const QImage& image, TextAnalysis analysis)
{
    const QImage srgb = TextLayout::inSrgb(image);
    if (srgb.isNull())
        return analysis;
    std::lock_guard lock(mutex);
    auto best = entries.end();
    std::vector<std::vector<bool>> bestUnchanged;
    int bestCount = 0;
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        if (entry->size != srgb.size())
            continue;
        std::vector<std::vector<bool>> unchanged(entry->lines.size());
        int count = 0;
        for (std::size_t l = 0; l < entry->lines.size(); ++l) {
            for (std::size_t w = 0; w < entry->lines[l].words.size(); ++w) {
                const QByteArray& digest = entry->digests[l][w];
                const bool same = !digest.isEmpty()
                    && digest == digestAround(srgb, entry->lines[l].words[w].box);
                unchanged[l].push_back(same);
                count += same;
            }
        }
        if (count > bestCount) {
            best = entry;
            bestCount = count;
            bestUnchanged = std::move(unchanged);
        }
    }
    if (best == entries.end())
        return analysis;
    entries.splice(entries.begin(), entries, best);
    analysis.lines = Merge(std::move(analysis.lines), best->lines, bestUnchanged).lines();
    return analysis;
}

void WordMemory::remember(const QImage& image, const TextAnalysis& analysis)
{
    if (capacity == 0 || analysis.lines.empty())
        return;
    const QImage srgb = TextLayout::inSrgb(image);
    if (srgb.isNull())
        return;
    Entry entry{srgb.size(), analysis.lines, {}};
    for (const Line& line : analysis.lines) {
        std::vector<QByteArray> digests;
        for (const Word& word : line.words)
            digests.push_back(digestAround(srgb, word.box));
        entry.digests.push_back(std::move(digests));
    }
    std::lock_guard lock(mutex);
    entries.push_front(std::move(entry));
    if (entries.size() > capacity)
        entries.pop_back();
}

void WordMemory::clear()
{
    std::lock_guard lock(mutex);
    entries.clear();
}

} // namespace kelpie
