#include "verification/MaskedWordCheck.h"

namespace kelpie {

bool MaskedWordCheck::safe(const QString& text) const
{
    const QStringList words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word.compare(maskedWord, Qt::CaseInsensitive) == 0
            || !shownWords.contains(word, Qt::CaseInsensitive))
            return false;
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (line.simplified() == keptLine)
            return true;
    return false;
}

} // namespace kelpie
