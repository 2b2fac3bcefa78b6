#pragma once

#include "text/TextAnalysis.h"

#include <QImage>

#include <vector>

namespace kelpie {

// Marks a line recogniser sees in wide blanks where there are none. The
// Chinese models read a closing quote before the next column of a table, or
// a full stop between a key and its description, where the picture shows
// nothing at all. Such a mark (a quote, a full stop, a comma) with next to
// no ink in its box, beside a blank much wider than the line's characters
// are tall, is not there. Real marks keep to the text they belong to: the
// blank after a sentence's stop or a label's colon is narrower.
class PhantomMarks {
public:
    // Drops the phantom marks of a line's glyphs (boxes in the pixels of
    // `line`, a grey image, dark text on a light ground) and the matching
    // entries of `confidences`, one per glyph. A word that started at a
    // dropped mark starts at the glyph after it. Returns how many were
    // dropped.
    static int drop(const QImage& line, std::vector<TextAnalysis::Glyph>& glyphs,
                    std::vector<double>& confidences);
};

} // namespace kelpie
