#include "text/SecretRules.h"

#include "text/SecretChecks.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace kelpie::SecretRules {

namespace {

using Ranges = std::vector<SecretRange>;

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isAlnum(QChar c) { return isDigit(c) || isAsciiLetter(c); }
bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
bool isPrintableAscii(QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; }

QChar at(const QString& text, qsizetype i) { return i >= 0 && i < text.size() ? text[i] : QChar(); }

// Every match of `pattern` in `subject` that `accept` takes, as the range of
// capture group `group`.
template<typename Accept>
Ranges matchesOf(const QRegularExpression& pattern, const QString& subject, Accept accept,
                 int group = 0)
{
    Ranges ranges;
    QRegularExpressionMatchIterator it = pattern.globalMatch(subject);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (accept(match))
            ranges.push_back({match.capturedStart(group), match.capturedEnd(group)});
    }
    return ranges;
}

QRegularExpression pattern(const char* source,
                           QRegularExpression::PatternOptions options
                           = QRegularExpression::NoPatternOption)
{
    QRegularExpression expression(QString::fromUtf8(source), options);
    expression.optimize();
    return expression;
}

QString digitsOf(QStringView text)
{
    QString digits;
    for (QChar c : text) {
        if (isDigit(c))
            digits.append(c);
    }
    return digits;
}

// Start and end of the line holding position i.
qsizetype lineStart(const QString& text, qsizetype i)
{
    return text.lastIndexOf(QLatin1Char('\n'), i - 1) + 1;
}

qsizetype lineEnd(const QString& text, qsizetype i)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'), i);
    return end < 0 ? text.size() : end;
}

// The end of a line's text without its trailing blanks.
qsizetype trimmedEnd(const QString& text, qsizetype start, qsizetype end)
{
    while (end > start && isBlank(text[end - 1]))
        --end;
    return end;
}

// ---- private keys ----------------------------------------------------------

Ranges privateKeys(const SecretText& text)
{
    // Recognisers may drop the spaces of the header; [A-Z0-9 ] with a bound
    // keeps the match linear.
    static const QRegularExpression header
        = pattern("-{3,} ?BEGIN[A-Z0-9 ]{0,30}PRIVATE ?KEY ?-{2,}");
    static const QRegularExpression footer = pattern("-{3,} ?END[A-Z0-9 ]{0,30}PRIVATE ?KEY");
    // Key text, which a recogniser may break with a few blanks.
    static const QRegularExpression body
        = pattern("^[ \\t]*[A-Za-z0-9+/=:-]{16,}(?: [A-Za-z0-9+/=:-]+){0,3}[ \\t]*$");
    const QString& s = text.plain();
    Ranges ranges;
    QRegularExpressionMatchIterator it = header.globalMatch(s);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (!ranges.empty() && match.capturedStart() < ranges.back().end)
            continue;
        qsizetype end = lineEnd(s, match.capturedEnd());
        qsizetype covered = trimmedEnd(s, lineStart(s, match.capturedStart()), end);
        // Through the footer; without one, through the lines of key text.
        for (qsizetype next = end + 1; end < s.size(); next = end + 1) {
            end = lineEnd(s, next);
            const QString line = s.mid(next, end - next);
            if (footer.match(line).hasMatch()) {
                covered = trimmedEnd(s, next, end);
                break;
            }
            if (!body.match(line).hasMatch())
                break;
            covered = trimmedEnd(s, next, end);
        }
        ranges.push_back({match.capturedStart(), covered});
    }
    return ranges;
}

// ---- access tokens ---------------------------------------------------------

bool plausibleToken(QStringView token)
{
    bool digit = false;
    QSet<QChar> distinct;
    for (QChar c : token) {
        digit = digit || isDigit(c);
        distinct.insert(c);
    }
    return digit && distinct.size() >= 8;
}

Ranges accessTokens(const SecretText& text)
{
    static const QRegularExpression tokens
        = pattern("(?<![A-Za-z0-9_-])(?:"
                  "gh[pousr]_[A-Za-z0-9]{30,}"
                  "|github_pat_[A-Za-z0-9_]{30,}"
                  "|sk-(?:proj-|ant-|live-|svcacct-)?[A-Za-z0-9_-]{20,}"
                  "|(?:AKIA|ASIA)[A-Z0-9]{16}"
                  "|xox[abposre]-[A-Za-z0-9-]{10,}"
                  "|AIza[0-9A-Za-z_-]{35}"
                  "|glpat-[0-9A-Za-z_-]{20,}"
                  "|(?:sk|rk)_(?:live|test)_[0-9A-Za-z]{16,}"
                  "|npm_[A-Za-z0-9]{36}"
                  "|eyJ[A-Za-z0-9_-]{8,}\\.eyJ[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{10,}"
                  ")(?![A-Za-z0-9_-])");
    return matchesOf(tokens, text.plain(), [](const QRegularExpressionMatch& match) {
        return plausibleToken(match.capturedView());
    });
}

// ---- identity and payment numbers -----------------------------------------

Ranges residentIds(const SecretText& text)
{
    static const QRegularExpression ids
        = pattern("(?<![0-9A-Za-z])[1-8]\\d{5} ?(?:18|19|20)\\d{2}(?:0[1-9]|1[0-2])"
                  "(?:0[1-9]|[12]\\d|3[01]) ?\\d{3}[0-9Xx\\x{00D7}](?![0-9A-Za-z])");
    return matchesOf(ids, text.digits(), [](const QRegularExpressionMatch& match) {
        QString id = match.captured();
        id.remove(QLatin1Char(' '));
        id.replace(QChar(0x00D7), QLatin1Char('X'));
        return SecretChecks::validResidentId(id);
    });
}

// A run of digit groups joined by single spaces or hyphens.
struct DigitRun {
    std::vector<SecretRange> groups;
    std::vector<QChar> separators; // separators[i] lies between groups i and i + 1
};

std::vector<DigitRun> digitRuns(const QString& s)
{
    static const QRegularExpression runs = pattern("(?<![0-9A-Za-z.,+])\\d+(?:[ -]\\d+)*");
    std::vector<DigitRun> result;
    QRegularExpressionMatchIterator it = runs.globalMatch(s);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QChar after = at(s, match.capturedEnd());
        if (isAlnum(after))
            continue;
        DigitRun run;
        qsizetype i = match.capturedStart();
        while (i < match.capturedEnd()) {
            const qsizetype begin = i;
            while (i < match.capturedEnd() && isDigit(s[i]))
                ++i;
            run.groups.push_back({begin, i});
            if (i < match.capturedEnd())
                run.separators.push_back(s[i++]);
        }
        result.push_back(std::move(run));
    }
    return result;
}

// Card groupings: one block, fours with a shorter last group, or 4-6-4/4-6-5.
bool cardGrouping(const std::vector<qsizetype>& sizes)
{
    if (sizes.size() == 1)
        return true;
    if (sizes.size() == 3 && sizes[0] == 4 && sizes[1] == 6 && (sizes[2] == 4 || sizes[2] == 5))
        return true;
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i) {
        if (sizes[i] != 4)
            return false;
    }
    return sizes.back() >= 1 && sizes.back() <= 4;
}

Ranges cardNumbers(const SecretText& text)
{
    const QString& s = text.digits();
    Ranges ranges;
    for (const DigitRun& run : digitRuns(s)) {
        const std::size_t count = run.groups.size();
        for (std::size_t first = 0; first < count; ++first) {
            // A window of groups, started and ended at a space (a hyphen
            // joins the groups of one number).
            if (first > 0 && run.separators[first - 1] != QLatin1Char(' '))
                continue;
            for (std::size_t last = count; last-- > first;) {
                if (last + 1 < count && run.separators[last] != QLatin1Char(' '))
                    continue;
                std::vector<qsizetype> sizes;
                bool uniform = true;
                for (std::size_t g = first; g <= last; ++g) {
                    sizes.push_back(run.groups[g].end - run.groups[g].begin);
                    if (g > first && run.separators[g - 1] != run.separators[first])
                        uniform = false;
                }
                const SecretRange range{run.groups[first].begin, run.groups[last].end};
                const QString digits
                    = digitsOf(QStringView(s).mid(range.begin, range.end - range.begin));
                if (!uniform || digits.size() < 13 || digits.size() > 19 || !cardGrouping(sizes)
                    || !SecretChecks::knownIssuer(digits) || !SecretChecks::passesLuhn(digits))
                    continue;
                ranges.push_back(range);
                first = last;
                break;
            }
        }
    }
    return ranges;
}

// ---- phone numbers ---------------------------------------------------------

Ranges phoneNumbers(const SecretText& text)
{
    const QString& s = text.digits();
    // Mainland mobile numbers: 1[3-9] and nine more digits, as one block or
    // 3-4-4 with spaces or hyphens, optionally after +86, 0086 or (+86).
    static const QRegularExpression mainland
        = pattern("(?<![0-9A-Za-z_.+-])(?:(?:\\+|00)?86[ -]?|\\(\\+?86\\) ?)?"
                  "1[3-9]\\d(?:\\d{8}|([ -])\\d{4}\\1\\d{4})(?![0-9A-Za-z_]|[.-]\\d)");
    // International numbers: +CC and groups, 8 to 15 digits in all. Only
    // the first group may follow the code without a separator, so that a
    // long run of digits has one reading, not thousands.
    static const QRegularExpression international
        = pattern("(?<![0-9A-Za-z_+])\\+[1-9]\\d{0,2}(?:[ .-]?\\(\\d{1,4}\\))?[ .-]?\\d{1,14}"
                  "(?:(?:[ .-]|[ .-]?\\(\\d{1,4}\\)[ .-]?)\\d{1,8}){0,5}"
                  "(?![0-9A-Za-z_]|[ .-]\\d)");
    Ranges ranges = matchesOf(mainland, s, [](const QRegularExpressionMatch&) { return true; });
    const Ranges other = matchesOf(international, s, [](const QRegularExpressionMatch& match) {
        const qsizetype digits = digitsOf(match.capturedView()).size();
        return digits >= 8 && digits <= 15;
    });
    for (const SecretRange& range : other) {
        const bool overlaps = std::any_of(ranges.begin(), ranges.end(), [&](const SecretRange& r) {
            return r.begin < range.end && range.begin < r.end;
        });
        if (!overlaps)
            ranges.push_back(range);
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const SecretRange& a, const SecretRange& b) { return a.begin < b.begin; });
    return ranges;
}

// ---- addresses -------------------------------------------------------------

Ranges emailAddresses(const SecretText& text)
{
    static const QRegularExpression emails
        = pattern("(?<![A-Za-z0-9._%+-])[A-Za-z0-9](?:[A-Za-z0-9._%+-]{0,62}[A-Za-z0-9_])?"
                  "@(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)+[A-Za-z]{2,24}"
                  "(?![A-Za-z0-9_@-])");
    return matchesOf(emails, text.plain(), [](const QRegularExpressionMatch& match) {
        return !match.capturedView().contains(QLatin1String(".."));
    });
}

// Whether the text just before `begin` names a version ("v", "version ",
// "ver. ", "版本").
bool afterVersionLabel(const QString& s, qsizetype begin)
{
    static const QRegularExpression label
        = pattern("(?:\\bv|\\bver\\.?|\\bversion|版本(?:号)?)[ :]*$",
                  QRegularExpression::CaseInsensitiveOption);
    const qsizetype from = std::max<qsizetype>(0, begin - 12);
    return label.match(QStringView(s).mid(from, begin - from)).hasMatch();
}

Ranges ipAddresses(const SecretText& text)
{
    static const QRegularExpression v4
        = pattern("(?<![0-9A-Za-z_.])\\d{1,3}(?:\\.\\d{1,3}){3}(?![0-9A-Za-z_]|\\.\\d)");
    static const QRegularExpression v6
        = pattern("(?<![0-9A-Za-z_:.])(?:[0-9A-Fa-f]{0,4}:){2,7}"
                  "(?:\\d{1,3}(?:\\.\\d{1,3}){3}|[0-9A-Fa-f]{1,4})?(?:%[0-9A-Za-z_]+)?"
                  "(?![0-9A-Za-z_:])");
    const QString& digits = text.digits();
    Ranges ranges = matchesOf(v4, digits, [&](const QRegularExpressionMatch& match) {
        return SecretChecks::ipv4Host(match.capturedView())
            && !afterVersionLabel(digits, match.capturedStart());
    });
    const Ranges six = matchesOf(v6, text.plain(), [](const QRegularExpressionMatch& match) {
        return SecretChecks::ipv6Host(match.capturedView());
    });
    // The IPv4 tail of an IPv6 address is part of that address.
    std::erase_if(ranges, [&](const SecretRange& four) {
        return std::any_of(six.begin(), six.end(), [&](const SecretRange& range) {
            return range.begin <= four.begin && four.end <= range.end;
        });
    });
    ranges.insert(ranges.end(), six.begin(), six.end());
    std::sort(ranges.begin(), ranges.end(),
              [](const SecretRange& a, const SecretRange& b) { return a.begin < b.begin; });
    return ranges;
}

// ---- labelled values -------------------------------------------------------

// The parts of an identifier: "DB_PASSWORD" → db, password; "apiKey" → api,
// key; "HTTPServer" → http, server.
QStringList identifierParts(QStringView identifier)
{
    QStringList parts;
    QString part;
    const auto flush = [&] {
        if (!part.isEmpty())
            parts.append(part.toLower());
        part.clear();
    };
    for (qsizetype i = 0; i < identifier.size(); ++i) {
        const QChar c = identifier[i];
        if (!isAlnum(c)) {
            flush();
            continue;
        }
        const QChar previous = i > 0 ? identifier[i - 1] : QChar();
        const QChar next = i + 1 < identifier.size() ? identifier[i + 1] : QChar();
        const bool upper = c.isUpper();
        if (upper && (previous.isLower() || (previous.isUpper() && next.isLower())))
            flush();
        part.append(c);
    }
    flush();
    return parts;
}

// Whether an identifier names a secret: one of its parts (or two adjacent
// parts) is a secret's name and nothing after it names something else
// ("token_type", "password_hint", "tokenizer" are not secrets).
bool namesSecret(QStringView identifier)
{
    static const QSet<QString> names{
        QStringLiteral("password"),   QStringLiteral("passwd"),   QStringLiteral("pwd"),
        QStringLiteral("passphrase"), QStringLiteral("passcode"), QStringLiteral("token"),
        QStringLiteral("secret"),     QStringLiteral("apikey"),
    };
    static const QSet<QString> keyed{
        QStringLiteral("api"),    QStringLiteral("access"), QStringLiteral("private"),
        QStringLiteral("secret"), QStringLiteral("auth"),   QStringLiteral("encryption"),
    };
    static const QSet<QString> trailing{
        QStringLiteral("key"),    QStringLiteral("value"), QStringLiteral("str"),
        QStringLiteral("string"), QStringLiteral("text"),  QStringLiteral("plain"),
        QStringLiteral("raw"),    QStringLiteral("b64"),   QStringLiteral("base64"),
        QStringLiteral("hash"),   QStringLiteral("id"),    QStringLiteral("key"),
    };
    const QStringList parts = identifierParts(identifier);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        qsizetype after = -1;
        if (names.contains(parts[i]))
            after = i + 1;
        else if (keyed.contains(parts[i]) && i + 1 < parts.size() && parts[i + 1] == u"key")
            after = i + 2;
        if (after < 0)
            continue;
        bool rest = true;
        for (qsizetype k = after; k < parts.size(); ++k)
            rest = rest && trailing.contains(parts[k]);
        if (rest)
            return true;
    }
    return false;
}

// Values that stand for no secret: placeholders, references, dots.
bool placeholder(QStringView value)
{
    static const QSet<QString> words{
        QStringLiteral("none"),     QStringLiteral("null"),   QStringLiteral("nil"),
        QStringLiteral("empty"),    QStringLiteral("unset"),  QStringLiteral("required"),
        QStringLiteral("optional"), QStringLiteral("hidden"), QStringLiteral("redacted"),
        QStringLiteral("true"),     QStringLiteral("false"),  QStringLiteral("yes"),
        QStringLiteral("no"),       QStringLiteral("n/a"),    QStringLiteral("undefined"),
        QStringLiteral("default"),  QStringLiteral("masked"), QStringLiteral("secret"),
        QStringLiteral("password"), QStringLiteral("token"),  QStringLiteral("xxx"),
    };
    if (words.contains(value.toString().toLower()))
        return true;
    const QChar first = value.front();
    if (first == QLatin1Char('$') || first == QLatin1Char('%') || first == QLatin1Char('{')
        || first == QLatin1Char('<'))
        return true;
    return std::all_of(value.begin(), value.end(), [](QChar c) {
        return c == QLatin1Char('*') || c == QLatin1Char('.') || c == QLatin1Char('x')
            || c == QLatin1Char('X') || c == QLatin1Char('-') || c == QLatin1Char('_')
            || c == QLatin1Char('#');
    });
}

bool closingMark(QChar c) { return QStringLiteral(",.;:!?)]}>'\"`").contains(c); }

struct Separator {
    qsizetype valueStart = -1;
    bool explicitMark = false; // ":", "=", "是", "为" rather than only a blank
};

// What follows a label at `end`: blanks, a mark, blanks.
Separator separatorAfter(const QString& s, qsizetype end, bool chinese)
{
    qsizetype i = end;
    while (isBlank(at(s, i)))
        ++i;
    Separator separator;
    const QChar c = at(s, i);
    if (c == QLatin1Char(':') || c == QLatin1Char('=') || c == QLatin1Char(';')) {
        // ":", "=", ":=", "=>", and the ";" or ";:" a recogniser reads for
        // a full-width colon.
        separator.explicitMark = true;
        ++i;
        if (QStringLiteral(":=>").contains(at(s, i)))
            ++i;
    } else if (chinese && (c == QChar(u'是') || c == QChar(u'为'))) {
        separator.explicitMark = true;
        ++i;
        if (at(s, i) == QLatin1Char(':'))
            ++i;
    } else if (i == end && !chinese) {
        return separator; // "password(" or "password," : no value follows
    }
    while (isBlank(at(s, i)))
        ++i;
    separator.valueStart = i;
    return separator;
}

// Whether a value goes on at `i`: printable ASCII in the plain text, but not
// where the original has full-width punctuation ("482913，5分钟" ends at the
// comma); inside quotes spaces too.
bool inValue(const SecretText& text, qsizetype i, bool quoted)
{
    const QChar c = text.plain()[i];
    if (text.source()[i] != c && !isAlnum(c))
        return false;
    return isPrintableAscii(c) || (quoted && c == QLatin1Char(' '));
}

// The value starting at `start`: ASCII up to a blank, a line break or, in a
// query string, an "&"; quotes around it and closing marks after it left out.
SecretRange valueAt(const SecretText& text, qsizetype start, bool inQuery)
{
    const QString& s = text.plain();
    const auto runFrom = [&](qsizetype begin, QChar quote) {
        qsizetype end = begin;
        while (end < s.size() && inValue(text, end, !quote.isNull()) && s[end] != quote
               && !(inQuery && s[end] == QLatin1Char('&')))
            ++end;
        return end;
    };
    if (QStringLiteral("'\"`").contains(at(s, start))) {
        const qsizetype end = runFrom(start + 1, s[start]);
        if (at(s, end) == s[start])
            return {start + 1, end};
    }
    qsizetype end = runFrom(start, QChar());
    while (end > start && closingMark(s[end - 1]))
        --end;
    qsizetype begin = start;
    while (begin < end && QStringLiteral("'\"`([{").contains(s[begin]))
        ++begin;
    return {begin, end};
}

bool hasDigit(QStringView v) { return std::any_of(v.begin(), v.end(), isDigit); }
bool hasLetter(QStringView v) { return std::any_of(v.begin(), v.end(), isAsciiLetter); }

// Whether a value found after a label is taken: anything real after a mark;
// after a blank only what looks like a password or a code (a digit among
// letters, or six digits and more), so that "token expired" masks nothing.
bool acceptedValue(QStringView value, bool explicitMark, bool code)
{
    if (value.size() < 3 || placeholder(value))
        return false;
    if (explicitMark)
        return true;
    const bool allDigits = std::all_of(value.begin(), value.end(), isDigit);
    if (allDigits)
        return value.size() >= (code ? 4 : 6);
    return hasDigit(value) && hasLetter(value);
}

Ranges labelledValues(const SecretText& text)
{
    const QString& s = text.plain();
    Ranges ranges;
    const auto take = [&](SecretRange value) { ranges.push_back(value); };

    static const QRegularExpression identifiers = pattern("[A-Za-z0-9_.-]+");
    QRegularExpressionMatchIterator it = identifiers.globalMatch(s);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (!namesSecret(match.capturedView()))
            continue;
        const Separator separator = separatorAfter(s, match.capturedEnd(), false);
        if (separator.valueStart < 0)
            continue;
        const QChar before = at(s, match.capturedStart() - 1);
        const bool inQuery = before == QLatin1Char('?') || before == QLatin1Char('&');
        const SecretRange value = valueAt(text, separator.valueStart, inQuery);
        const QStringView view = QStringView(s).mid(value.begin, value.end - value.begin);
        if (value.end > value.begin && acceptedValue(view, separator.explicitMark, false))
            take(value);
    }

    static const QRegularExpression chineseLabels
        = pattern("(?:密码|验证码|校验码|动态码|口令|密钥|令牌)");
    QRegularExpressionMatchIterator cjk = chineseLabels.globalMatch(s);
    while (cjk.hasNext()) {
        const QRegularExpressionMatch match = cjk.next();
        const Separator separator = separatorAfter(s, match.capturedEnd(), true);
        const SecretRange value = valueAt(text, separator.valueStart, false);
        const QStringView view = QStringView(s).mid(value.begin, value.end - value.begin);
        const bool code = match.capturedView().endsWith(QChar(u'码'))
            && !match.capturedView().startsWith(QChar(u'密'));
        if (value.end > value.begin && acceptedValue(view, separator.explicitMark, code))
            take(value);
    }
    // Labels in English and in Chinese are found apart; keep the first of
    // two values that overlap.
    std::sort(ranges.begin(), ranges.end(),
              [](const SecretRange& a, const SecretRange& b) { return a.begin < b.begin; });
    Ranges kept;
    for (const SecretRange& range : ranges) {
        if (kept.empty() || kept.back().end <= range.begin)
            kept.push_back(range);
    }
    return kept;
}

// ---- random-looking strings ------------------------------------------------

// A string made of path segments ("/usr/lib/x86_64-linux-gnu") is no secret.
bool looksLikePath(QStringView token)
{
    if (!token.contains(QLatin1Char('/')))
        return false;
    if (token.startsWith(QLatin1Char('/')) || token.contains(QLatin1String("//")))
        return true;
    for (QStringView segment : token.split(QLatin1Char('/'))) {
        const bool word = segment.size() >= 3
            && std::all_of(segment.begin(), segment.end(),
                           [](QChar c) { return c >= QLatin1Char('a') && c <= QLatin1Char('z'); });
        if (word)
            return true;
    }
    return false;
}

// A UUID (8-4-4-4-12) names a thing, it is no secret.
bool looksLikeUuid(QStringView token)
{
    const QList<QStringView> parts = token.split(QLatin1Char('-'));
    static constexpr qsizetype sizes[5] = {8, 4, 4, 4, 12};
    if (parts.size() != 5)
        return false;
    for (int i = 0; i < 5; ++i) {
        if (parts[i].size() != sizes[i])
            return false;
    }
    return true;
}

bool isTokenCharacter(QChar c)
{
    return isAlnum(c) || c == QLatin1Char('+') || c == QLatin1Char('/') || c == QLatin1Char('_')
        || c == QLatin1Char('-');
}

// A piece of a random string that a recogniser split off: at least four
// token characters with a digit, "/" or "+" in them.
bool randomPiece(QStringView piece)
{
    if (piece.size() < 4 || looksLikePath(piece))
        return false;
    return std::any_of(piece.begin(), piece.end(), [](QChar c) {
        return isDigit(c) || c == QLatin1Char('/') || c == QLatin1Char('+');
    });
}

// What a recogniser breaks a long string with: a blank, or one stray mark
// read for a narrow letter ("]", "|", "!", "."), never a mark that
// separates a label from its value.
bool isBreak(QChar c)
{
    if (c == QLatin1Char(' '))
        return true;
    return c.unicode() > 0x20 && c.unicode() < 0x7F && !isTokenCharacter(c)
        && !QStringLiteral("=:;,\"'<>([{@").contains(c);
}

// The piece of token characters next to a break at `at`, going in
// `direction` (+1 rightwards, -1 leftwards), as [begin, end).
SecretRange pieceBeside(const QString& s, qsizetype at, int direction)
{
    if (direction > 0) {
        qsizetype stop = at + 1;
        while (stop < s.size() && isTokenCharacter(s[stop]))
            ++stop;
        return {at + 1, stop};
    }
    qsizetype start = at;
    while (start > 0 && isTokenCharacter(s[start - 1]))
        --start;
    return {start, at};
}

// How far a random string reaches in `direction` from `edge` over the
// breaks a recogniser put into it: up to the next random-looking piece,
// across at most one fragment of one or two characters ("GAkWv j 7FAc9").
// -1 when nothing more belongs to it.
qsizetype reach(const QString& s, qsizetype edge, int direction)
{
    qsizetype at = direction > 0 ? edge : edge - 1;
    for (int hop = 0; hop < 2; ++hop) {
        if (at < 0 || at >= s.size() || !isBreak(s[at]))
            return -1;
        const SecretRange piece = pieceBeside(s, at, direction);
        const QStringView text = QStringView(s).mid(piece.begin, piece.end - piece.begin);
        if (randomPiece(text))
            return direction > 0 ? piece.end : piece.begin;
        if (text.isEmpty() || text.size() > 2)
            return -1;
        at = direction > 0 ? piece.end : piece.begin - 1;
    }
    return -1;
}

// Widens a random string or a token over the breaks a recogniser put into
// it, to the pieces that still belong to it.
SecretRange widened(const QString& s, SecretRange range)
{
    for (qsizetype end = reach(s, range.end, 1); end >= 0; end = reach(s, range.end, 1))
        range.end = end;
    for (qsizetype begin = reach(s, range.begin, -1); begin >= 0; begin = reach(s, range.begin, -1))
        range.begin = begin;
    return range;
}

// Widens every range and merges those that come to overlap.
Ranges widenedAll(const QString& s, const Ranges& ranges)
{
    Ranges result;
    for (const SecretRange& range : ranges) {
        const SecretRange wide = widened(s, range);
        if (!result.empty() && wide.begin < result.back().end)
            result.back().end = std::max(result.back().end, wide.end);
        else
            result.push_back(wide);
    }
    return result;
}

Ranges highEntropyStrings(const SecretText& text)
{
    static const QRegularExpression tokens
        = pattern("(?<![A-Za-z0-9+/_-])[A-Za-z0-9+/_-]{20,}={0,2}(?![A-Za-z0-9+/_=-])");
    const QString& s = text.plain();
    return widenedAll(s, matchesOf(tokens, s, [](const QRegularExpressionMatch& match) {
                          QStringView token = match.capturedView();
                          while (token.endsWith(QLatin1Char('=')))
                              token.chop(1);
                          return !looksLikePath(token) && !looksLikeUuid(token)
                              && SecretChecks::looksRandom(token);
                      }));
}

Ranges findCompact(SecretRule rule, const SecretText& text)
{
    switch (rule) {
    case SecretRule::privateKey: return privateKeys(text);
    case SecretRule::accessToken: return widenedAll(text.plain(), accessTokens(text));
    case SecretRule::residentId: return residentIds(text);
    case SecretRule::cardNumber: return cardNumbers(text);
    case SecretRule::phoneNumber: return phoneNumbers(text);
    case SecretRule::emailAddress: return emailAddresses(text);
    case SecretRule::ipAddress: return ipAddresses(text);
    case SecretRule::labelledValue: return labelledValues(text);
    case SecretRule::highEntropy: return highEntropyStrings(text);
    }
    return {};
}

} // namespace

std::vector<SecretRange> find(SecretRule rule, const SecretText& text)
{
    Ranges ranges = findCompact(rule, text);
    for (SecretRange& range : ranges)
        range = text.originalRange(range);
    return ranges;
}

} // namespace kelpie::SecretRules
