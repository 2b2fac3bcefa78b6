#include "text/TextLayout.h"

#include <QColorSpace>
#include <QSysInfo>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <limits>
#include <map>
#include <numeric>

namespace kelpie::TextLayout {

namespace {

// Backgrounds are estimated on square blocks.
constexpr int blockSize = 8;
constexpr int panelBlocks = 3;
constexpr std::size_t largeFlatArea = 64;
constexpr std::size_t barArea = 24;
// Grey levels on either side of a block's most frequent value that count
// as the same fill.
constexpr int gradientSpread = 4;
// The most a gradient changes from one pixel to the next.
constexpr int gradientStep = 2;
constexpr int barLength = 16;
// Pixels along the edge of a filled shape that blend into its surroundings.
constexpr int shapeEdge = 2;
// Grey levels within which a pixel still matches a background.
constexpr int backgroundTolerance = 12;
// Contrast against the background is doubled so faint grey text on grey
// panels reaches full ink.
constexpr int contrastGain = 2;
// The share (in %) of a line's ink pixels that may be stronger than the
// contrast its ink is stretched to.
constexpr int strongInk = 2;

// Glyphs taller than this are pictures or frames, not text.
constexpr int maximumGlyphHeight = 200;
// A line this many times taller than its median glyph holds an icon or a
// picture (glyphs taller than the second figure times the median) that
// has joined lines of text together.
constexpr double outsizedLine = 2.5;
constexpr double outsizedGlyph = 1.8;
// Pieces of ink stacked into one character stay within this many times as
// high as the character is wide.
constexpr double squareCharacter = 1.5;
// How far (in pixels) a row's top may stray from a terminal's lattice:
// rows without capitals or ascenders start lower.
constexpr int latticeSlack = 3;
// Lines lower than this hold specks, not text.
constexpr int minimumLineHeight = 4;
constexpr int minimumLineInk = 6;
// The blank between two words: at least this share of the usual height of
// the line's characters and wider than the usual gap between its letters
// by the margin below.
constexpr double wordSpace = 0.3;
constexpr double minimumWordSpace = 3;
constexpr double letterGapMargin = 2.5;

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive
    int bottom = 0; // exclusive
    int ink = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    double middleY() const { return (top + bottom) / 2.0; }

    void unite(const Box& other)
    {
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
        ink += other.ink;
    }

    QRect rect() const { return QRect(left, top, width(), height()); }
};

// Connected ink components (8-connected) of a normalised image, found by
// joining runs of ink row by row.
std::vector<Box> components(const QImage& image, const RecognitionCancellation& cancellation)
{
    struct Run {
        int x0;
        int x1; // exclusive
        int label;
    };
    std::vector<int> parent;
    const auto find = [&parent](int label) {
        while (parent[label] != label) {
            parent[label] = parent[parent[label]];
            label = parent[label];
        }
        return label;
    };

    std::vector<Run> previous;
    std::vector<Run> current;
    std::vector<Box> boxes;
    for (int y = 0; y < image.height(); ++y) {
        if ((y & 63) == 0)
            cancellation.throwIfCancelled();
        const std::uint8_t* row = image.constScanLine(y);
        current.clear();
        std::size_t scan = 0;
        for (int x = 0; x < image.width();) {
            if (row[x] >= inkThreshold) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && row[x] < inkThreshold)
                ++x;
            int label = -1;
            // Runs of the row above that touch this one, diagonals included.
            while (scan < previous.size() && previous[scan].x1 < start)
                ++scan;
            for (std::size_t i = scan; i < previous.size() && previous[i].x0 <= x; ++i) {
                const int other = find(previous[i].label);
                if (label < 0)
                    label = other;
                else if (other != label) {
                    parent[std::max(label, other)] = std::min(label, other);
                    label = std::min(label, other);
                }
            }
            if (label < 0) {
                label = int(parent.size());
                parent.push_back(label);
                boxes.push_back(Box{start, y, x, y + 1, 0});
            }
            Box& box = boxes[std::size_t(label)];
            box.left = std::min(box.left, start);
            box.right = std::max(box.right, x);
            box.bottom = y + 1;
            box.ink += x - start;
            current.push_back(Run{start, x, label});
        }
        std::swap(previous, current);
    }

    // Fold every label into its root.
    for (std::size_t label = 0; label < parent.size(); ++label) {
        const int root = find(int(label));
        if (root != int(label)) {
            boxes[std::size_t(root)].unite(boxes[label]);
            boxes[label].ink = 0;
        }
    }
    std::vector<Box> result;
    for (std::size_t label = 0; label < parent.size(); ++label) {
        if (parent[label] == int(label))
            result.push_back(boxes[label]);
    }
    return result;
}

bool isText(const Box& box)
{
    const int w = box.width();
    const int h = box.height();
    if (h > maximumGlyphHeight || w > 4 * maximumGlyphHeight)
        return false;
    // Rules and separators: thin and long.
    const int thin = std::min(w, h);
    const int thick = std::max(w, h);
    if (thin <= 3 && thick >= 40 && thick >= 12 * thin)
        return false;
    // Outlines of fields and buttons: wide and hollow.
    if (h >= 8 && w >= 3 * h && box.ink * 100 < 15 * w * h)
        return false;
    // Grids and crossing rules: large and nearly empty. Glyphs, even thin
    // ones, cover a fifth of their box or more.
    if (w * h >= 400 && box.ink * 100 < 6 * w * h)
        return false;
    return true;
}

// Whether a glyph sits on a line: one's vertical middle lies within the
// other's rows.
bool sameRow(const Box& line, const Box& glyph)
{
    return (glyph.middleY() >= line.top && glyph.middleY() < line.bottom)
        || (line.middleY() >= glyph.top && line.middleY() < glyph.bottom);
}

// A line and the glyphs it was made of, left to right once finished.
struct Run {
    Box box;
    std::vector<Box> glyphs;
    bool grid = false; // a row of a terminal's lattice

    void unite(const Run& other)
    {
        box.unite(other.box);
        glyphs.insert(glyphs.end(), other.glyphs.begin(), other.glyphs.end());
    }
};

// Joins glyphs, left to right, into lines: a glyph continues the nearest
// line on its row whose end is less than one and a half line heights away
// (wider gaps separate columns and labels).
std::vector<Run> joinLines(std::vector<Box> glyphs)
{
    std::sort(glyphs.begin(), glyphs.end(),
              [](const Box& a, const Box& b) { return a.left < b.left; });
    std::vector<Run> lines;
    std::vector<std::size_t> open;
    for (const Box& glyph : glyphs) {
        std::size_t best = lines.size();
        int bestGap = 0;
        for (std::size_t i = 0; i < open.size();) {
            const Box& line = lines[open[i]].box;
            const int reach = std::max(line.height(), glyph.height()) * 3 / 2;
            // Glyphs come left to right, so a line this far behind is done.
            if (line.right + 2 * maximumGlyphHeight < glyph.left) {
                open.erase(open.begin() + std::ptrdiff_t(i));
                continue;
            }
            const int gap = glyph.left - line.right;
            if (gap <= reach && sameRow(line, glyph) && (best == lines.size() || gap < bestGap)) {
                best = open[i];
                bestGap = gap;
            }
            ++i;
        }
        if (best == lines.size()) {
            lines.push_back(Run{glyph, {glyph}});
            open.push_back(best);
        } else {
            lines[best].box.unite(glyph);
            lines[best].glyphs.push_back(glyph);
        }
    }
    return lines;
}

// Every glyph of an image, left to right, for finding the pieces stacked
// over and under one of them.
struct Pieces {
    std::vector<Box> boxes;
    int widest = 0;

    explicit Pieces(const std::vector<Run>& lines)
    {
        for (const Run& line : lines) {
            for (const Box& glyph : line.glyphs) {
                boxes.push_back(glyph);
                widest = std::max(widest, glyph.width());
            }
        }
        std::sort(boxes.begin(), boxes.end(),
                  [](const Box& a, const Box& b) { return a.left < b.left; });
    }
};

// The height of the character a glyph of a line belongs to. Many Han
// characters are several pieces of ink stacked in one square (the three
// strokes of 三, the dots under 点), each far lower than the character, and
// the first joining of lines may leave the pieces of one character in
// different lines. The glyph gathers the pieces over and under it within
// the line's rows, nearest first, as long as together they stay about as
// high as wide: a character does, while a glyph stacked on the letters of
// other rows the line spans (beside an icon) makes a tall, narrow column.
int characterHeight(const Box& glyph, const Box& line, const Pieces& pieces)
{
    const auto overlap = [](const Box& a, const Box& b) {
        return std::min(a.right, b.right) - std::max(a.left, b.left);
    };
    const auto distance = [&glyph](const Box& other) {
        return std::max({0, other.top - glyph.bottom, glyph.top - other.bottom});
    };
    std::vector<const Box*> stacked;
    auto it = std::lower_bound(
        pieces.boxes.begin(), pieces.boxes.end(), glyph.left - pieces.widest,
        [](const Box& box, int left) { return box.left < left; });
    for (; it != pieces.boxes.end() && it->left < glyph.right; ++it) {
        if (it->top >= line.top && it->bottom <= line.bottom
            && 2 * overlap(glyph, *it) >= std::min(glyph.width(), it->width()))
            stacked.push_back(&*it);
    }
    std::sort(stacked.begin(), stacked.end(),
              [&](const Box* a, const Box* b) { return distance(*a) < distance(*b); });
    Box character = glyph;
    for (const Box* piece : stacked) {
        if (2 * overlap(character, *piece) < std::min(character.width(), piece->width()))
            continue;
        Box joined = character;
        joined.unite(*piece);
        if (joined.height() <= squareCharacter * joined.width())
            character = joined;
    }
    return character.height();
}

// An icon beside a few lines of text (a message box's warning sign) is as
// tall as all of them and joins them into one line. Such a line is far
// taller than most of its characters; without its outsized glyphs its text
// is joined again, and the outsized glyphs, pictures rather than text, are
// left out.
std::vector<Run> withoutIcons(std::vector<Run> lines)
{
    const Pieces pieces(lines);
    std::vector<Run> result;
    for (Run& line : lines) {
        const auto median = [](std::vector<int> heights) {
            std::nth_element(heights.begin(),
                             heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
            return double(heights[heights.size() / 2]);
        };
        std::vector<int> heights;
        for (const Box& glyph : line.glyphs)
            heights.push_back(glyph.height());
        const auto outsized = [&line](double height) {
            return line.box.height() > outsizedLine * height;
        };
        // Only a line its glyphs' own heights call outsized is worth
        // measuring by whole characters.
        double usual = median(heights);
        if (line.glyphs.size() >= 3 && outsized(usual)) {
            for (std::size_t i = 0; i < line.glyphs.size(); ++i)
                heights[i] = characterHeight(line.glyphs[i], line.box, pieces);
            usual = median(std::move(heights));
        }
        if (line.glyphs.size() < 3 || !outsized(usual)) {
            result.push_back(std::move(line));
            continue;
        }
        std::vector<Box> text;
        for (const Box& glyph : line.glyphs) {
            if (glyph.height() <= outsizedGlyph * usual)
                text.push_back(glyph);
        }
        if (text.size() == line.glyphs.size()) {
            result.push_back(std::move(line));
            continue;
        }
        for (Run& run : joinLines(std::move(text)))
            result.push_back(std::move(run));
    }
    return result;
}

// Small pieces that sit just above or below a line (underscores, commas,
// accents that missed the row test) join the line they touch.
std::vector<Run> mergeFragments(std::vector<Run> lines)
{
    std::sort(lines.begin(), lines.end(),
              [](const Run& a, const Run& b) { return a.box.height() > b.box.height(); });
    std::vector<Run> kept;
    for (const Run& piece : lines) {
        // Of the lines near enough, the one the piece overlaps most (or is
        // nearest to): between two close rows the lower half of a character
        // belongs to its own row, not to the one below.
        Run* target = nullptr;
        int targetOverlap = 0;
        for (Run& run : kept) {
            const Box& line = run.box;
            if (piece.box.height() * 2 > line.height())
                continue;
            const int margin = std::max(2, line.height() / 3);
            const bool nearRows
                = piece.box.top < line.bottom + margin && piece.box.bottom > line.top - margin;
            const bool nearColumns = piece.box.left <= line.right + line.height() / 2 + 1
                && piece.box.right >= line.left - line.height() / 2 - 1;
            const int overlap
                = std::min(line.bottom, piece.box.bottom) - std::max(line.top, piece.box.top);
            if (nearRows && nearColumns && (!target || overlap > targetOverlap)) {
                target = &run;
                targetOverlap = overlap;
            }
        }
        if (target)
            target->unite(piece);
        else
            kept.push_back(piece);
    }
    return kept;
}

bool alikeHeights(const Box& a, const Box& b)
{
    return a.height() * 4 <= b.height() * 5 && b.height() * 4 <= a.height() * 5;
}

// Whether the normalised image holds no ink between two x positions over a
// row range: nothing but background separates two pieces of one row.
bool blankBetween(const QImage& normalized, int top, int bottom, int fromX, int toX)
{
    for (int y = std::max(0, top); y < std::min(normalized.height(), bottom); ++y) {
        const std::uint8_t* row = normalized.constScanLine(y);
        for (int x = std::max(0, fromX); x < std::min(normalized.width(), toX); ++x) {
            if (row[x] < inkThreshold)
                return false;
        }
    }
    return true;
}

// The rows of a screen whose rows all sit on one lattice of a fixed pitch
// (a terminal), empty when there is none. A row's top may stray from the
// lattice by latticeSlack (rows without capitals start lower); nearly all
// rows must sit on it, which rows spaced at random do not.
std::vector<bool> latticeRows(const std::vector<int>& tops, int lineHeight)
{
    const std::size_t count = tops.size();
    if (count < 4)
        return {};
    std::vector<bool> best;
    std::size_t bestOn = 0;
    for (double pitch = lineHeight; pitch <= 2.0 * lineHeight + 4; pitch += 0.25) {
        for (const int anchor : tops) {
            std::vector<bool> on(count, false);
            std::size_t n = 0;
            for (std::size_t r = 0; r < count; ++r) {
                const double steps = (tops[r] - anchor) / pitch;
                const double off = (steps - std::round(steps)) * pitch;
                // Rows start at or a little below their lattice line.
                on[r] = off >= -2 && off <= latticeSlack + 0.5;
                n += on[r];
            }
            if (n > bestOn) {
                bestOn = n;
                best = std::move(on);
            }
        }
    }
    if (bestOn >= 4 && 10 * bestOn >= 8 * count)
        return best;
    return {};
}

// Text set in a grid of rows (a terminal, a listing, a table) leaves wide
// gaps inside its rows, where columns are padded with runs of spaces. Each
// row is one line there: pieces of one row are joined when the rows around
// them follow each other at one fixed pitch, start at one left edge, and
// nothing but background lies between the pieces. Elsewhere (a label
// beside a field, a sidebar beside a page) pieces stay apart. The result
// is in row order; `terminal` tells whether the whole image is one grid.
std::vector<Run> joinGridRows(std::vector<Run> lines, const QImage& normalized, bool* terminal)
{
    *terminal = false;
    if (lines.size() < 2)
        return lines;
    std::sort(lines.begin(), lines.end(), [](const Run& a, const Run& b) {
        return a.box.top != b.box.top ? a.box.top < b.box.top : a.box.left < b.box.left;
    });
    // Rows: pieces whose middles share their rows, left to right.
    std::vector<std::vector<std::size_t>> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bool placed = false;
        for (auto it = rows.rbegin(); it != rows.rend() && !placed; ++it) {
            const Box& first = lines[it->front()].box;
            const Box& box = lines[i].box;
            if (sameRow(first, box) && box.height() * 2 >= first.height()
                && first.height() * 2 >= box.height()) {
                it->push_back(i);
                placed = true;
            }
            if (lines[i].box.top > first.bottom)
                break;
        }
        if (!placed)
            rows.push_back({i});
    }
    for (auto& row : rows)
        std::sort(row.begin(), row.end(), [&](std::size_t a, std::size_t b) {
            return lines[a].box.left < lines[b].box.left;
        });

    // A row belongs to a grid when it and a neighbour on either side share
    // the pitch and the left edge of the row beyond.
    const auto aligned = [&](std::size_t a, std::size_t b) {
        const Box& x = lines[rows[a].front()].box;
        const Box& y = lines[rows[b].front()].box;
        const int tolerance = std::max(2, std::min(x.height(), y.height()) / 3);
        return std::abs(x.left - y.left) <= tolerance && alikeHeights(x, y) && y.top > x.top
            && y.top - x.top <= 3 * std::max(x.height(), y.height());
    };
    const auto pitch = [&](std::size_t a, std::size_t b) {
        return lines[rows[b].front()].box.top - lines[rows[a].front()].box.top;
    };
    std::vector<double> reach(rows.size(), 0); // how far apart pieces may join, in heights
    for (std::size_t r = 0; r + 2 < rows.size(); ++r) {
        if (aligned(r, r + 1) && aligned(r + 1, r + 2)
            && std::abs(pitch(r, r + 1) - pitch(r + 1, r + 2)) <= 1)
            reach[r] = reach[r + 1] = reach[r + 2] = 6;
    }
    // A terminal is a grid as a whole: nearly every row sits on one lattice
    // of a fixed pitch, blank rows and indented ones included. Its rows are
    // lines however widely their pieces are spaced.
    std::vector<int> tops;
    std::vector<int> heights;
    for (const auto& row : rows) {
        int top = lines[row.front()].box.top;
        for (const std::size_t i : row)
            top = std::min(top, lines[i].box.top);
        tops.push_back(top);
        heights.push_back(lines[row.front()].box.height());
    }
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2),
                     heights.end());
    const std::vector<bool> lattice = latticeRows(tops, heights[heights.size() / 2]);
    for (std::size_t r = 0; r < lattice.size(); ++r) {
        if (lattice[r])
            reach[r] = std::numeric_limits<double>::infinity();
    }
    *terminal = !lattice.empty();

    std::vector<Run> joined;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Run current = lines[rows[r][0]];
        current.grid = std::isinf(reach[r]);
        for (std::size_t k = 1; k < rows[r].size(); ++k) {
            const Run& next = lines[rows[r][k]];
            const int height = std::max(current.box.height(), next.box.height());
            const int top = std::max(current.box.top, next.box.top);
            const int bottom = std::min(current.box.bottom, next.box.bottom);
            const bool join = next.box.left - current.box.right <= reach[r] * height
                && blankBetween(normalized, top, bottom, current.box.right, next.box.left);
            if (join) {
                current.unite(next);
            } else {
                joined.push_back(std::move(current));
                current = next;
                current.grid = std::isinf(reach[r]);
            }
        }
        joined.push_back(std::move(current));
    }
    return joined;
}

// Reading order: lines that follow each other closely in one column form a
// block; blocks go top to bottom, then left to right.
std::vector<Run> readingOrder(std::vector<Run> lines)
{
    std::sort(lines.begin(), lines.end(), [](const Run& a, const Run& b) {
        return a.box.top != b.box.top ? a.box.top < b.box.top : a.box.left < b.box.left;
    });
    std::vector<std::vector<Run>> blocks;
    for (Run& run : lines) {
        const Box& line = run.box;
        std::vector<Run>* best = nullptr;
        int bestGap = 0;
        for (auto& block : blocks) {
            const Box& last = block.back().box;
            const int gap = line.top - last.bottom;
            const int height = std::max(line.height(), last.height());
            const bool overlapsColumns = line.left < last.right && line.right > last.left;
            const bool alike
                = line.height() * 2 >= last.height() && last.height() * 2 >= line.height();
            if (overlapsColumns && alike && gap >= -height / 2 && gap <= 3 * height
                && (!best || gap < bestGap)) {
                best = &block;
                bestGap = gap;
            }
        }
        if (best)
            best->push_back(std::move(run));
        else
            blocks.push_back({std::move(run)});
    }
    // Blocks were opened in order of their first line's top; those starting
    // on about the same row go left to right.
    std::size_t bandStart = 0;
    for (std::size_t i = 1; i <= blocks.size(); ++i) {
        const Box& first = blocks[bandStart].front().box;
        if (i < blocks.size() && blocks[i].front().box.top < first.top + first.height() / 2)
            continue;
        std::stable_sort(
            blocks.begin() + std::ptrdiff_t(bandStart), blocks.begin() + std::ptrdiff_t(i),
            [](const auto& a, const auto& b) { return a.front().box.left < b.front().box.left; });
        bandStart = i;
    }
    std::vector<Run> result;
    for (auto& block : blocks) {
        for (Run& line : block)
            result.push_back(std::move(line));
    }
    return result;
}

// The words of a line: its glyphs left to right, split where the blank
// between them is as wide as a typed space. The blank that counts as one
// follows the line's own spacing: proportional type leaves a pixel or two
// between letters, terminal type (narrow letters in wide cells) up to a
// third of the height, so a space is both a share of the height and well
// above the usual gap between letters. Overlapping glyphs (the parts of one
// character) never split.
std::vector<QRect> wordsOf(std::vector<Box> glyphs)
{
    std::sort(glyphs.begin(), glyphs.end(),
              [](const Box& a, const Box& b) { return a.left < b.left; });
    std::vector<Box> characters;
    for (const Box& glyph : glyphs) {
        if (!characters.empty() && glyph.left < characters.back().right)
            characters.back().unite(glyph);
        else
            characters.push_back(glyph);
    }
    std::vector<int> gaps;
    for (std::size_t i = 1; i < characters.size(); ++i)
        gaps.push_back(characters[i].left - characters[i - 1].right);
    std::vector<int> heights;
    for (const Box& character : characters)
        heights.push_back(character.height());
    double space = minimumWordSpace;
    if (!heights.empty()) {
        std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2),
                         heights.end());
        space = std::max(space, wordSpace * heights[heights.size() / 2]);
    }
    if (!gaps.empty()) {
        std::vector<int> sorted = gaps;
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                         sorted.end());
        space = std::max(space, sorted[sorted.size() / 2] + letterGapMargin);
    }
    std::vector<QRect> words;
    Box word = characters.empty() ? Box{} : characters.front();
    for (std::size_t i = 1; i < characters.size(); ++i) {
        if (gaps[i - 1] >= space) {
            words.push_back(word.rect());
            word = characters[i];
        } else {
            word.unite(characters[i]);
        }
    }
    if (!characters.empty())
        words.push_back(word.rect());
    return words;
}

// How much the contrast of a line read at its own size is stretched for
// the recogniser: so far that its strongest ink turns black (faint grey
// text on a grey panel reads as well as black text), and never further
// than contrastGain. Doubling text that is already dark fattens it: every
// blended pixel along a stroke turns black, and the small gaps inside a
// large character (between the dot and the frame of 门) fill.
double lineGain(const QImage& grey, const QRect& line, int background)
{
    std::array<int, 256> contrasts{};
    int ink = 0;
    const QRect inside = line.intersected(grey.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const std::uint8_t* row = grey.constScanLine(y);
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const int contrast = std::abs(int(row[x]) - background);
            if (contrast > backgroundTolerance) {
                ++contrasts[std::size_t(contrast)];
                ++ink;
            }
        }
    }
    // The contrast that only a few ink pixels exceed, so that a speck of
    // stronger ink does not decide for the whole line.
    int strongest = 255;
    for (int seen = 0; strongest > 0; --strongest) {
        seen += contrasts[std::size_t(strongest)];
        if (seen * 100 >= strongInk * ink)
            break;
    }
    if (ink == 0 || strongest <= 0)
        return contrastGain;
    return std::clamp(255.0 / strongest, 1.0, double(contrastGain));
}

// The cells of a terminal: the lattice its grid rows' glyphs sit on.
TerminalCells::Lattice latticeOf(const std::vector<Run>& lines)
{
    std::vector<QRect> glyphs;
    std::vector<int> heights;
    for (const Run& line : lines) {
        if (!line.grid)
            continue;
        heights.push_back(line.box.height());
        for (const Box& glyph : line.glyphs)
            glyphs.push_back(glyph.rect());
    }
    if (heights.empty())
        return {};
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2),
                     heights.end());
    return TerminalCells::find(glyphs, heights[heights.size() / 2]);
}

// The pixels of `crop` (row by row) that belong to the edge of a filled
// line rather than to its text: within the band between `line` and
// `inner`, those joined to the surroundings outside the line through values
// between the fill and the surroundings that are not the fill itself. The
// fill, and a rim darker or lighter than both (an outline), hold it off.
std::vector<bool> shapeEdgeOf(const QImage& grey, const QRect& crop, const QRect& line,
                              const QRect& inner, int fill, int around)
{
    const int low = std::min(fill, around) - backgroundTolerance;
    const int high = std::max(fill, around) + backgroundTolerance;
    const auto index = [&crop](int x, int y) {
        return std::size_t(y - crop.top()) * std::size_t(crop.width()) + std::size_t(x - crop.left());
    };
    std::vector<bool> edge(std::size_t(crop.width()) * std::size_t(crop.height()), false);
    // Text that reaches from inside into the band (a descender down to a
    // selected row's lower edge) is text there too, whatever lies beyond.
    std::vector<bool> text(edge.size(), false);
    std::vector<QPoint> queue;
    const auto textColoured = [&](int x, int y) {
        return std::abs(int(grey.constScanLine(y)[x]) - fill) > backgroundTolerance;
    };
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            if (crop.contains(x, y) && textColoured(x, y))
                queue.emplace_back(x, y);
        }
    }
    for (std::size_t next = 0; next < queue.size(); ++next) {
        for (const QPoint step : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
            const QPoint to = queue[next] + step;
            if (line.contains(to) && !inner.contains(to) && crop.contains(to)
                && !text[index(to.x(), to.y())] && textColoured(to.x(), to.y())) {
                text[index(to.x(), to.y())] = true;
                queue.push_back(to);
            }
        }
    }
    queue.clear();
    const auto admits = [&](int x, int y) {
        if (!crop.contains(x, y) || edge[index(x, y)] || inner.contains(x, y)
            || text[index(x, y)])
            return false;
        const int value = grey.constScanLine(y)[x];
        return value >= low && value <= high && std::abs(value - fill) > backgroundTolerance;
    };
    for (int y = crop.top(); y <= crop.bottom(); ++y) {
        for (int x = crop.left(); x <= crop.right(); ++x) {
            if (!line.contains(x, y)
                && std::abs(int(grey.constScanLine(y)[x]) - around) <= backgroundTolerance
                && admits(x, y)) {
                edge[index(x, y)] = true;
                queue.emplace_back(x, y);
            }
        }
    }
    // A line that fills the whole image has no outside in it: its border is
    // where the outside would begin.
    if (queue.empty()) {
        for (int y = crop.top(); y <= crop.bottom(); ++y) {
            for (int x = crop.left(); x <= crop.right(); ++x) {
                const bool border = x == crop.left() || x == crop.right() || y == crop.top()
                    || y == crop.bottom();
                if (border && admits(x, y)) {
                    edge[index(x, y)] = true;
                    queue.emplace_back(x, y);
                }
            }
        }
    }
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const QPoint at = queue[next];
        for (const QPoint step : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
            const QPoint to = at + step;
            if (admits(to.x(), to.y())) {
                edge[index(to.x(), to.y())] = true;
                queue.push_back(to);
            }
        }
    }
    return edge;
}

// Whether a glyph is a terminal's text cursor: a block or an outlined box
// (the cursor of a window without focus) about one cell wide and as high
// as the row. It is no character of the text.
bool isCursor(const QImage& normalized, const Box& glyph, int rowHeight)
{
    const int w = glyph.width();
    const int h = glyph.height();
    if (w < 3 || 10 * h < 7 * rowHeight || 10 * w > 9 * h || 10 * w < 3 * h)
        return false;
    if (glyph.ink * 100 >= 85 * w * h)
        return true;
    const auto inkAt = [&normalized](int x, int y) {
        return normalized.constScanLine(y)[x] < inkThreshold;
    };
    int border = 0;
    int inside = 0;
    for (int y = glyph.top; y < glyph.bottom; ++y) {
        for (int x = glyph.left; x < glyph.right; ++x) {
            const bool edge = x == glyph.left || x == glyph.right - 1 || y == glyph.top
                || y == glyph.bottom - 1;
            (edge ? border : inside) += inkAt(x, y);
        }
    }
    const int perimeter = 2 * (w + h) - 4;
    const int interior = (w - 2) * (h - 2);
    return 10 * border >= 9 * perimeter && 10 * inside <= interior;
}

// A terminal row ending in its text cursor, without it.
void withoutCursor(Run& row, const QImage& normalized)
{
    if (!row.grid || row.glyphs.size() < 2)
        return;
    const auto last = std::max_element(row.glyphs.begin(), row.glyphs.end(),
                                       [](const Box& a, const Box& b) { return a.right < b.right; });
    if (!isCursor(normalized, *last, row.box.height()))
        return;
    // The row keeps its height: the cursor fills the cell, as the row's
    // tallest characters do.
    row.box.ink -= last->ink;
    row.glyphs.erase(last);
    row.box.right = std::max_element(row.glyphs.begin(), row.glyphs.end(), [](const Box& a,
                                                                              const Box& b) {
                        return a.right < b.right;
                    })->right;
}

} // namespace

QImage inSrgb(const QImage& image)
{
    const QColorSpace space = image.colorSpace();
    if (image.isNull() || !space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return image;
    return image.convertedToColorSpace(QColorSpace::SRgb);
}

namespace {

// Pixels of strong colour per thousand above which an image is worth a
// second look through its brightest channel.
constexpr int colouredShare = 2;
constexpr int strongChroma = 64;

// Premultiplied ARGB of a pixel as a 32-bit layout stores it, read without
// converting the whole image first: screenshots arrive as RGB32 and the
// editor's composites as RGBA8888, and a copy of 8 MB per view cost more
// than the grey conversion itself.
struct ArgbPixels {
    static QRgb at(std::uint32_t p) { return p; }
};
struct RgbaPixels {
    static QRgb at(std::uint32_t p)
    {
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
            return (p & 0xff00ff00u) | ((p & 0xffu) << 16) | ((p >> 16) & 0xffu);
        else
            return (p >> 8) | (p << 24);
    }
};

template <typename Pixels, typename ToGrey>
QImage greyOfPixels(const QImage& source, ToGrey toGrey, bool* coloured)
{
    QImage result(source.width(), source.height(), QImage::Format_Grayscale8);
    if (result.isNull())
        return {};
    qint64 strong = 0;
    const int width = source.width();
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(source.constScanLine(y));
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QRgb p = Pixels::at(in[x]);
            out[x] = std::uint8_t(std::min(255, toGrey(p) + 255 - qAlpha(p)));
            if (coloured) {
                const int high = std::max({qRed(p), qGreen(p), qBlue(p)});
                const int low = std::min({qRed(p), qGreen(p), qBlue(p)});
                strong += high - low >= strongChroma;
            }
        }
    }
    if (coloured)
        *coloured = strong * 1000 >= colouredShare * qint64(source.width()) * source.height();
    return result;
}

// `image` (already in sRGB) as 8-bit grey through `toGrey(premultiplied
// pixel)`, the white behind it showing through its transparency; with
// `coloured` told whether enough of it is strongly coloured to matter.
template <typename ToGrey>
QImage greyOfSrgb(const QImage& image, ToGrey toGrey, bool* coloured)
{
    if (image.isNull())
        return {};
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return greyOfPixels<ArgbPixels>(image, toGrey, coloured);
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return greyOfPixels<RgbaPixels>(image, toGrey, coloured);
    default: {
        const QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return converted.isNull() ? QImage()
                                  : greyOfPixels<ArgbPixels>(converted, toGrey, coloured);
    }
    }
}

// Function objects rather than functions, so that the loops inline them.
constexpr auto luminance = [](QRgb p) { return (qRed(p) * 77 + qGreen(p) * 150 + qBlue(p) * 29) >> 8; };
constexpr auto brightest = [](QRgb p) { return std::max({qRed(p), qGreen(p), qBlue(p)}); };

// The brightest of the red, green and blue values of an sRGB image as 8-bit
// grey, transparency flattened onto white; null when the image holds little
// strong colour. Coloured text that luminance hardly tells from its
// background (dark red on a dark terminal) stands out in it; blue on white,
// which it loses, luminance keeps.
QImage brightestOfSrgb(const QImage& image)
{
    bool coloured = false;
    QImage result = greyOfSrgb(image, brightest, &coloured);
    return coloured ? result : QImage();
}

} // namespace

QImage grey(const QImage& image)
{
    // Luminance of the premultiplied colour plus the white showing through.
    return greyOfSrgb(inSrgb(image), luminance, nullptr);
}

QImage darker(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size() || a.format() != QImage::Format_Grayscale8
        || b.format() != QImage::Format_Grayscale8)
        return a;
    QImage result = a.copy();
    if (result.isNull())
        return a;
    const int width = result.width();
    for (int y = 0; y < result.height(); ++y) {
        std::uint8_t* out = result.scanLine(y);
        const std::uint8_t* other = b.constScanLine(y);
        for (int x = 0; x < width; ++x)
            out[x] = std::min(out[x], other[x]);
    }
    return result;
}

Views views(const QImage& image)
{
    // The two views are independent until they are combined: the coloured
    // one is made on a thread of its own, halving the wait on two cores.
    // Both read the image in sRGB, converted once.
    const QImage source = inSrgb(image);
    auto colouredViews = std::async(std::launch::async, [&source] {
        QImage brightest = brightestOfSrgb(source);
        QImage normal = brightest.isNull() ? QImage() : normalized(brightest);
        return std::pair{std::move(brightest), std::move(normal)};
    });
    Views result{greyOfSrgb(source, luminance, nullptr), {}, {}};
    result.normalized = normalized(result.grey);
    auto [brightest, brightestNormalized] = colouredViews.get();
    result.brightest = std::move(brightest);
    if (!result.brightest.isNull() && !result.normalized.isNull())
        result.normalized = darker(result.normalized, brightestNormalized);
    return result;
}

int darkness(const QImage& grey)
{
    qint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const std::uint8_t* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += 255 - row[x];
    }
    const qint64 pixels = qint64(grey.width()) * grey.height();
    return pixels > 0 ? int(sum / pixels) : 0;
}

QImage normalized(const QImage& greyImage)
{
    if (greyImage.isNull() || greyImage.format() != QImage::Format_Grayscale8)
        return {};
    QImage grey = greyImage.copy();
    if (grey.isNull())
        return {};
    const int width = grey.width();
    const int height = grey.height();

    const int columns = (width + blockSize - 1) / blockSize;
    const int rows = (height + blockSize - 1) / blockSize;
    const auto at = [columns](int bx, int by) {
        return std::size_t(by) * std::size_t(columns) + std::size_t(bx);
    };

    // Each block's most frequent grey value is its background when it covers
    // at least half the block (a flat panel showing through). Blocks crowded
    // with strokes take the background of the nearest such block instead.
    std::vector<std::uint8_t> background(std::size_t(columns) * std::size_t(rows));
    std::vector<std::size_t> settled;
    std::vector<bool> known(background.size(), false);
    std::vector<bool> flat(background.size(), false);
    std::vector<bool> pure(background.size(), false);
    std::array<int, 256> histogram{};
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            const int x0 = bx * blockSize;
            const int x1 = std::min(width, x0 + blockSize);
            const int y0 = by * blockSize;
            const int y1 = std::min(height, y0 + blockSize);
            int lowest = 255;
            int highest = 0;
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* row = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x) {
                    ++histogram[row[x]];
                    lowest = std::min(lowest, int(row[x]));
                    highest = std::max(highest, int(row[x]));
                }
            }
            // A gentle gradient (a selected row drawn with one) spreads a
            // flat fill over neighbouring values; they count together, so
            // that a few rows of a gradient outweigh fewer rows of another
            // panel's single value. The fill is the most frequent value of
            // the densest such range (ranges beyond the values present are
            // empty).
            const int first = std::max(0, lowest - gradientSpread);
            const int last = std::min(255, highest + gradientSpread);
            int densest = first;
            int bestCount = -1;
            int near = 0;
            for (int v = std::max(0, first - gradientSpread); v <= first + gradientSpread; ++v)
                near += histogram[std::size_t(v)];
            for (int centre = first; centre <= last; ++centre) {
                if (near > bestCount) {
                    bestCount = near;
                    densest = centre;
                }
                if (centre - gradientSpread >= 0)
                    near -= histogram[std::size_t(centre - gradientSpread)];
                if (centre + gradientSpread + 1 <= 255)
                    near += histogram[std::size_t(centre + gradientSpread + 1)];
            }
            int best = densest;
            for (int v = std::max(0, densest - gradientSpread);
                 v <= std::min(255, densest + gradientSpread); ++v) {
                if (histogram[std::size_t(v)] > histogram[std::size_t(best)])
                    best = v;
            }
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* row = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x)
                    histogram[row[x]] = 0;
            }
            const std::size_t block = at(bx, by);
            background[block] = std::uint8_t(best);
            flat[block] = 2 * bestCount >= (x1 - x0) * (y1 - y0);
            pure[block] = 10 * bestCount >= 9 * (x1 - x0) * (y1 - y0);
        }
    }
    const std::array<std::pair<int, int>, 4> steps{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
    // Panels are found two ways. Somewhere a panel is clear of text over
    // three by three blocks, which even dense bold glyphs are not. And a
    // large area of flat blocks of one value is a panel even where text
    // covers it closely (a terminal); the flat blocks inside one glyph, even
    // a large bold one, are far fewer.
    const auto alike = [&](int bx, int by, std::uint8_t value) {
        return bx >= 0 && by >= 0 && bx < columns && by < rows && flat[at(bx, by)]
            && std::abs(int(background[at(bx, by)]) - int(value)) <= backgroundTolerance;
    };
    const auto clear = [&](int left, int top, std::uint8_t value) {
        for (int y = top; y < top + panelBlocks; ++y) {
            for (int x = left; x < left + panelBlocks; ++x) {
                if (!alike(x, y, value) || !pure[at(x, y)])
                    return false;
            }
        }
        return true;
    };
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            const std::size_t block = at(bx, by);
            if (!pure[block])
                continue;
            bool panel = false;
            for (int dy = 1 - panelBlocks; dy <= 0 && !panel; ++dy) {
                for (int dx = 1 - panelBlocks; dx <= 0 && !panel; ++dx)
                    panel = clear(bx + dx, by + dy, background[block]);
            }
            if (panel) {
                known[block] = true;
                settled.push_back(block);
            }
        }
    }
    std::vector<bool> visited(background.size(), false);
    std::vector<std::size_t> area;
    for (std::size_t start = 0; start < background.size(); ++start) {
        if (!flat[start] || visited[start] || known[start])
            continue;
        area.assign(1, start);
        visited[start] = true;
        for (std::size_t next = 0; next < area.size(); ++next) {
            const int bx = int(area[next] % std::size_t(columns));
            const int by = int(area[next] / std::size_t(columns));
            for (const auto& [dx, dy] : steps) {
                const int nx = bx + dx;
                const int ny = by + dy;
                if (alike(nx, ny, background[start]) && !visited[at(nx, ny)]
                    && !known[at(nx, ny)]) {
                    visited[at(nx, ny)] = true;
                    area.push_back(at(nx, ny));
                }
            }
        }
        int left = columns;
        int right = 0;
        for (const std::size_t block : area) {
            left = std::min(left, int(block % std::size_t(columns)));
            right = std::max(right, int(block % std::size_t(columns)));
        }
        // A selected row of a list is a bar only two or three blocks high
        // whose text breaks it up, but it is long; no stroke of a glyph is.
        const bool bar = area.size() >= barArea && right - left + 1 >= barLength;
        if (area.size() >= largeFlatArea || bar) {
            for (const std::size_t block : area) {
                known[block] = true;
                settled.push_back(block);
            }
        }
    }
    // Grows `settled` breadth first into the unknown neighbours `admits`
    // accepts; `reach` hears of each block reached and the one it came from.
    const auto spread = [&](auto admits, auto reach) {
        for (std::size_t next = 0; next < settled.size(); ++next) {
            const std::size_t block = settled[next];
            const int bx = int(block % std::size_t(columns));
            const int by = int(block / std::size_t(columns));
            for (const auto& [dx, dy] : steps) {
                const int nx = bx + dx;
                const int ny = by + dy;
                if (nx < 0 || ny < 0 || nx >= columns || ny >= rows || known[at(nx, ny)]
                    || !admits(nx, ny, block))
                    continue;
                known[at(nx, ny)] = true;
                reach(at(nx, ny), block);
                settled.push_back(at(nx, ny));
            }
        }
    };
    // A panel extends through the flat blocks of its colour that touch it,
    // also where text keeps it from being three blocks wide (a status bar,
    // a button). Flat blocks not reached (thick strokes) stay unknown.
    spread([&](int nx, int ny, std::size_t from) { return alike(nx, ny, background[from]); },
           [](std::size_t, std::size_t) {});
    // Blocks crowded with text whose most frequent value is still a
    // touching panel's are on that panel (light text filling a selected
    // row), even where another panel is as near.
    spread(
        [&](int nx, int ny, std::size_t from) {
            return std::abs(int(background[at(nx, ny)]) - int(background[from]))
                <= backgroundTolerance;
        },
        [](std::size_t, std::size_t) {});
    // Breadth first from the panels, so every other block gets the
    // background of a nearest panel. Without any panel (a photo, a
    // gradient) every block keeps its own most frequent value.
    spread([](int, int, std::size_t) { return true; },
           [&](std::size_t reached, std::size_t from) { background[reached] = background[from]; });

    // Background, pixel by pixel: what matches its own block's background,
    // and what is joined to such a pixel through pixels that match the same
    // background (a panel's edge reaching into a block of another panel).
    // Light text on a coloured bar next to a light panel matches that
    // panel's colour too, but is not joined to it, so it stays ink.
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    const std::uint8_t* const bits = grey.constBits();
    const std::size_t stride = std::size_t(grey.bytesPerLine());
    std::vector<std::int16_t> carried(pixels, -1); // the background a pixel matches
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + std::size_t(y) * stride;
        const std::size_t blockRow = std::size_t(y / blockSize) * std::size_t(columns);
        std::int16_t* out = carried.data() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            const int value = background[blockRow + std::size_t(x / blockSize)];
            if (std::abs(int(row[x]) - value) <= backgroundTolerance)
                out[x] = std::int16_t(value);
        }
    }
    // The spreading starts from the matching pixels beside one that does
    // not, in row order; the others have no neighbour left to reach.
    std::vector<std::uint32_t> queue;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t index = std::size_t(y) * std::size_t(width) + std::size_t(x);
            if (carried[index] < 0)
                continue;
            const bool open = (x > 0 && carried[index - 1] < 0)
                || (x + 1 < width && carried[index + 1] < 0)
                || (y > 0 && carried[index - std::size_t(width)] < 0)
                || (y + 1 < height && carried[index + std::size_t(width)] < 0);
            if (open)
                queue.push_back(std::uint32_t(index));
        }
    }
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const std::size_t index = queue[next];
        const int x = int(index % std::size_t(width));
        const int y = int(index / std::size_t(width));
        const int value = carried[index];
        const int here = bits[std::size_t(y) * stride + std::size_t(x)];
        // A fill matches its background, or continues a gradient from a
        // neighbour that does, a level or two at a step.
        const auto visit = [&](int nx, int ny) {
            const std::size_t other = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
            const int there = bits[std::size_t(ny) * stride + std::size_t(nx)];
            if (carried[other] < 0
                && (std::abs(there - value) <= backgroundTolerance
                    || (std::abs(there - here) <= gradientStep
                        && std::abs(there - value) <= 2 * backgroundTolerance))) {
                carried[other] = std::int16_t(value);
                queue.push_back(std::uint32_t(other));
            }
        };
        if (x > 0)
            visit(x - 1, y);
        if (x + 1 < width)
            visit(x + 1, y);
        if (y > 0)
            visit(x, y - 1);
        if (y + 1 < height)
            visit(x, y + 1);
    }
    std::vector<std::uint32_t>().swap(queue);

    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = grey.scanLine(y);
        const int by = y / blockSize;
        for (int x = 0; x < width; ++x) {
            const std::size_t index = std::size_t(y) * std::size_t(width) + std::size_t(x);
            if (carried[index] >= 0) {
                row[x] = 255;
                continue;
            }
            // A blend between two backgrounds that meet here (the soft edge
            // of a panel or a rounded corner) is no text either.
            const int value = row[x];
            int low = 256;
            int high = -1;
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                    const int other
                        = carried[std::size_t(ny) * std::size_t(width) + std::size_t(nx)];
                    if (other >= 0) {
                        low = std::min(low, other);
                        high = std::max(high, other);
                    }
                }
            }
            if (high - low > backgroundTolerance && value >= low && value <= high) {
                row[x] = 255;
                continue;
            }
            // So is the outline where two such backgrounds meet, drawn a
            // shade off one of them (a selected row's darker rim against
            // the white list below it): unchecked, it runs the whole row
            // as a rule that joins the lines above and below into one.
            if (high - low > backgroundTolerance
                && std::min(std::abs(value - low), std::abs(value - high))
                    <= 2 * backgroundTolerance) {
                row[x] = 255;
                continue;
            }
            const int contrast
                = std::abs(value - int(background[at(x / blockSize, by)])) * contrastGain;
            row[x] = std::uint8_t(255 - std::min(255, contrast));
        }
    }
    return grey;
}

std::vector<Line> analyse(const QImage& normalized, const RecognitionCancellation& cancellation)
{
    if (normalized.isNull() || normalized.format() != QImage::Format_Grayscale8)
        return {};
    std::vector<Box> glyphs;
    for (const Box& box : components(normalized, cancellation)) {
        if (isText(box))
            glyphs.push_back(box);
    }
    cancellation.throwIfCancelled();
    std::vector<Run> found = mergeFragments(withoutIcons(joinLines(std::move(glyphs))));
    std::erase_if(found, [](const Run& line) {
        return line.box.height() < minimumLineHeight || line.box.ink < minimumLineInk;
    });
    bool terminal = false;
    found = joinGridRows(std::move(found), normalized, &terminal);
    for (Run& row : found)
        withoutCursor(row, normalized);
    // A terminal reads row by row, as joinGridRows leaves it.
    if (!terminal)
        found = readingOrder(std::move(found));
    const TerminalCells::Lattice cells = terminal ? latticeOf(found) : TerminalCells::Lattice{};
    std::vector<Line> result;
    result.reserve(found.size());
    for (Run& run : found) {
        const bool onCells = run.grid && cells.isValid();
        // Cells as wide as the row is high are the pairs that hold Han
        // characters, not the cells of narrow ones.
        const bool narrow = onCells && 10 * cells.width <= 9 * run.box.height()
            && std::none_of(run.glyphs.begin(), run.glyphs.end(),
                            [&cells](const Box& glyph) { return cells.crosses(glyph.rect()); });
        result.push_back(Line{run.box.rect(), wordsOf(std::move(run.glyphs)), run.grid,
                              onCells ? cells : TerminalCells::Lattice{}, narrow});
    }
    return result;
}

std::vector<QRect> lines(const QImage& normalized, const RecognitionCancellation& cancellation)
{
    std::vector<QRect> boxes;
    for (const Line& line : analyse(normalized, cancellation))
        boxes.push_back(line.box);
    return boxes;
}

std::vector<QRect> inkComponents(const QImage& normalized, const QRect& area)
{
    const QRect box = area.intersected(normalized.rect());
    std::vector<QRect> found;
    if (box.isEmpty())
        return found;
    const int width = box.width();
    std::vector<std::uint8_t> seen(std::size_t(width) * std::size_t(box.height()), 0);
    const auto ink
        = [&](int x, int y) { return normalized.constScanLine(y)[x] < inkThreshold; };
    const auto index = [&](int x, int y) {
        return std::size_t(y - box.top()) * std::size_t(width) + std::size_t(x - box.left());
    };
    std::vector<QPoint> stack;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (seen[index(x, y)] || !ink(x, y))
                continue;
            QRect part(x, y, 1, 1);
            seen[index(x, y)] = 1;
            stack.assign(1, QPoint(x, y));
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                part = part.united(QRect(p, QSize(1, 1)));
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = p.x() + dx;
                        const int ny = p.y() + dy;
                        if (!box.contains(nx, ny) || seen[index(nx, ny)] || !ink(nx, ny))
                            continue;
                        seen[index(nx, ny)] = 1;
                        stack.emplace_back(nx, ny);
                    }
                }
            }
            found.push_back(part);
        }
    }
    return found;
}

namespace {

// The columns of `kept` (a line's box and a pixel around) that a thin bar
// runs through from above it to below it: the side of a field's frame, a
// table's rule, the edge of a button around a line. No character of the
// line reaches out of its box, so such ink is none of its text; read, it
// comes out as "|" before a field's text or after a button's label. A bar
// column differs from the columns two pixels to each side on every row, so
// bars up to two pixels thick are found, and the edge between two panels
// (a field's white beside the window's grey) is none.
std::vector<bool> barsThrough(const QImage& grey, const QRect& kept)
{
    std::vector<bool> bars(std::size_t(std::max(0, kept.width())), false);
    if (kept.top() < 1 || kept.bottom() + 1 >= grey.height())
        return bars;
    const auto mark = [&grey](int x, int y) {
        if (x < 2 || x + 2 >= grey.width())
            return false;
        const std::uint8_t* row = grey.constScanLine(y);
        return std::abs(row[x] - row[x - 2]) > backgroundTolerance
            && std::abs(row[x] - row[x + 2]) > backgroundTolerance;
    };
    // Beyond the box the bar may bend by a pixel: a frame's rounded corner.
    const auto near
        = [&mark](int x, int y) { return mark(x - 1, y) || mark(x, y) || mark(x + 1, y); };
    for (int x = std::max(0, kept.left()); x <= std::min(grey.width() - 1, kept.right()); ++x) {
        bool through = near(x, kept.top() - 1) && near(x, kept.bottom() + 1);
        for (int y = kept.top(); through && y <= kept.bottom(); ++y)
            through = mark(x, y);
        bars[std::size_t(x - kept.left())] = through;
    }
    return bars;
}

} // namespace

LineImage lineImage(const QImage& grey, const QRect& line, int minimumHeight)
{
    // Line recognisers read best with about half a line of blank around.
    // The margin stays whole at the image's edges.
    const int margin = std::max(2, line.height() / 2);
    const QRect area = line.adjusted(-margin, -margin, margin, margin);
    const QRect crop = area.intersected(grey.rect());
    if (crop.isEmpty() || grey.format() != QImage::Format_Grayscale8)
        return {};

    // The background is what surrounds the line's ink. When the rim just
    // inside the line is mostly one other flat value, the line is a filled
    // shape (a button) and its fill is the background; the outside then
    // counts as background too.
    std::array<int, 256> outside{};
    std::array<int, 256> rim{};
    int rimCount = 0;
    for (int y = crop.top(); y <= crop.bottom(); ++y) {
        const std::uint8_t* row = grey.constScanLine(y);
        for (int x = crop.left(); x <= crop.right(); ++x) {
            if (!line.contains(x, y))
                ++outside[row[x]];
            else if (x == line.left() || x == line.right() || y == line.top()
                     || y == line.bottom()) {
                ++rim[row[x]];
                ++rimCount;
            }
        }
    }
    const auto mostFrequent = [](const std::array<int, 256>& histogram) {
        return int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    };
    const bool hasOutside = std::accumulate(outside.begin(), outside.end(), 0) > 0;
    const int around = hasOutside ? mostFrequent(outside) : mostFrequent(rim);
    const int fill = mostFrequent(rim);
    // A fill drawn as a gentle gradient (a selected row) spreads over
    // neighbouring values; they count with the most frequent one.
    int fillCount = 0;
    for (int v = std::max(0, fill - backgroundTolerance);
         v <= std::min(255, fill + backgroundTolerance); ++v)
        fillCount += rim[std::size_t(v)];
    const bool filled
        = std::abs(fill - around) > backgroundTolerance && 10 * fillCount >= 6 * rimCount;
    const int background = filled ? fill : around;
    // Inside a filled shape its edge (blending into the surroundings) is
    // background too, and everything outside the shape is. The edge is
    // what joins the outside through values between the fill and the
    // surroundings; text of the surroundings' colour near the edge is held
    // off by the fill around it and stays.
    const QRect inner = filled ? line.adjusted(shapeEdge, shapeEdge, -shapeEdge, -shapeEdge) : line;
    const QRect kept = line.adjusted(-1, -1, 1, 1);
    const std::vector<bool> edge = filled ? shapeEdgeOf(grey, crop, line, inner, fill, around)
                                          : std::vector<bool>();

    // A line scaled up below is blurred by the scaling, and its doubled
    // contrast keeps the strokes firm; one read at its own size keeps the
    // shapes it was drawn with.
    const double gain
        = line.height() < minimumHeight ? contrastGain : lineGain(grey, inner, background);

    const std::vector<bool> bars = barsThrough(grey, kept);

    QImage image(area.size(), QImage::Format_Grayscale8);
    if (image.isNull())
        return {};
    image.fill(255);
    for (int y = crop.top() - area.top(); y <= crop.bottom() - area.top(); ++y) {
        const int sy = area.top() + y;
        const std::uint8_t* in = grey.constScanLine(sy);
        std::uint8_t* out = image.scanLine(y);
        for (int x = crop.left() - area.left(); x <= crop.right() - area.left(); ++x) {
            const int sx = area.left() + x;
            const int value = in[sx];
            const int contrast = std::abs(value - background);
            // The margin is blank whatever lies there: the neighbours of a
            // line (the edge of its field, the line above) are no part of it.
            bool blank = contrast <= backgroundTolerance || !kept.contains(sx, sy)
                || bars[std::size_t(std::clamp(sx - kept.left(), 0, kept.width() - 1))];
            if (filled)
                blank = blank || !line.contains(sx, sy)
                    || edge[std::size_t(sy - crop.top()) * std::size_t(crop.width())
                            + std::size_t(sx - crop.left())];
            out[x] = blank ? 255
                           : std::uint8_t(255 - std::min(255, int(std::lround(contrast * gain))));
        }
    }

    LineImage result{image, area.topLeft(), 1};
    // Very large text (a title, a 2x screen) is read worse at its own size
    // than brought down to the sizes the models know best.
    const int tallest = 2 * minimumHeight;
    if (line.height() < minimumHeight || line.height() > tallest) {
        result.scale = double(line.height() < minimumHeight ? minimumHeight : tallest)
            / line.height();
        // Smooth scaling of a large image splits the work over the global
        // thread pool and blocks until the pieces are done. Lines are read on
        // helper threads while the analysis holds a pool worker waiting for
        // them; with every worker so held the pieces never get a thread, and
        // the analysis, and the exit that waits for it, hang forever. Lending
        // the pool one more thread for the wait lets the pieces run.
        QThreadPool* pool = QThreadPool::globalInstance();
        pool->releaseThread();
        result.image = image.scaled(int(std::lround(area.width() * result.scale)),
                                    int(std::lround(area.height() * result.scale)),
                                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        pool->reserveThread();
        if (result.image.isNull())
            return {};
    }
    return result;
}

namespace {

// The ink of each row of a line's box within the image, top to bottom;
// none where the box misses the image or the image is not grey.
std::vector<double> inkRows(const QImage& normalized, const QRect& line)
{
    const QRect box = line.intersected(normalized.rect());
    if (box.isEmpty() || normalized.format() != QImage::Format_Grayscale8)
        return {};
    std::vector<double> rows(std::size_t(box.height()), 0.0);
    for (int y = 0; y < box.height(); ++y) {
        const std::uint8_t* row = normalized.constScanLine(box.top() + y);
        for (int x = box.left(); x <= box.right(); ++x)
            rows[std::size_t(y)] += 255 - row[x];
    }
    return rows;
}

} // namespace

double inkAbove(const QImage& normalized, const QRect& line)
{
    const std::vector<double> rows = inkRows(normalized, line);
    const double total = std::accumulate(rows.begin(), rows.end(), 0.0);
    const auto topEnd = rows.begin() + std::ptrdiff_t(rows.size() * 3 / 10);
    return total > 0 ? std::accumulate(rows.begin(), topEnd, 0.0) / total : 0;
}

double inkSpan(const QImage& normalized, const QRect& line)
{
    const std::vector<double> rows = inkRows(normalized, line);
    const double total = std::accumulate(rows.begin(), rows.end(), 0.0);
    if (total <= 0)
        return 0;
    const int height = int(rows.size());
    double sum = 0;
    int first = -1;
    int last = height - 1;
    for (int y = 0; y < height; ++y) {
        sum += rows[std::size_t(y)];
        if (first < 0 && sum >= 0.1 * total)
            first = y;
        if (sum >= 0.9 * total) {
            last = y;
            break;
        }
    }
    return double(last - first + 1) / height;
}

std::pair<int, int> inkRows(const QImage& grey)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        if (std::any_of(row, row + grey.width(), [](uchar v) { return v < 128; })) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    return {top, bottom};
}

int blankWidth(const QImage& normalized, int top, int bottom, int fromX, int toX)
{
    top = std::max(0, top);
    bottom = std::min(normalized.height(), bottom);
    fromX = std::max(0, fromX);
    toX = std::min(normalized.width(), toX);
    int widest = 0;
    int run = 0;
    for (int x = fromX; x < toX; ++x) {
        bool blank = true;
        for (int y = top; y < bottom && blank; ++y)
            blank = normalized.constScanLine(y)[x] >= inkThreshold;
        run = blank ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    return widest;
}

} // namespace kelpie::TextLayout
