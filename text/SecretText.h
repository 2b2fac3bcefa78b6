#pragma once

#include <QString>

#include <vector>

namespace kelpie {

// A half-open range [begin, end) of UTF-16 code units of a text.
struct SecretRange {
    qsizetype begin = 0;
    qsizetype end = 0;

    friend bool operator==(const SecretRange&, const SecretRange&) = default;
};

// Recognised text prepared for the secret rules, which must see through the
// usual recognition confusions without reading ordinary words as numbers.
//
// The rules read a compact copy: the original without the single blanks a
// recogniser puts after punctuation inside a token ("10. 20.30.41",
// "fe80: :1", "sk- proj - 9aB3", "wang. fang@example.net"), that is a blank
// after one of . : - / @ _ that follows a letter, a digit or another of
// them and precedes a letter, a digit or one of them, and a blank before a
// "-" or "." that follows a letter or digit and precedes a letter, a digit
// or another blank. Ranges of the compact copy map back to
// the original characters with originalRange().
class SecretText {
public:
    explicit SecretText(const QString& original);

    const QString& original() const { return m_original; }

    // The compact copy, characters as in the original.
    const QString& source() const { return m_source; }

    // source() with full-width ASCII forms, the ideographic space, no-break
    // spaces and the look-alike dashes read as their plain ASCII forms, and
    // "。" as ".". One code unit for one: a range of plain() is the same
    // range of source() and digits().
    const QString& plain() const { return m_plain; }

    // plain(), with O, o, l, I and | read as 0 and 1 inside runs of digits:
    // a run of letters and digits whose letters are all such look-alikes
    // (a trailing X of an ID number aside) and which holds a digit, or which
    // is joined by one ".", ":", "-" or space to such a run ("192.168.l.1").
    // Words without digits nearby ("Oil", "hello") stay as they are.
    const QString& digits() const { return m_digits; }

    // The original characters a non-empty range of the compact copy came
    // from, the blanks dropped between them included.
    SecretRange originalRange(SecretRange compact) const;

private:
    QString m_original;
    QString m_source;
    QString m_plain;
    QString m_digits;
    std::vector<qsizetype> m_origin; // original index of each compact unit
};

} // namespace kelpie
