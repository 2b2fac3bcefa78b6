#include "text/PhantomMarks.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelpie {
namespace {

// A mark is a phantom beside a blank at least this many times as wide as
// the line's ink is high, with at most the second figure's columns of full
// ink in its box (boxes of marks are rough and may take in an edge of the
// next character).
constexpr double phantomBlank = 1.2;
constexpr double phantomInk = 3;

// A column whose ink adds up to less than half a pixel is blank.
constexpr double blankColumn = 0.5;

bool isPhantomProne(const QString& text)
{
    static const QString marks = QString::fromUtf8("“”‘’\"'`。，、");
    return text.size() == 1 && marks.contains(text.at(0));
}

// The ink of each column of a grey line image (1 for a black pixel), and
// the height of the rows that hold ink.
class ColumnInk {
public:
    explicit ColumnInk(const QImage& line) : columns(std::size_t(std::max(0, line.width())), 0)
    {
        int top = line.height();
        int bottom = -1;
        for (int y = 0; y < line.height(); ++y) {
            const uchar* row = line.constScanLine(y);
            for (int x = 0; x < line.width(); ++x) {
                columns[std::size_t(x)] += (255 - row[x]) / 255.0;
                if (row[x] < 128) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        height = std::max(1, bottom - top + 1);
    }

    int inkHeight() const { return height; }

    double inkIn(int from, int to) const
    {
        double ink = 0;
        for (int x = std::max(0, from); x <= std::min(width() - 1, to); ++x)
            ink += columns[std::size_t(x)];
        return ink;
    }

    // The widest run of blank columns that reaches into [from, to]; beyond
    // the image is blank.
    int widestBlankAt(int from, int to) const
    {
        int widest = 0;
        for (int x = from; x <= to; ++x) {
            if (!blank(x))
                continue;
            int left = x;
            int right = x;
            while (left > 0 && blank(left - 1))
                --left;
            while (right + 1 < width() && blank(right + 1))
                ++right;
            widest = std::max(widest, right - left + 1);
            x = right;
        }
        return widest;
    }

    bool blankAt(int x) const { return blank(x); }

    // The run of inked columns through column `x`.
    std::pair<int, int> inkRunAt(int x) const
    {
        int left = x;
        int right = x;
        while (left > 0 && !blank(left - 1))
            --left;
        while (right + 1 < width() && !blank(right + 1))
            ++right;
        return {left, right};
    }

private:
    int width() const { return int(columns.size()); }
    bool blank(int x) const
    {
        return x < 0 || x >= width() || columns[std::size_t(x)] < blankColumn;
    }

    std::vector<double> columns;
    int height = 1;
};

// Whether glyph `self` has ink of its own beside or in its box: a run of
// inked columns there that reaches into no other glyph's box but a mark's.
// A run that does belongs to that glyph, whose box may be a few pixels off
// its ink.
bool inkOfItsOwn(const ColumnInk& ink, const std::vector<TextAnalysis::Glyph>& glyphs,
                 std::size_t self)
{
    const Rect& box = glyphs[self].box;
    const int reach = std::max(2, ink.inkHeight() / 10);
    const int from = int(std::floor(box.minX())) - reach;
    const int to = int(std::ceil(box.maxX())) + reach;
    for (int x = from; x <= to; ++x) {
        if (ink.blankAt(x))
            continue;
        const auto [left, right] = ink.inkRunAt(x);
        bool taken = false;
        for (std::size_t i = 0; i < glyphs.size() && !taken; ++i) {
            const Rect& other = glyphs[i].box;
            taken = i != self && !isPhantomProne(glyphs[i].text) && left <= std::ceil(other.maxX())
                && right >= std::floor(other.minX());
        }
        if (!taken)
            return true;
        x = right;
    }
    return false;
}

} // namespace

int PhantomMarks::drop(const QImage& line, std::vector<TextAnalysis::Glyph>& glyphs,
                       std::vector<double>& confidences)
{
    if (line.format() != QImage::Format_Grayscale8 || confidences.size() != glyphs.size())
        return 0;
    const ColumnInk ink(line);
    return TextAnalysis::dropGlyphs(glyphs, confidences, [&](std::size_t i) {
        const TextAnalysis::Glyph& glyph = glyphs[i];
        const int from = int(std::floor(glyph.box.minX()));
        const int to = int(std::ceil(glyph.box.maxX()));
        return isPhantomProne(glyph.text) && ink.inkIn(from, to) <= phantomInk * ink.inkHeight()
            && ink.widestBlankAt(from - 2, to + 2) >= phantomBlank * ink.inkHeight()
            && !inkOfItsOwn(ink, glyphs, i);
    });
}

} // namespace kelpie
