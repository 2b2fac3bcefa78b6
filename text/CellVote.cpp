#include "text/CellVote.h"

#include "text/TextLayout.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

namespace kelpie {

namespace {

using Character = TextAnalysis::Character;

bool ink(const QImage& normalized, int x, int y)
{
    return normalized.constScanLine(y)[x] < TextLayout::inkThreshold;
}

// The box of the ink inside `area`, empty when there is none.
QRect inkBox(const QImage& normalized, const QRect& area)
{
    const QRect box = area.intersected(normalized.rect());
    QRect found;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (ink(normalized, x, y))
                found = found.united(QRect(x, y, 1, 1));
        }
    }
    return found;
}

// Not a character of a wide script.
bool narrow(const Character& character)
{
    const QList<uint> codePoints = character.text.toUcs4();
    return !codePoints.isEmpty() && std::none_of(codePoints.begin(), codePoints.end(), [](uint c) {
        return TextAnalysis::isCjk(char32_t(c));
    });
}

// Whether a character sits alone in one cell of the lattice, as
// TerminalCells::fit places it.
bool inOneCell(const Character& character, const TerminalCells::Lattice& cells)
{
    const Rect& box = character.box;
    return narrow(character) && box.width() == cells.width && box.minX() == std::floor(box.minX())
        && (int(box.minX()) - cells.origin) % cells.width == 0;
}

// The cell a fitted character of a row holds.
QRect cellOf(const Character& character, const CellVote::Row& row)
{
    return QRect(int(character.box.minX()), row.box.top(), int(character.box.width()),
                 row.box.height());
}

// Whether every character of a line sits in a cell of its own.
bool fitted(const TextAnalysis::Line& line, const TerminalCells::Lattice& cells)
{
    return std::all_of(line.words.begin(), line.words.end(), [&](const TextAnalysis::Word& word) {
        return std::all_of(word.characters.begin(), word.characters.end(),
                           [&](const Character& character) { return inOneCell(character, cells); });
    });
}

// The row on which a row's letters stand: the commonest bottom of its
// cells' ink.
int baselineOf(const QImage& normalized, const CellVote::Row& row)
{
    std::map<int, int> bottoms;
    for (const TextAnalysis::Word& word : row.line->words) {
        for (const Character& character : word.characters) {
            const QRect box = inkBox(normalized, cellOf(character, row));
            if (!box.isEmpty())
                ++bottoms[box.bottom() + 1];
        }
    }
    int baseline = row.box.bottom() + 1;
    int most = 0;
    for (const auto& [bottom, count] : bottoms) {
        if (count > most) {
            most = count;
            baseline = bottom;
        }
    }
    return baseline;
}

// The readings of every picture, and what they settle on.
class Ballot {
public:
    void add(const QByteArray& picture, const QString& text) { ++readings[picture][text]; }

    // Counts the ballot, once every reading is in.
    void close()
    {
        for (const std::map<QString, int>& counts : std::as_const(readings)) {
            for (const auto& [text, count] : counts)
                strongest[text] = std::max(strongest.value(text), count);
            if (counts.size() == 1 && counts.begin()->second >= CellVote::quorum)
                unanimous.insert(counts.begin()->first);
        }
    }

    // What a reading `own` of `picture` becomes; `own` itself when it stands.
    QString verdict(const QByteArray& picture, const QString& own) const
    {
        const auto found = readings.constFind(picture);
        if (found == readings.constEnd() || !found->contains(own))
            return own;
        const std::map<QString, int>& counts = *found;
        const auto [best, bestCount] = bestOf(counts);
        const int ownCount = counts.at(own);
        // A reading taken from another picture yields to any other reading
        // of this one; otherwise the other reading needs a quorum.
        const bool overruled = takenFrom(counts, own)
            || (bestCount >= CellVote::quorum && bestCount >= 2 * ownCount);
        return best.isEmpty() || !overruled ? own : best;
    }

private:
    // One font does not draw one character two ways at one size, so a text
    // belongs to one picture: to one that has it plainly more often, or to
    // one always read as it when this picture is also read as something
    // else a quorum of times.
    bool takenFrom(const std::map<QString, int>& counts, const QString& text) const
    {
        const int count = counts.at(text);
        if (strongest.value(text) >= std::max(CellVote::quorum, 2 * count))
            return true;
        const bool contested = std::any_of(counts.begin(), counts.end(), [&](const auto& other) {
            return other.first != text && other.second >= CellVote::quorum;
        });
        return contested && unanimous.contains(text);
    }

    std::pair<QString, int> bestOf(const std::map<QString, int>& counts) const
    {
        QString best;
        int bestCount = 0;
        for (const auto& [text, count] : counts) {
            if (count > bestCount && !takenFrom(counts, text)) {
                best = text;
                bestCount = count;
            }
        }
        return {best, bestCount};
    }

    QHash<QByteArray, std::map<QString, int>> readings;
    QHash<QString, int> strongest; // the most readings any one picture has of a text
    QSet<QString> unanimous;       // texts some picture is always read as
};

} // namespace

QByteArray CellVote::pictureOf(const QImage& normalized, const QRect& cell, int baseline)
{
    const QRect box = inkBox(normalized, cell);
    if (box.isEmpty())
        return {};
    QByteArray picture = QByteArray::number(box.left() - cell.left()) + ','
        + QByteArray::number(box.top() - baseline) + ',' + QByteArray::number(box.width()) + ','
        + QByteArray::number(box.height()) + ':';
    for (int y = box.top(); y <= box.bottom(); ++y)
        picture.append(reinterpret_cast<const char*>(normalized.constScanLine(y)) + box.left(),
                       box.width());
    return picture;
}

int CellVote::settle(const QImage& normalized, const std::vector<Row>& rows)
{
    struct Seen {
        Character* character;
        QByteArray picture;
        std::size_t row;
    };
    // Only rows whose characters were fitted to their cells vote: the
    // characters of other rows lie only roughly over theirs.
    std::vector<Seen> seen;
    Ballot ballot;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        if (!row.line || !row.cells.isValid())
            continue;
        const bool whole = fitted(*row.line, row.cells);
        const int baseline = baselineOf(normalized, row);
        for (TextAnalysis::Word& word : row.line->words) {
            for (Character& character : word.characters) {
                if (!whole && !inOneCell(character, row.cells))
                    continue;
                QByteArray picture = pictureOf(normalized, cellOf(character, row), baseline);
                if (picture.isEmpty())
                    continue;
                seen.push_back({&character, std::move(picture), r});
            }
        }
    }
    std::vector<bool> changedRow(rows.size(), false);
    int changed = 0;
    // A cell holds one character: a reading the recogniser split in two
    // ("%*" for "%") is the one character its picture is read as alone
    // elsewhere, if it holds one such.
    QHash<QByteArray, std::map<QString, int>> alone;
    for (const Seen& each : seen) {
        if (each.character->text.toUcs4().size() == 1)
            ++alone[each.picture][each.character->text];
    }
    for (const Seen& each : seen) {
        const QString& text = each.character->text;
        const auto single = alone.constFind(each.picture);
        if (text.toUcs4().size() < 2 || single == alone.constEnd())
            continue;
        QString best;
        int bestCount = 0;
        for (const auto& [character, count] : *single) {
            if (text.contains(character) && count > bestCount) {
                best = character;
                bestCount = count;
            }
        }
        if (best.isEmpty())
            continue;
        each.character->text = best;
        changedRow[each.row] = true;
        ++changed;
    }
    for (const Seen& each : seen)
        ballot.add(each.picture, each.character->text);
    ballot.close();

    for (const Seen& each : seen) {
        const QString verdict = ballot.verdict(each.picture, each.character->text);
        if (verdict == each.character->text)
            continue;
        each.character->text = verdict;
        changedRow[each.row] = true;
        ++changed;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (changedRow[r])
            TextAnalysis::retext(*rows[r].line);
    }
    return changed;
}

} // namespace kelpie
