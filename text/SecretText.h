#pragma once

#include <QString>

namespace kelpie {

// Recognised text prepared for the secret rules, which must see through the
// usual recognition confusions without reading ordinary words as numbers.
//
// Both normalised copies keep every UTF-16 code unit in its place (each
// replacement is one unit for one unit), so a range found in either is the
// same range of the original text.
class SecretText {
public:
    explicit SecretText(const QString& original);

    const QString& original() const { return m_original; }

    // Full-width ASCII forms, the ideographic space, no-break spaces and the
    // look-alike dashes read as their plain ASCII forms; "。" as ".".
    const QString& plain() const { return m_plain; }

    // plain(), with O, o, l, I and | read as 0 and 1 inside runs of digits:
    // a run of letters and digits whose letters are all such look-alikes
    // (a trailing X of an ID number aside) and which holds a digit, or which
    // is joined by one ".", ":", "-" or space to such a run ("192.168.l.1").
    // Words without digits nearby ("Oil", "hello") stay as they are.
    const QString& digits() const { return m_digits; }

    qsizetype size() const { return m_original.size(); }

private:
    QString m_original;
    QString m_plain;
    QString m_digits;
};

} // namespace kelpie
