#pragma once

#include "text/TextAnalysis.h"

#include <QImage>

namespace kelpie {

// Letters whose small and capital forms differ only in size (c, o, s, v,
// w, x, z). Line recognisers guess their case from the letters around
// them, and in a word of such letters alone have none to go by: ".CSV" for
// ".csv". The picture settles it: a small letter stands as high as the
// line's other small letters (its x-height), a capital as high as its
// capitals and digits. Height also tells a small l from a capital I where
// the type draws the ascenders above the capitals.
class LetterCase {
public:
    // Gives the letters of every word of `analysis` made of such letters
    // alone the case their ink height in `normalized` (dark on white, the
    // analysis's pixels) shows, in lines that show the capitals' height.
    // Words and lines keep their texts in step. Returns how many changed.
    static int settle(const QImage& normalized, TextAnalysis& analysis);
};

} // namespace kelpie
