#pragma once

#include <QString>
#include <QStringView>

namespace kelpie {

// The arithmetic behind the secret rules: check digits, address syntax and
// the randomness of a string. Pure functions of their text.
namespace SecretChecks {

// The digits of `text` (anything else skipped) pass the Luhn check; false
// without digits.
bool passesLuhn(QStringView text);

// A payment card's leading digits belong to a known issuer range: Visa (4),
// Mastercard (51–55, 2221–2720), American Express (34, 37), Diners (30, 36,
// 38), JCB (35), Discover and UnionPay (6).
bool knownIssuer(QStringView digits);

// Eighteen characters, seventeen digits and a check digit or X, whose
// region code starts with 1–8, whose birth date is a real day from 1900 on,
// and whose check digit is the ISO 7064 MOD 11-2 one.
bool validResidentId(QStringView id);

// Four decimal parts of 0–255 without leading zeros that name one host:
// not 0.0.0.0, not a loopback 127.x.x.x, not the broadcast address and not a
// network mask such as 255.255.255.0.
bool ipv4Host(QStringView text);

// An IPv6 address in full or compressed form (an embedded IPv4 tail and a
// %zone allowed) that names a host: not :: or ::1, and, to keep words like
// "add::bed" out, with a digit and with a group of at least three hex digits.
bool ipv6Host(QStringView text);

// A string of at least `minimumLength` characters that looks random rather
// than made of words: upper case, lower case and digits all present, a
// character distribution of at least 3.5 bits per character, and at most
// two fifths of it in words (a capital and three lower-case letters, four
// lower-case letters or five capitals), or at most three fifths when its
// digits are spread over three places or more. About 19 random strings of
// 20 characters in 20 pass, and 49 in 50 of 32 characters.
bool looksRandom(QStringView text, qsizetype minimumLength = 20);

} // namespace SecretChecks
} // namespace kelpie
