#include "verification/RecognitionScore.h"

#include <QList>

#include <algorithm>

namespace kelpie::RecognitionScore {
namespace {

QList<uint> withoutSpace(const QString& text)
{
    QList<uint> characters;
    for (const uint c : text.toUcs4()) {
        if (!QChar::isSpace(c))
            characters.append(c);
    }
    return characters;
}

int distance(const QList<uint>& a, const QList<uint>& b)
{
    // One row of the table at a time.
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const int substitution = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

int editDistance(const QString& from, const QString& to)
{
    return distance(from.toUcs4(), to.toUcs4());
}

double characterAccuracy(const QString& expected, const QString& read)
{
    const QList<uint> want = withoutSpace(expected);
    const QList<uint> got = withoutSpace(read);
    if (want.isEmpty())
        return got.isEmpty() ? 1.0 : 0.0;
    const double errors = distance(want, got);
    return std::clamp(1.0 - errors / double(want.size()), 0.0, 1.0);
}

} // namespace kelpie::RecognitionScore
