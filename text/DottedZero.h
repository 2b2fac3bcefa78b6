#pragma once

#include "text/TextAnalysis.h"

#include <QImage>
#include <QRect>

namespace kelpie {

// Zeros drawn with a dot inside. Many monospaced fonts (the usual terminal
// and code fonts among them) set a zero apart from the letter O by a dot in
// its middle, and line recognisers trained on other type read that zero as
// "6", "8" or "9", or as "O". The shape itself is plain whatever the font:
// a closed ring as tall as a digit with a separate blob inside its hole. No
// other digit or letter is drawn so.
class DottedZero {
public:
    // Whether the ink of `normalized` (dark on white) inside `area` shows a
    // dotted zero whose middle lies from `fromX` up to `toX`; `height` is
    // the height of the line's ink, the measure of a digit's.
    static bool shows(const QImage& normalized, const QRect& area, double fromX, double toX,
                      int height);

    // Reads as "0" every character of `analysis` that was read as a
    // character a dotted zero is mistaken for and whose box shows one, and
    // as the letter "O" a zero whose box shows an empty ring in a line whose
    // other zeros are dotted. Words and lines keep their texts in step.
    // Returns how many changed.
    static int settle(const QImage& normalized, TextAnalysis& analysis);
};

} // namespace kelpie
