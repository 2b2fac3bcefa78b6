#include "text/SecretText.h"

#include <vector>

namespace kelpie {

namespace {

QChar plainForm(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0xFF01 && u <= 0xFF5E) // full-width ASCII
        return QChar(char16_t(u - 0xFF01 + 0x21));
    switch (u) {
    case 0x3000: // ideographic space
    case 0x00A0: // no-break space
    case 0x202F: return QLatin1Char(' ');
    case 0x3002: // ideographic full stop
    case 0xFF61: return QLatin1Char('.');
    case 0x2010: // hyphens and dashes a recogniser reads for "-"
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2212: return QLatin1Char('-');
    default: return c;
    }
}

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// The digit a recogniser may have read as this letter, or a null QChar.
QChar lookAlikeDigit(QChar c)
{
    switch (c.unicode()) {
    case u'O':
    case u'o': return QLatin1Char('0');
    case u'l':
    case u'I':
    case u'|': return QLatin1Char('1');
    default: return {};
    }
}

bool isRunCharacter(QChar c) { return isDigit(c) || isAsciiLetter(c) || c == QLatin1Char('|'); }

bool isJoiner(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char(':') || c == QLatin1Char('-')
        || c == QLatin1Char(' ');
}

struct Run {
    qsizetype begin = 0;
    qsizetype end = 0;
    bool hasDigit = false;
    bool onlyLookAlikes = true; // every letter is a look-alike (or a final X)
    bool numeric = false;
};

std::vector<Run> runsOf(const QString& text)
{
    std::vector<Run> runs;
    qsizetype i = 0;
    while (i < text.size()) {
        if (!isRunCharacter(text[i])) {
            ++i;
            continue;
        }
        Run run;
        run.begin = i;
        while (i < text.size() && isRunCharacter(text[i]))
            ++i;
        run.end = i;
        for (qsizetype k = run.begin; k < run.end; ++k) {
            const QChar c = text[k];
            if (isDigit(c)) {
                run.hasDigit = true;
            } else if (lookAlikeDigit(c).isNull()) {
                const bool finalX = k == run.end - 1 && k > run.begin
                    && (c == QLatin1Char('X') || c == QLatin1Char('x'));
                if (!finalX)
                    run.onlyLookAlikes = false;
            }
        }
        runs.push_back(run);
    }
    return runs;
}

// Marks the runs to read as numbers: those with a digit, then those joined
// to a numeric run by a single joiner, until nothing changes.
void markNumeric(std::vector<Run>& runs, const QString& text)
{
    for (Run& run : runs)
        run.numeric = run.onlyLookAlikes && run.hasDigit;
    const auto joined = [&](const Run& left, const Run& right) {
        return right.begin == left.end + 1 && isJoiner(text[left.end]);
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (runs[i].numeric || !runs[i].onlyLookAlikes)
                continue;
            const bool byLeft = i > 0 && runs[i - 1].numeric && joined(runs[i - 1], runs[i]);
            const bool byRight
                = i + 1 < runs.size() && runs[i + 1].numeric && joined(runs[i], runs[i + 1]);
            if (byLeft || byRight) {
                runs[i].numeric = true;
                changed = true;
            }
        }
    }
}

bool isJoiningMark(QChar c) { return QStringLiteral(".:-/@_").contains(c); }

// Whether the blank at `i` of the normalised original, with `kept` the
// compact text so far, is one a recogniser put inside a token.
bool droppedBlank(const QString& normalised, qsizetype i, const QString& kept)
{
    if (normalised[i] != QLatin1Char(' ') || kept.isEmpty() || i + 1 >= normalised.size())
        return false;
    const QChar previous = kept.back();
    const QChar beforePrevious = kept.size() >= 2 ? kept[kept.size() - 2] : QChar();
    const QChar next = normalised[i + 1];
    const QChar afterNext = i + 2 < normalised.size() ? normalised[i + 2] : QChar();
    const auto tokenPart
        = [](QChar c) { return c.unicode() < 0x80 && (c.isLetterOrNumber() || isJoiningMark(c)); };
    if (isJoiningMark(previous) && tokenPart(beforePrevious) && tokenPart(next))
        return true;
    return (next == QLatin1Char('-') || next == QLatin1Char('.')) && previous.unicode() < 0x80
        && previous.isLetterOrNumber()
        && (afterNext == QLatin1Char(' ')
            || (afterNext.unicode() < 0x80 && afterNext.isLetterOrNumber()));
}

} // namespace

SecretText::SecretText(const QString& original) : m_original(original)
{
    QString normalised = original;
    for (QChar& c : normalised)
        c = plainForm(c);
    for (qsizetype i = 0; i < normalised.size(); ++i) {
        if (droppedBlank(normalised, i, m_plain))
            continue;
        m_plain.append(normalised[i]);
        m_source.append(original[i]);
        m_origin.push_back(i);
    }
    m_digits = m_plain;
    std::vector<Run> runs = runsOf(m_plain);
    markNumeric(runs, m_plain);
    for (const Run& run : runs) {
        if (!run.numeric)
            continue;
        for (qsizetype k = run.begin; k < run.end; ++k) {
            const QChar digit = lookAlikeDigit(m_digits[k]);
            if (!digit.isNull())
                m_digits[k] = digit;
        }
    }
}

} // namespace kelpie

namespace kelpie {

SecretRange SecretText::originalRange(SecretRange compact) const
{
    if (compact.end <= compact.begin || compact.begin < 0
        || compact.end > qsizetype(m_origin.size()))
        return {};
    return {m_origin[std::size_t(compact.begin)], m_origin[std::size_t(compact.end - 1)] + 1};
}

} // namespace kelpie
