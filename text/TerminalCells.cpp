#include "text/TerminalCells.h"

#include "text/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace kelpie {

namespace {

// Cell pairs whose ink runs across their wall that a row needs before the
// height of its wide characters is known.
constexpr std::size_t minimumWidePairs = 3;
// The widest a narrow cell is against the height of the wide characters
// (about 0.6 in terminal fonts).
constexpr double narrowCellShare = 0.8;

// Components that cross a boundary of the true lattice are rare (bold
// overhangs, underlines, frames): at most this share of them.
constexpr double crossingShare = 0.06;
// Fewer components than this cannot tell a lattice from chance.
constexpr std::size_t minimumComponents = 24;
// A dot of a colon or a full stop is at most this share of the row's ink
// height high and this share of a cell wide.
constexpr double dotHeight = 0.3;
constexpr double dotWidth = 0.6;
// A comma is at most this share of the row's ink height high.
constexpr double commaHeight = 0.45;
// A tilde is at most the first share of the row's ink height high, and at
// least the second above the baseline.
constexpr double tildeHeight = 0.35;
constexpr double tildeClearance = 0.25;
// An apostrophe ends at least this share of the row's ink height above
// the baseline.
constexpr double apostropheClearance = 0.4;
// An underscore is at most this share of the row's ink height high and at
// least this share of a cell wide.
constexpr double underscoreHeight = 0.15;
constexpr double underscoreWidth = 0.6;
// An underscore lies at most this share of the row's height below its
// lowest ink.
constexpr double underscoreDrop = 0.4;
// Ink wider than this many cells is no character of a narrow script.
constexpr double widestInk = 1.6;
// A row of this many inked cells may have this many glyphs more or fewer:
// characters the recogniser split in two, marks it passed over.
std::size_t mostSplits(std::size_t cells) { return std::max<std::size_t>(2, cells / 10); }

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

bool singleCharacter(const QString& text) { return text.toUcs4().size() == 1; }

bool flat(const QRect& part, int height)
{
    return part.height() <= std::max(2.0, underscoreHeight * height);
}

// Whether a piece of ink lies in the lowest quarter of its row, where an
// underline runs (a dash or the bars of an equals sign lie higher).
bool lowInRow(const QRect& part, const QRect& line)
{
    return 4 * (part.top() - line.top()) >= 3 * line.height();
}

// The ink components of a row by the cell each lies in. Small type drawn
// smoothly touches its neighbours ("rn", bold capitals, an underscore
// between letters), and an underline runs under several cells, so a
// component wider than a character is cut at the cell walls into the
// pieces each cell holds. A flat piece alone in its cell is an underline's
// under a blank, not ink, unless the recogniser read an underscore there.
std::map<int, std::vector<QRect>> inkedCells(
    const QImage& normalized, const QRect& line, const TerminalCells::Lattice& lattice,
    const std::vector<TextAnalysis::Glyph>& glyphs)
{
    std::map<int, std::vector<QRect>> cells;
    std::set<int> underlined;
    const auto cellOfPart = [&lattice](const QRect& part) {
        return lattice.cellOf(part.left() + part.width() / 2.0);
    };
    for (const QRect& part : TextLayout::inkComponents(normalized, line)) {
        if (part.width() <= widestInk * lattice.width) {
            cells[cellOfPart(part)].push_back(part);
            continue;
        }
        for (int index = lattice.cellOf(part.left()); index <= lattice.cellOf(part.right());
             ++index) {
            const QRect cut = part.intersected(lattice.cell(index, line));
            for (const QRect& piece : TextLayout::inkComponents(normalized, cut)) {
                std::vector<QRect>& held = cells[cellOfPart(piece)];
                if (std::find(held.begin(), held.end(), piece) != held.end())
                    continue; // a component of its own inside the cut one's box
                held.push_back(piece);
                if (flat(piece, line.height()) && lowInRow(piece, line))
                    underlined.insert(cellOfPart(piece));
            }
        }
    }
    // An underscore some fonts draw a few pixels below the row's lowest
    // ink, where the layout does not count it to the row: a flat bar of
    // about a cell's width wholly inside that strip, apart from the next
    // row's letters.
    const int reach = std::max(2, int(std::lround(underscoreDrop * line.height())));
    const QRect below(line.left(), line.bottom() + 1, line.width(), line.height());
    for (const QRect& part : TextLayout::inkComponents(normalized, below)) {
        if (part.bottom() <= line.bottom() + reach && flat(part, line.height())
            && part.width() >= underscoreWidth * lattice.width
            && part.width() <= widestInk * lattice.width) {
            cells[cellOfPart(part)].push_back(part);
        }
    }
    for (const int index : underlined) {
        const std::vector<QRect>& held = cells[index];
        const bool onlyFlat = std::all_of(held.begin(), held.end(), [&](const QRect& part) {
            return flat(part, line.height()) && lowInRow(part, line);
        });
        const bool readAsUnderscore
            = std::any_of(glyphs.begin(), glyphs.end(), [&](const TextAnalysis::Glyph& glyph) {
                  return glyph.text == QLatin1String("_")
                      && lattice.cellOf(glyph.box.midX()) == index;
              });
        if (onlyFlat && !readAsUnderscore)
            cells.erase(index);
    }
    return cells;
}

// The glyphs that a cell holds.
struct Placement {
    int cell = 0;
    std::vector<const TextAnalysis::Glyph*> glyphs;
};

// The glyphs of a row paired with its inked cells: in order when there are
// as many of each. Otherwise, when the counts differ by a few (a recogniser
// may split one character in two, "0" as "QO", or pass over a mark such as
// an underscore), by where each glyph's box lies: every glyph must lie over
// an inked cell, at most two over one; a cell left without a glyph is one
// the caller must read from its ink. Empty when neither works.
std::optional<std::vector<Placement>> place(const std::vector<TextAnalysis::Glyph>& glyphs,
                                            const std::map<int, std::vector<QRect>>& cells,
                                            const TerminalCells::Lattice& lattice)
{
    std::vector<Placement> placements;
    if (cells.size() == glyphs.size()) {
        auto cell = cells.begin();
        for (const TextAnalysis::Glyph& glyph : glyphs)
            placements.push_back({(cell++)->first, {&glyph}});
        return placements;
    }
    // A few split or missed characters, not a lattice that is too coarse
    // for the row.
    const std::size_t difference = glyphs.size() > cells.size() ? glyphs.size() - cells.size()
                                                                : cells.size() - glyphs.size();
    if (difference > mostSplits(cells.size()))
        return std::nullopt;
    // A glyph whose box the recogniser put out of order with its
    // neighbours' takes the first inked cell after the one before it, when
    // that lies before the next one's.
    std::vector<int> at;
    for (const TextAnalysis::Glyph& glyph : glyphs)
        at.push_back(lattice.cellOf(glyph.box.midX()));
    for (std::size_t k = 0; k < at.size(); ++k) {
        const bool afterNext = k + 1 < at.size() && at[k] > at[k + 1];
        const bool beforePrevious = k > 0 && at[k] < at[k - 1];
        if (!afterNext && !beforePrevious)
            continue;
        const auto first = k > 0 ? cells.upper_bound(at[k - 1]) : cells.begin();
        if (first != cells.end() && (k + 1 == at.size() || first->first < at[k + 1]))
            at[k] = first->first;
    }
    for (std::size_t k = 0; k < glyphs.size(); ++k) {
        const TextAnalysis::Glyph& glyph = glyphs[k];
        const int index = at[k];
        if (!cells.contains(index))
            return std::nullopt;
        if (!placements.empty() && placements.back().cell == index) {
            if (placements.back().glyphs.size() == 2)
                return std::nullopt;
            placements.back().glyphs.push_back(&glyph);
        } else if (placements.empty() || placements.back().cell < index) {
            placements.push_back({index, {&glyph}});
        } else {
            return std::nullopt;
        }
    }
    // Every inked cell in order, those that no glyph lies over with none.
    std::vector<Placement> all;
    auto placed = placements.begin();
    for (const auto& [index, parts] : cells) {
        if (placed != placements.end() && placed->cell == index)
            all.push_back(*placed++);
        else
            all.push_back({index, {}});
    }
    return all;
}

// Two glyphs over one cell beside an inked cell that no glyph lies over
// and that shows no mark: the recogniser boxed one of them a cell off
// ("=O" over the "=" of "=ON"), and it goes to the cell beside.
void shareDoubledCells(std::vector<Placement>& placements,
                       const std::function<char32_t(int)>& markIn)
{
    for (std::size_t i = 0; i < placements.size(); ++i) {
        Placement& empty = placements[i];
        if (!empty.glyphs.empty() || markIn(empty.cell) != 0)
            continue;
        if (i > 0 && placements[i - 1].cell == empty.cell - 1
            && placements[i - 1].glyphs.size() == 2) {
            empty.glyphs.push_back(placements[i - 1].glyphs.back());
            placements[i - 1].glyphs.pop_back();
        } else if (i + 1 < placements.size() && placements[i + 1].cell == empty.cell + 1
                   && placements[i + 1].glyphs.size() == 2) {
            empty.glyphs.push_back(placements[i + 1].glyphs.front());
            placements[i + 1].glyphs.erase(placements[i + 1].glyphs.begin());
        }
    }
}

// A letter read twice over its one cell in both cases ("kK" in "kKsync"):
// the letter in its neighbours' case, or empty when the cell holds
// anything else.
QString caseDoubleOf(const std::vector<Placement>& placements, std::size_t p)
{
    const std::vector<const TextAnalysis::Glyph*>& glyphs = placements[p].glyphs;
    if (glyphs.size() != 2 || glyphs[0]->text.size() != 1 || glyphs[1]->text.size() != 1)
        return {};
    const QChar first = glyphs[0]->text[0];
    const QChar second = glyphs[1]->text[0];
    if (!first.isLetter() || first == second || first.toLower() != second.toLower())
        return {};
    // The letter a neighbouring cell holds alone, if it holds one.
    const auto letterIn = [&placements](std::size_t at) -> QChar {
        const std::vector<const TextAnalysis::Glyph*>& beside = placements[at].glyphs;
        if (beside.size() != 1 || beside.front()->text.size() != 1)
            return {};
        const QChar c = beside.front()->text[0];
        return c.isLetter() ? c : QChar();
    };
    const QChar before = p > 0 ? letterIn(p - 1) : QChar();
    const QChar after = p + 1 < placements.size() ? letterIn(p + 1) : QChar();
    if (before.isLower() || after.isLower())
        return first.toLower();
    if (before.isUpper() || after.isUpper())
        return first.toUpper();
    return {};
}

} // namespace

int TerminalCells::Lattice::cellOf(double x) const { return int(std::floor((x - origin) / width)); }

bool TerminalCells::Lattice::crosses(const QRect& box) const
{
    return floorDiv(box.left() - origin, width) != floorDiv(box.right() - origin, width);
}

QRect TerminalCells::Lattice::cell(int index, const QRect& line) const
{
    return QRect(origin + index * width, line.top(), width, line.height());
}

TerminalCells::Lattice TerminalCells::find(const std::vector<QRect>& glyphs, int rowHeight)
{
    if (glyphs.size() < minimumComponents || rowHeight <= 0)
        return {};
    const int narrowest = std::max(3, rowHeight / 5);
    const int widest = std::max(narrowest, rowHeight * 6 / 5);
    // Components wider than a cell or than most Latin letters (a wide
    // character or the larger parts of one, an underline) cross boundaries on
    // any lattice and are not counted; most components must be narrower.
    const auto crossings = [&glyphs, rowHeight](int width, int origin, std::size_t* counted) {
        std::size_t count = 0;
        *counted = 0;
        for (const QRect& glyph : glyphs) {
            if (glyph.width() > width || 10 * glyph.width() > 6 * rowHeight)
                continue;
            ++*counted;
            count += Lattice{width, origin}.crosses(glyph);
        }
        return count;
    };
    // Any multiple of the true width fits as well as the true width; the
    // narrowest width that fits is the cell.
    for (int width = narrowest; width <= widest; ++width) {
        std::size_t best = glyphs.size() + 1;
        std::size_t bestCounted = 0;
        int bestOrigin = 0;
        for (int origin = 0; origin < width; ++origin) {
            std::size_t counted = 0;
            const std::size_t count = crossings(width, origin, &counted);
            if (count < best) {
                best = count;
                bestCounted = counted;
                bestOrigin = origin;
            }
        }
        if (10 * bestCounted >= 6 * glyphs.size() && bestCounted >= minimumComponents
            && double(best) <= crossingShare * double(bestCounted)) {
            return Lattice{width, bestOrigin};
        }
    }
    return {};
}

bool TerminalCells::isTilde(const QImage& normalized, const QRect& part, int baseline, int height,
                            int cellWidth)
{
    // Runs of ink along one row of the component.
    const auto runs = [&](int y) {
        int count = 0;
        bool inside = false;
        for (int x = part.left(); x <= part.right(); ++x) {
            const bool ink = normalized.valid(x, y)
                && normalized.constScanLine(y)[x] < TextLayout::inkThreshold;
            count += ink && !inside;
            inside = ink;
        }
        return count;
    };
    // A low wave across most of the cell, clear of the baseline: its top
    // and bottom rows are broken (a dash or a bar is solid, a caret's top
    // is one point).
    return part.height() >= 2 && part.height() <= tildeHeight * height
        && 2 * part.width() >= cellWidth && part.bottom() + 1 <= baseline - tildeClearance * height
        && runs(part.top()) >= 2 && runs(part.bottom()) >= 2;
}

double TerminalCells::slantOf(const QImage& normalized, const QRect& part)
{
    const auto middleOfRow = [&](int y) {
        double sum = 0;
        int count = 0;
        for (int x = part.left(); x <= part.right(); ++x) {
            if (normalized.valid(x, y)
                && normalized.constScanLine(y)[x] < TextLayout::inkThreshold) {
                sum += x;
                ++count;
            }
        }
        return count ? sum / count : 0.0;
    };
    return middleOfRow(part.top()) - middleOfRow(part.bottom());
}

char32_t TerminalCells::markOf(const QImage& normalized, const std::vector<QRect>& parts,
                               int baseline, int height, int cellWidth)
{
    // A dot is small, no taller than wide and upright (a square, a round
    // dot, a diamond); a comma is taller than wide or leans, its foot to the
    // left of its head, and reaches below the baseline.
    const auto isDot = [&](const QRect& r) {
        return r.height() <= std::max(2.0, dotHeight * height)
            && r.width() <= std::max(2.0, dotWidth * cellWidth) && r.height() <= r.width()
            && std::abs(slantOf(normalized, r)) < 1;
    };
    // On the baseline: its lowest ink row is the letters' lowest, give or
    // take a pixel.
    const auto onBaseline
        = [&](const QRect& r) { return std::abs(r.bottom() + 1 - baseline) <= 1; };
    const auto isComma = [&](const QRect& r) {
        return r.height() <= commaHeight * height && r.width() <= dotWidth * cellWidth + 1
            && r.bottom() + 1 >= baseline + 1 && r.top() <= baseline
            && (r.height() > r.width() || slantOf(normalized, r) >= 1);
    };
    // A flat bar across most of the cell, on the baseline or below it.
    const auto isUnderscore = [&](const QRect& r) {
        return r.height() <= std::max(2.0, underscoreHeight * height)
            && r.width() >= underscoreWidth * cellWidth && r.top() >= baseline - 1;
    };
    // A short upright stroke high in the cell: a typewriter apostrophe,
    // which recognisers read as a curly quote (one that leans is one).
    const auto isApostrophe = [&](const QRect& r) {
        return r.height() > r.width() && r.height() <= commaHeight * height
            && r.width() <= dotWidth * cellWidth + 1
            && r.bottom() + 1 <= baseline - apostropheClearance * height
            && std::abs(slantOf(normalized, r)) < 1;
    };
    if (parts.size() == 1) {
        const QRect& only = parts.front();
        if (isDot(only) && onBaseline(only))
            return U'.';
        if (isComma(only))
            return U',';
        if (isTilde(normalized, only, baseline, height, cellWidth))
            return U'~';
        if (isUnderscore(only))
            return U'_';
        if (isApostrophe(only))
            return U'\'';
        return 0;
    }
    if (parts.size() != 2)
        return 0;
    QRect upper = parts[0];
    QRect lower = parts[1];
    if (lower.top() < upper.top())
        std::swap(upper, lower);
    const bool stacked = upper.bottom() < lower.top() && upper.left() <= lower.right()
        && lower.left() <= upper.right();
    if (!stacked || !isDot(upper) || upper.bottom() + 1 >= baseline - 1)
        return 0;
    if (isDot(lower) && onBaseline(lower))
        return U':';
    if (isComma(lower))
        return U';';
    return 0;
}

std::optional<std::vector<TextAnalysis::Glyph>> TerminalCells::fit(
    const QImage& normalized, const QRect& line, const Lattice& lattice,
    const std::vector<TextAnalysis::Glyph>& glyphs)
{
    if (!lattice.isValid() || glyphs.empty() || line.isEmpty())
        return std::nullopt;
    for (const TextAnalysis::Glyph& glyph : glyphs) {
        if (!singleCharacter(glyph.text) || TextAnalysis::isCjk(glyph.text.toUcs4().front()))
            return std::nullopt;
    }
    const std::map<int, std::vector<QRect>> cells = inkedCells(normalized, line, lattice, glyphs);
    std::map<int, int> bottoms; // lowest ink row of tall components, by count
    for (const auto& [index, parts] : cells) {
        for (const QRect& part : parts) {
            if (2 * part.height() >= line.height())
                ++bottoms[part.bottom() + 1];
        }
    }
    std::optional<std::vector<Placement>> placements = place(glyphs, cells, lattice);
    if (!placements) {
        return std::nullopt;
    }
    int baseline = line.bottom() + 1;
    int most = 0;
    for (const auto& [bottom, count] : bottoms) {
        if (count > most) {
            most = count;
            baseline = bottom;
        }
    }
    const auto markIn = [&](int index) {
        return markOf(normalized, cells.at(index), baseline, line.height(), lattice.width);
    };
    if (placements)
        shareDoubledCells(*placements, markIn);

    std::vector<TextAnalysis::Glyph> fitted;
    fitted.reserve(placements->size());
    int previous = 0;
    for (std::size_t p = 0; p < placements->size(); ++p) {
        const Placement& placement = (*placements)[p];
        const int index = placement.cell;
        TextAnalysis::Glyph placed;
        placed.text = caseDoubleOf(*placements, p);
        if (placed.text.isEmpty()) {
            for (const TextAnalysis::Glyph* glyph : placement.glyphs)
                placed.text += glyph->text;
        }
        if (const char32_t mark
            = markOf(normalized, cells.at(index), baseline, line.height(), lattice.width))
            placed.text = QString::fromUcs4(&mark, 1);
        else if (placement.glyphs.empty()) {
            return std::nullopt; // ink the recogniser passed over, not a mark
        }
        const QRect box = lattice.cell(index, line);
        placed.box = Rect(box.x(), box.y(), box.width(), box.height());
        placed.startsWord = !fitted.empty() && index > previous + 1;
        fitted.push_back(std::move(placed));
        previous = index;
    }
    return fitted;
}

std::vector<TerminalCells::CellInk> TerminalCells::cellInkOf(const QImage& normalized,
                                                             const QRect& line,
                                                             const Lattice& lattice)
{
    if (!lattice.isValid() || normalized.isNull())
        return {};
    const QRect row = line.intersected(normalized.rect());
    if (row.isEmpty())
        return {};
    const auto ink = [&normalized](int x, int y) {
        return normalized.constScanLine(y)[x] < TextLayout::inkThreshold;
    };
    const int first = lattice.cellOf(row.left());
    const int count = lattice.cellOf(row.right()) - first + 1;
    std::vector<int> heights(std::size_t(count), 0);
    // crossed[k]: ink runs over the wall on the left of cell k.
    std::vector<bool> crossed(std::size_t(count) + 1, false);
    for (int k = 0; k < count; ++k) {
        const QRect cell = lattice.cell(first + k, row).intersected(row);
        int top = cell.bottom() + 1;
        int bottom = cell.top() - 1;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                if (ink(x, y)) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                    break;
                }
            }
        }
        heights[std::size_t(k)] = std::max(0, bottom - top + 1);
        const int wall = cell.left();
        if (k == 0 || wall <= row.left())
            continue;
        for (int y = row.top(); y <= row.bottom() && !crossed[std::size_t(k)]; ++y) {
            if (!ink(wall, y))
                continue;
            for (int dy = -1; dy <= 1; ++dy) {
                if (y + dy >= row.top() && y + dy <= row.bottom() && ink(wall - 1, y + dy))
                    crossed[std::size_t(k)] = true;
            }
        }
    }
    // The height of the row's wide characters: the median over the cell
    // pairs whose ink runs over the wall between them.
    std::vector<int> wide;
    for (int k = 1; k < count; ++k) {
        if (crossed[std::size_t(k)])
            wide.push_back(std::max(heights[std::size_t(k - 1)], heights[std::size_t(k)]));
    }
    if (wide.size() < minimumWidePairs)
        return {};
    std::nth_element(wide.begin(), wide.begin() + std::ptrdiff_t(wide.size() / 2), wide.end());
    const int wideHeight = wide[wide.size() / 2];
    // A wide character is two cells wide and about as high as that: cells
    // as wide as its height are a lattice of wide characters, found where a
    // screen shows few narrow ones, and tell nothing of narrow cells.
    if (lattice.width > narrowCellShare * wideHeight)
        return {};
    const int narrowHeight = wideHeight - std::max(2, wideHeight / 8);

    std::vector<CellInk> result(std::size_t(count), CellInk::blank);
    for (int k = 0; k < count; ++k) {
        const auto at = std::size_t(k);
        if (heights[at] == 0)
            continue;
        // Cells whose ink runs into each other are taken as one character's,
        // as high as the higher of them: a wide character's (加, whose 口 is
        // low, too), or narrow ones that touch (letters, or a narrow
        // character beside a wide one) where neither is high.
        int height = heights[at];
        if (crossed[at])
            height = std::max(height, heights[at - 1]);
        if (crossed[at + 1] && at + 1 < heights.size())
            height = std::max(height, heights[at + 1]);
        const bool high = height > narrowHeight;
        if (crossed[at] || crossed[at + 1])
            result[at] = high ? CellInk::wide : CellInk::joined;
        else
            result[at] = high ? CellInk::tall : CellInk::narrow;
    }
    return result;
}

int TerminalCells::placeNarrowRuns(std::vector<TextAnalysis::Glyph>& glyphs,
                                   const std::vector<CellInk>& cells, const QRect& line,
                                   const Lattice& lattice)
{
    if (!lattice.isValid() || cells.empty())
        return 0;
    const int first = lattice.cellOf(line.left());
    const auto cellIndex = [&](double x) { return lattice.cellOf(x) - first; };
    int placed = 0;
    std::size_t start = 0;
    while (start < cells.size()) {
        // A stretch of narrow and blank cells.
        std::size_t end = start;
        while (end < cells.size()
               && (cells[end] == CellInk::narrow || cells[end] == CellInk::blank))
            ++end;
        if (end == start) {
            ++start;
            continue;
        }
        std::vector<std::size_t> inked;
        for (std::size_t k = start; k < end; ++k) {
            if (cells[k] == CellInk::narrow)
                inked.push_back(k);
        }
        std::vector<std::size_t> inside;
        bool certain = true;
        for (std::size_t g = 0; g < glyphs.size(); ++g) {
            const int k = cellIndex(glyphs[g].box.midX());
            if (k < int(start) || k >= int(end))
                continue;
            const QList<uint> text = glyphs[g].text.toUcs4();
            certain = certain && text.size() == 1 && !TextAnalysis::isCjk(char32_t(text.front()));
            inside.push_back(g);
        }
        if (certain && !inside.empty() && inside.size() == inked.size()) {
            for (std::size_t i = 0; i < inside.size(); ++i) {
                const QRect cell = lattice.cell(first + int(inked[i]), line);
                Rect& box = glyphs[inside[i]].box;
                box = Rect(cell.left(), box.minY(), cell.width(), box.height());
            }
            placed += int(inside.size());
        }
        start = end;
    }
    return placed;
}

} // namespace kelpie
