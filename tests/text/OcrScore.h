#pragma once

#include <QString>
#include <QStringList>

namespace kelpie {

// How well one reading of a screen matches the screen's expected rows
// (OcrCorpus::Screen::rows; a TAB separates parts of a row that stand far
// apart). Texts are compared in compatibility form (NFKC: a full-width
// colon or bracket is the same as the ASCII one), after runs of white space
// are made one space.
struct OcrScore {
    // Expected rows.
    int rows = 0;
    // Rows read exactly: as one line (its parts joined by single spaces) or
    // as consecutive lines, each one or more whole parts of the row.
    int exact = 0;
    QStringList missed;
    // Characters of the expected page and the edit distance between it and
    // the reading, both taken as their lines joined by single spaces in
    // reading order: a row read out of place costs its characters twice.
    qsizetype characters = 0;
    qsizetype errors = 0;
    // Read lines of which not even half is found in any expected row.
    QStringList junk;
    // Places where the reading goes back to an earlier row than the line
    // before it (each read line is placed at the row it matches best).
    int backwardSteps = 0;

    double accuracy() const { return characters ? 1.0 - double(errors) / characters : 1.0; }

    static OcrScore of(const QStringList& expectedRows, const QStringList& readLines);

    // In compatibility form (NFKC), runs of white space made one space, none
    // at either end.
    static QString normalized(const QString& text);
    // Without the spaces some readers put between two CJK characters.
    static QString withoutCjkSpaces(const QString& text);
    // Levenshtein distance in code points.
    static qsizetype editDistance(const QString& a, const QString& b);
    // The fewest edits that turn `needle` into some part of `haystack`.
    static qsizetype substringDistance(const QString& needle, const QString& haystack);
};

} // namespace kelpie
