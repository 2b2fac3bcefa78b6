#pragma once

#include "text/TextAnalysis.h"

#include <QImage>

#include <vector>

namespace kelpie {

// The marks of a check box, which the recognisers read as text: its tick
// as "V", "Y" or "√", its edges as "|" or "I". A check box is a hollow
// square frame about as tall as the line's characters, drawn apart from the
// tick inside it. Han characters such as 口 are frames too, but they are
// read as themselves; only tick and edge readings inside a frame are
// dropped, so an empty box (read as nothing) and real text are untouched.
class CheckBoxMarks {
public:
    // Drops the glyphs of a line (boxes in the pixels of `line`, a grey
    // image, dark text on a light ground) that are the marks of a check box
    // holding a tick, with the matching entries of `confidences`, one per
    // glyph. A word that started at a dropped mark starts at the glyph after
    // it. Returns how many were dropped.
    static int drop(const QImage& line, std::vector<TextAnalysis::Glyph>& glyphs,
                    std::vector<double>& confidences);
};

} // namespace kelpie
