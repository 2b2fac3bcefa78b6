#pragma once

#include <QString>
#include <QStringList>

namespace kelpie {

// What the privacy check accepts as the live text of a picture in which a
// mask covers part of one word: nothing of that word is read, not even the
// letters the mask leaves uncovered, nothing is read that the picture does
// not show elsewhere (a stray letter of the word would be such a leak), and
// the line that must stay is read whole. Comparisons ignore case, so a
// leak cannot hide in lower case.
struct MaskedWordCheck {
    QString maskedWord;
    // Every word the picture shows, the masked one included.
    QStringList shownWords;
    // A line far from the mask that recognition must still give.
    QString keptLine;

    bool safe(const QString& text) const;
};

} // namespace kelpie
