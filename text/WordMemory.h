#pragma once

#include "text/TextAnalysis.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <list>
#include <mutex>
#include <vector>

namespace kelpie {

// Words read before, remembered by the pixels around them. A document is
// read again after every edit, and a mask changes the lines it touches:
// their crops differ, a line may split in two or vanish from the layout,
// and a fresh reading of what remains may differ from the first one. A word
// whose every pixel (and a small margin) is the same as when it was read
// reads the same, so its first reading is put back in place of whatever
// the fresh reading made of those pixels.
//
// Nothing is revealed that the image does not show: a word is recalled
// only when the image being read shows exactly the pixels it was read
// from, and whatever an edit changed is read afresh.
//
// Safe to use from several threads.
class WordMemory {
public:
    // How far around a word's box its pixels must be unchanged: the
    // recogniser's box may fall a pixel short of the word's ink.
    static constexpr int margin = 2;

    // Remembers the words of at most `analyses` analyses, the least
    // recently recalled forgotten first.
    explicit WordMemory(std::size_t analyses);

    // `analysis` of `image` with the words of the remembered analysis of an
    // image of the same size that shares most unchanged words with it put
    // back: each unchanged word replaces the fresh words it overlaps and
    // joins the fresh line of its row (the fragments of a line that an edit
    // split become one line again); the unchanged words of a line the fresh
    // reading lost come back as a line of their own, after the line that
    // came before it when first read. `image` is taken as TextLayout::inSrgb
    // reads it.
    TextAnalysis recall(const QImage& image, TextAnalysis analysis);

    // Keeps the words of `analysis`, read from `image`.
    void remember(const QImage& image, const TextAnalysis& analysis);

    void clear();

    // The digest of the pixels of `image` in `box` grown by `margin`, clipped
    // to the image; empty when nothing of it lies in the image.
    static QByteArray digestAround(const QImage& image, const Rect& box);

private:
    struct Entry {
        QSize size;
        std::vector<TextAnalysis::Line> lines;
        std::vector<std::vector<QByteArray>> digests; // per line, per word
    };

    std::size_t capacity;
    std::mutex mutex;
    std::list<Entry> entries; // most recently recalled first
};

} // namespace kelpie
