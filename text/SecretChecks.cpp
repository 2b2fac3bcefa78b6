#include "text/SecretChecks.h"

#include <QDate>
#include <QList>
#include <QRegularExpression>

#include <cmath>
#include <map>

namespace kelpie::SecretChecks {

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
int digitValue(QChar c) { return c.unicode() - u'0'; }

bool isHex(QChar c)
{
    return isDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

int numberOf(QStringView digits)
{
    int value = 0;
    for (QChar c : digits)
        value = value * 10 + digitValue(c);
    return value;
}

// One decimal part of an IPv4 address, or -1.
int octet(QStringView part)
{
    if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part[0] == QLatin1Char('0')))
        return -1;
    for (QChar c : part) {
        if (!isDigit(c))
            return -1;
    }
    const int value = numberOf(part);
    return value <= 255 ? value : -1;
}

// Whether the four octets form a network mask: ones, then zeros.
bool isMask(const int (&octets)[4])
{
    unsigned bits = 0;
    for (int value : octets)
        bits = (bits << 8) | unsigned(value);
    const unsigned inverted = ~bits;
    return (inverted & (inverted + 1)) == 0 && octets[0] == 255;
}

} // namespace

bool passesLuhn(QStringView text)
{
    int sum = 0;
    int count = 0;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (!isDigit(text[i]))
            continue;
        int d = digitValue(text[i]);
        if (count % 2 == 1) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
        ++count;
    }
    return count > 0 && sum % 10 == 0;
}

bool knownIssuer(QStringView digits)
{
    if (digits.size() < 4)
        return false;
    const int two = numberOf(digits.first(2));
    const int four = numberOf(digits.first(4));
    switch (digits[0].unicode()) {
    case u'4':
    case u'6': return true;
    case u'5': return two >= 51 && two <= 55;
    case u'3': return two == 30 || two == 34 || two == 35 || two == 36 || two == 37 || two == 38;
    case u'2': return four >= 2221 && four <= 2720;
    default: return false;
    }
}

bool validResidentId(QStringView id)
{
    if (id.size() != 18 || id[0] < QLatin1Char('1') || id[0] > QLatin1Char('8'))
        return false;
    for (qsizetype i = 0; i < 17; ++i) {
        if (!isDigit(id[i]))
            return false;
    }
    const QDate birth(numberOf(id.mid(6, 4)), numberOf(id.mid(10, 2)), numberOf(id.mid(12, 2)));
    if (!birth.isValid() || birth.year() < 1900)
        return false;
    static constexpr int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += digitValue(id[i]) * weights[i];
    static constexpr char16_t checks[11]
        = {u'1', u'0', u'X', u'9', u'8', u'7', u'6', u'5', u'4', u'3', u'2'};
    return id[17].toUpper() == QChar(checks[sum % 11]);
}

bool ipv4Host(QStringView text)
{
    const QList<QStringView> parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    int octets[4];
    for (int i = 0; i < 4; ++i) {
        octets[i] = octet(parts[i]);
        if (octets[i] < 0)
            return false;
    }
    if (octets[0] == 0 || octets[0] == 127)
        return false;
    if (octets[0] == 255 && octets[1] == 255 && octets[2] == 255 && octets[3] == 255)
        return false;
    return !isMask(octets);
}

bool ipv6Host(QStringView text)
{
    const qsizetype zone = text.indexOf(QLatin1Char('%'));
    if (zone >= 0)
        text = text.first(zone);
    // An embedded IPv4 tail counts as two groups.
    int tailGroups = 0;
    const qsizetype lastColon = text.lastIndexOf(QLatin1Char(':'));
    if (lastColon >= 0 && text.mid(lastColon + 1).contains(QLatin1Char('.'))) {
        const QStringView tail = text.mid(lastColon + 1);
        const QList<QStringView> parts = tail.split(QLatin1Char('.'));
        if (parts.size() != 4)
            return false;
        for (QStringView part : parts) {
            if (octet(part) < 0)
                return false;
        }
        tailGroups = 2;
        // Keep a "::" just before the tail, drop a single ":".
        const QStringView head = text.first(lastColon + 1);
        text = head.endsWith(QLatin1String("::")) ? head : text.first(lastColon);
    }
    const qsizetype gap = text.indexOf(QLatin1String("::"));
    if (gap >= 0 && text.indexOf(QLatin1String("::"), gap + 1) >= 0)
        return false;
    int groups = tailGroups;
    bool digit = false;
    bool longGroup = false;
    bool nonZero = tailGroups > 0;
    const auto readGroups = [&](QStringView side) {
        if (side.isEmpty())
            return true;
        for (QStringView group : side.split(QLatin1Char(':'))) {
            if (group.isEmpty() || group.size() > 4)
                return false;
            for (QChar c : group) {
                if (!isHex(c))
                    return false;
                digit = digit || isDigit(c);
                nonZero = nonZero || c != QLatin1Char('0');
            }
            longGroup = longGroup || group.size() >= 3;
            ++groups;
        }
        return true;
    };
    if (gap >= 0) {
        if (!readGroups(text.first(gap)) || !readGroups(text.mid(gap + 2)) || groups > 7)
            return false;
        // "::1" and "::" name this host or no host.
        if (groups <= 1 && tailGroups == 0)
            return false;
    } else if (!readGroups(text) || groups != 8) {
        return false;
    }
    return nonZero && (digit || tailGroups > 0) && (longGroup || tailGroups > 0);
}

bool looksRandom(QStringView text, qsizetype minimumLength)
{
    if (text.size() < minimumLength)
        return false;
    bool upper = false;
    bool lower = false;
    int digitRuns = 0;
    std::map<char16_t, int> counts;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        ++counts[c.unicode()];
        upper = upper || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        lower = lower || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
        if (isDigit(c) && (i == 0 || !isDigit(text[i - 1])))
            ++digitRuns;
    }
    if (!upper || !lower || digitRuns == 0)
        return false;
    double entropy = 0;
    const double n = double(text.size());
    for (const auto& [c, count] : counts) {
        const double p = count / n;
        entropy -= p * std::log2(p);
    }
    if (entropy < 3.5)
        return false;
    // Words: a capital and three lower-case letters, four lower-case
    // letters, five capitals. Random strings of this alphabet seldom give
    // them more than two fifths of their length; identifiers give them most
    // of it, with their digits together in one or two places.
    static const QRegularExpression words(QStringLiteral("[A-Z][a-z]{3,}|[a-z]{4,}|[A-Z]{5,}"));
    qsizetype wordy = 0;
    QRegularExpressionMatchIterator it = words.globalMatch(text);
    while (it.hasNext())
        wordy += it.next().capturedLength();
    return double(wordy) <= 0.4 * n || (digitRuns >= 3 && double(wordy) <= 0.6 * n);
}

} // namespace kelpie::SecretChecks
