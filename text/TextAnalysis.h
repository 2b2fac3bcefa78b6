#pragma once

#include "geometry/Rect.h"

#include <QString>

#include <functional>
#include <vector>

namespace kelpie {

// The text found in one image: lines in reading order, each split into
// words and the words into characters, every box in the image's pixel
// space (origin at the top-left, y down). The live-text overlay selects by
// character boxes; copying uses the texts.
//
// Invariants kept by assembleLine: a line's text is its words' texts joined
// by single spaces, a word's text is its characters' texts in order, and a
// line's box unites its words' boxes.
struct TextAnalysis {
    struct Character {
        QString text; // one grapheme as recognised, usually one code point
        Rect box;

        friend bool operator==(const Character&, const Character&) = default;
    };

    struct Word {
        QString text;
        Rect box;
        std::vector<Character> characters;

        friend bool operator==(const Word&, const Word&) = default;
    };

    struct Line {
        QString text;
        Rect box;
        std::vector<Word> words;
        double confidence = 0; // 0 to 100, as the recogniser reports it

        friend bool operator==(const Line&, const Line&) = default;
    };

    // A recognised character before the words of its line are settled.
    struct Glyph {
        QString text;
        Rect box;
        // The recogniser saw a word boundary before this glyph.
        bool startsWord = false;
    };

    // A reading the recogniser weighed for a glyph, the one it chose among
    // them, and how likely it found it (0 to 100).
    struct Choice {
        QString text;
        double likelihood = 0;
    };

    std::vector<Line> lines;

    // Every line's text, one line per row.
    QString text() const;
    bool isEmpty() const { return lines.empty(); }

    // The widest run of blank pixel columns between two x positions of a
    // line on its image.
    using BlankWidth = std::function<double(double fromX, double toX)>;

    // Builds a line from its glyphs in reading order. Spaces follow the
    // script and the image, not only the recogniser's guess: never between
    // two CJK characters; between CJK and other text only where the image
    // shows a blank as wide as a typed space; between other characters where
    // the recogniser saw a word boundary or the blank is plainly a space;
    // never beside full-width punctuation. ASCII marks read where Chinese
    // text has full-width ones are given their full-width form.
    // `height` is the height of the line's ink, the measure of its type
    // size. Empty glyphs are skipped. Character boxes are made to follow
    // each other from left to right without overlapping.
    static Line assembleLine(const std::vector<Glyph>& glyphs, double confidence, double height,
                             const BlankWidth& blankWidth);

    // A line of `words` as they stand, its text and box made to match.
    static Line lineOf(std::vector<Word> words, double confidence);

    // After characters of `line` were read anew: its words' texts and its
    // own made to match them again.
    static void retext(Line& line);

    // Gives each character of `line` the text `reading` gives it (given its
    // word) and keeps the texts of the words and the line in step. Returns
    // how many characters changed.
    using Reading = std::function<QString(const Word&, const Character&)>;
    static int reread(Line& line, const Reading& reading);

    // Drops the glyphs of a reading that `dropped` picks by index, with the
    // matching entries of `confidences` (one per glyph). A word that started
    // at a dropped glyph starts at the next glyph kept. Returns how many were
    // dropped.
    static int dropGlyphs(std::vector<Glyph>& glyphs, std::vector<double>& confidences,
                          const std::function<bool(std::size_t)>& dropped);

    // True for characters of scripts written without spaces between words
    // (Han, kana, Hangul) and for their full-width punctuation.
    static bool isCjk(char32_t codePoint);
    // True for Han characters (unified and compatibility ideographs).
    static bool isHan(char32_t codePoint);

    friend bool operator==(const TextAnalysis&, const TextAnalysis&) = default;
};

} // namespace kelpie
