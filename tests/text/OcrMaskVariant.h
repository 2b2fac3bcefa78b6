#pragma once

#include "geometry/Rect.h"
#include "text/SafeTextImage.h"
#include "text/TextAnalysis.h"

#include <QImage>
#include <QStringList>

#include <vector>

namespace kelpie {

// One way of masking a screen for the safe-text benchmark: masks over
// words of the screen's unmasked reading, and what a reading of the masked
// screen gives away or loses. Boxes are image pixels with the origin at the
// top-left, as in TextAnalysis.
struct OcrMaskVariant {
    using Word = TextAnalysis::Word;

    // Words of a reading and its masked reading away from every mask.
    struct Kept {
        // Words of the unmasked reading farther than keptDistance from
        // every mask, measured from their ink where `composite` shows it
        // beside their boxes.
        int far = 0;
        // Of those, the ones the masked reading lost where the image was
        // changed under them (painted white by preparation), and the ones
        // lost although their pixels were left as they were.
        int lostPainted = 0;
        int lostUntouched = 0;
    };

    // Words farther than this from every mask must still be read: the
    // reach of a mask over text regions.
    static constexpr double keptDistance = SafeTextImage::regionGrowth;
    // A mask covers its words' boxes and this much more, across and down,
    // so that no anti-aliased edge of a glyph stays beside it.
    static constexpr double marginX = 1;
    static constexpr double marginY = 2;

    const char* target = "";
    std::vector<Rect> masks;
    std::vector<Word> masked;

    // Three variants of a reading: two whole lines, the first halves of two
    // lines of at least two words, and the longest words of three lines;
    // the lines spread over the screen.
    static std::vector<OcrMaskVariant> of(const TextAnalysis& unmasked);

    // How many masked words the reading `after` still gives: a word read
    // over (or within keptDistance of) the mask that is the masked word or
    // most of a piece of it, or the masked word read more often than the
    // unmasked reading `before` shows it outside the masks. A word read
    // where `before` has the same word outside the masks (the same word on
    // the next row of dense text, a pixel from the mask) is that word.
    int recovered(const TextAnalysis& before, const TextAnalysis& after) const;

    // Words of `before` away from every mask, and those of them `after`
    // does not give again at their place. `composite` and `prepared` tell
    // which lost words were painted over; `lost` receives a description of
    // each lost word when given.
    Kept kept(const TextAnalysis& before, const TextAnalysis& after, const QImage& composite,
              const QImage& prepared, QStringList* lost = nullptr) const;

private:
    // Whether `before` holds `word` outside every mask, in its place.
    bool isUnmaskedWord(const Word& word, const TextAnalysis& before) const;
};

} // namespace kelpie
