#include "text/CellVote.h"

#include "text/TextLayout.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>
#include <set>

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
bool narrow(const QString& text)
{
    const QList<uint> codePoints = text.toUcs4();
    return !codePoints.isEmpty() && std::none_of(codePoints.begin(), codePoints.end(), [](uint c) {
        return TextAnalysis::isCjk(char32_t(c));
    });
}

bool narrow(const Character& character) { return narrow(character.text); }

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

// A character of a row that voted, and its picture.
struct Seen {
    Character* character;
    QByteArray picture;
    std::size_t row;
    bool followsNeighbour; // the one before it in seen is the character before it in its word
};

// The pictures the vote leaves in doubt, settled from the readings the
// recogniser weighed for them (see CellVote::settle).
class Doubts {
public:
    explicit Doubts(const std::vector<Seen>& all) : seen(all)
    {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            byPicture[seen[i].picture].push_back(i);
            ++counts[seen[i].picture][seen[i].character->text];
        }
        for (const auto& [picture, texts] : counts) {
            for (const auto& [text, count] : texts)
                readers[text].push_back({picture, count});
        }
        findDoubtful();
    }

    const std::vector<QByteArray>& pictures() const { return doubtful; }

    // The indices in seen of the characters of a picture.
    const std::vector<std::size_t>& members(const QByteArray& picture) const
    {
        return byPicture.at(picture);
    }

    // The reading every character of a doubtful picture takes: the one its
    // readings weighed likeliest in all that no other picture owns; empty
    // when none is likely enough.
    QString verdict(const QByteArray& picture, const CellVote::Alternatives& alternatives) const
    {
        const std::vector<std::size_t>& own = members(picture);
        std::map<QString, double> likelihood;
        for (const std::size_t i : own) {
            // A text listed twice for one character counts once.
            std::map<QString, double> weighed;
            for (const TextAnalysis::Choice& choice :
                 alternatives(seen[i].row, *seen[i].character)) {
                double& best = weighed[choice.text];
                best = std::max(best, choice.likelihood);
            }
            for (const auto& [text, value] : weighed)
                likelihood[text] += value;
        }
        QString best;
        double bestLikelihood = 0;
        for (const auto& [text, value] : likelihood) {
            if (value > bestLikelihood && text.toUcs4().size() == 1 && narrow(text)
                && !text.at(0).isSpace() && !belongsElsewhere(picture, text)) {
                best = text;
                bestLikelihood = value;
            }
        }
        return bestLikelihood >= CellVote::likelyEnough * double(own.size()) ? best : QString();
    }

private:
    // A picture is in doubt when it is read two ways and the vote let both
    // stand, or when it is read only as a text another picture owns. A
    // word drawn in another weight or colour (a bold heading, a coloured
    // file name) is such pictures throughout, each its own letter, and
    // stands; a picture among the usual ones, those read most often as
    // their text ("468G" with its G read as the 6 of other rows), is in
    // doubt.
    void findDoubtful()
    {
        const Standing standing = standingOfPictures();
        const auto usual = [&](std::size_t i) { return standing.usual.contains(seen[i].picture); };
        for (const auto& [picture, texts] : counts) {
            const std::vector<std::size_t>& own = members(picture);
            const bool alone = standing.owned.contains(picture)
                && std::any_of(own.begin(), own.end(), [&](std::size_t i) {
                       return (seen[i].followsNeighbour && usual(i - 1))
                           || (i + 1 < seen.size() && seen[i + 1].followsNeighbour
                               && usual(i + 1));
                   });
            if (texts.size() > 1 || alone)
                doubtful.push_back(picture);
        }
    }

    // Pictures read one way only: those whose text another picture owns,
    // and those read as their text a quorum of times and most often.
    struct Standing {
        std::set<QByteArray> owned;
        std::set<QByteArray> usual;
    };
    Standing standingOfPictures() const
    {
        Standing standing;
        for (const auto& [picture, texts] : counts) {
            if (texts.size() != 1)
                continue;
            const auto& [text, count] = *texts.begin();
            if (belongsElsewhere(picture, text))
                standing.owned.insert(picture);
            const std::vector<std::pair<QByteArray, int>>& others = readers.at(text);
            if (count >= CellVote::quorum
                && std::none_of(others.begin(), others.end(),
                                [&](const auto& other) { return other.second > count; }))
                standing.usual.insert(picture);
        }
        return standing;
    }

    // Whether another picture is read as `text` a quorum of times and
    // plainly more often than `picture` is.
    bool belongsElsewhere(const QByteArray& picture, const QString& text) const
    {
        const std::map<QString, int>& own = counts.at(picture);
        const auto found = own.find(text);
        const int count = found == own.end() ? 0 : found->second;
        const auto others = readers.find(text);
        if (others == readers.end())
            return false;
        return std::any_of(others->second.begin(), others->second.end(), [&](const auto& other) {
            return other.first != picture && other.second >= std::max(CellVote::quorum, 2 * count);
        });
    }

    const std::vector<Seen>& seen;
    std::map<QByteArray, std::vector<std::size_t>> byPicture; // indices of seen
    std::map<QByteArray, std::map<QString, int>> counts;
    std::map<QString, std::vector<std::pair<QByteArray, int>>> readers; // pictures read as a text
    std::vector<QByteArray> doubtful;
};

// Gives the characters of each picture the vote left in doubt the
// reading the recogniser weighed for them; returns how many changed.
int settleDoubts(const std::vector<Seen>& seen, const CellVote::Alternatives& alternatives,
                 std::vector<bool>& changedRow)
{
    int changed = 0;
    const Doubts doubts(seen);
    for (const QByteArray& picture : doubts.pictures()) {
        const QString verdict = doubts.verdict(picture, alternatives);
        if (verdict.isEmpty())
            continue;
        for (const std::size_t i : doubts.members(picture)) {
            if (seen[i].character->text == verdict)
                continue;
            seen[i].character->text = verdict;
            changedRow[seen[i].row] = true;
            ++changed;
        }
    }
    return changed;
}

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

int CellVote::settle(const QImage& normalized, const std::vector<Row>& rows,
                     const Alternatives& alternatives)
{
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
            bool neighbour = false;
            for (Character& character : word.characters) {
                QByteArray picture = whole || inOneCell(character, row.cells)
                    ? pictureOf(normalized, cellOf(character, row), baseline)
                    : QByteArray();
                const bool inked = !picture.isEmpty();
                if (inked)
                    seen.push_back({&character, std::move(picture), r, neighbour});
                neighbour = inked;
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
    if (alternatives)
        changed += settleDoubts(seen, alternatives, changedRow);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (changedRow[r])
            TextAnalysis::retext(*rows[r].line);
    }
    return changed;
}

} // namespace kelpie
