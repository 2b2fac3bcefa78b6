#include "tests/text/OcrScore.h"

#include "text/TextAnalysis.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace kelpie {

namespace {

// Row parts, each normalised.
QStringList partsOf(const QString& row)
{
    QStringList parts;
    for (const QString& part : row.split(QLatin1Char('\t')))
        parts.append(OcrScore::normalized(part));
    return parts;
}

// Whether read lines from `first` on give the parts from `part` on, each
// line one or more whole consecutive parts; `end` receives the read line
// after the last one used. Lines in `used` cannot be taken.
bool readsParts(const QStringList& parts, qsizetype part, const QStringList& read, qsizetype first,
                const std::vector<bool>& used, qsizetype* end)
{
    if (part == parts.size()) {
        *end = first;
        return true;
    }
    if (first >= read.size() || used[std::size_t(first)])
        return false;
    QString joined;
    for (qsizetype last = part; last < parts.size(); ++last) {
        joined += (last > part ? QStringLiteral(" ") : QString()) + parts[last];
        if (read[first] == joined && readsParts(parts, last + 1, read, first + 1, used, end))
            return true;
        if (!read[first].startsWith(joined))
            return false;
    }
    return false;
}

} // namespace

QString OcrScore::normalized(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).simplified();
}

QString OcrScore::withoutCjkSpaces(const QString& text)
{
    const std::u32string points = text.toStdU32String();
    std::u32string result;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i] == U' ' && i > 0 && i + 1 < points.size()
            && TextAnalysis::isCjk(points[i - 1]) && TextAnalysis::isCjk(points[i + 1]))
            continue;
        result += points[i];
    }
    return QString::fromStdU32String(result);
}

qsizetype OcrScore::editDistance(const QString& a, const QString& b)
{
    const std::u32string x = a.toStdU32String();
    const std::u32string y = b.toStdU32String();
    std::vector<qsizetype> previous(y.size() + 1);
    std::vector<qsizetype> current(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j)
        previous[j] = qsizetype(j);
    for (std::size_t i = 1; i <= x.size(); ++i) {
        current[0] = qsizetype(i);
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const qsizetype substitution = previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1);
            current[j] = std::min({substitution, previous[j] + 1, current[j - 1] + 1});
        }
        std::swap(previous, current);
    }
    return previous[y.size()];
}

qsizetype OcrScore::substringDistance(const QString& needle, const QString& haystack)
{
    const std::u32string x = needle.toStdU32String();
    const std::u32string y = haystack.toStdU32String();
    // Starting anywhere in the haystack is free, and so is stopping anywhere.
    std::vector<qsizetype> previous(y.size() + 1, 0);
    std::vector<qsizetype> current(y.size() + 1);
    for (std::size_t i = 1; i <= x.size(); ++i) {
        current[0] = qsizetype(i);
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const qsizetype substitution = previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1);
            current[j] = std::min({substitution, previous[j] + 1, current[j - 1] + 1});
        }
        std::swap(previous, current);
    }
    return *std::min_element(previous.begin(), previous.end());
}

OcrScore OcrScore::of(const QStringList& expectedRows, const QStringList& readLines)
{
    OcrScore score;
    QStringList read;
    for (const QString& line : readLines) {
        const QString text = normalized(line);
        if (!text.isEmpty())
            read.append(text);
    }
    QStringList rows;
    for (const QString& row : expectedRows)
        rows.append(partsOf(row).join(QLatin1Char(' ')));
    score.rows = int(rows.size());

    // Exact rows, looked for after the previous match first, then anywhere.
    std::vector<bool> used(std::size_t(read.size()), false);
    qsizetype from = 0;
    for (const QString& row : expectedRows) {
        const QStringList parts = partsOf(row);
        bool found = false;
        for (qsizetype k = 0; k < read.size() && !found; ++k) {
            const qsizetype first = (from + k) % read.size();
            qsizetype end = first;
            if (readsParts(parts, 0, read, first, used, &end)) {
                for (qsizetype i = first; i < end; ++i)
                    used[std::size_t(i)] = true;
                from = end;
                found = true;
            }
        }
        if (found)
            ++score.exact;
        else
            score.missed.append(parts.join(QLatin1Char(' ')));
    }

    const QString page = rows.join(QLatin1Char(' '));
    score.characters = page.toStdU32String().size();
    score.errors = editDistance(page, read.join(QLatin1Char(' ')));

    // Each read line goes to the row it matches best; of equally good rows,
    // the first at or after the previous line's row.
    qsizetype previousRow = -1;
    for (const QString& line : read) {
        std::vector<qsizetype> distances;
        for (const QString& row : rows)
            distances.push_back(substringDistance(line, row));
        const qsizetype best = distances.empty()
            ? std::numeric_limits<qsizetype>::max()
            : *std::min_element(distances.begin(), distances.end());
        const qsizetype length = qsizetype(line.toStdU32String().size());
        if (best * 2 > length || (length == 1 && best > 0)) {
            score.junk.append(line);
            continue;
        }
        qsizetype row = -1;
        for (qsizetype i = std::max<qsizetype>(previousRow, 0); i < rows.size() && row < 0; ++i) {
            if (distances[std::size_t(i)] == best)
                row = i;
        }
        if (row < 0)
            row = std::find(distances.begin(), distances.end(), best) - distances.begin();
        if (row < previousRow)
            ++score.backwardSteps;
        previousRow = row;
    }
    return score;
}

} // namespace kelpie
