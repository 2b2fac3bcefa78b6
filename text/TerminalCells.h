#pragma once

#include "text/TextAnalysis.h"

#include <QImage>
#include <QRect>

#include <optional>
#include <vector>

namespace kelpie {

// The character cells of a terminal. A terminal draws every character in a
// cell of one fixed width on one lattice, so where the cells are is known
// from the ink alone: each character's ink lies inside its own cell, a
// blank cell is a typed space, and small marks can be told from their shape
// in the cell (two dots one above the other are a colon, one dot on the
// baseline is a full stop). Line recognisers trained on smooth type misread
// exactly these marks in small bitmap fonts (a colon between digits as "3",
// a full stop as a comma) and guess spaces from blank widths that a
// terminal's narrow letters in wide cells make ambiguous; the cells settle
// both.
class TerminalCells {
public:
    // A lattice of cells `width` pixels wide whose boundaries lie at
    // `origin` + k × `width`.
    struct Lattice {
        int width = 0;
        int origin = 0;

        bool isValid() const { return width > 0; }
        int cellOf(double x) const;
        // Whether ink spanning `box` runs over a cell boundary.
        bool crosses(const QRect& box) const;
        QRect cell(int index, const QRect& line) const;
    };

    // The lattice that the ink components (`glyphs`, boxes of a normalised
    // image) of text rows `rowHeight` pixels high sit on, when there is one:
    // the narrowest cell width, not below a fifth of the row height, for which
    // nearly no narrow component crosses a cell boundary (wide characters take
    // two cells and are not counted). Invalid for proportional type or too
    // little ink to tell.
    static Lattice find(const std::vector<QRect>& glyphs, int rowHeight);

    // A recogniser's reading of one terminal row, fitted to its cells:
    // `glyphs` (one character each, boxes in the normalised image's pixels)
    // are paired with the cells that hold ink in `line`, in order when there
    // are as many of each, else by where each glyph lies when the counts
    // differ by a few (a character split in two glyphs keeps its one cell,
    // as their joined text; a cell no glyph lies over must show a mark).
    // Each takes its cell as its box, starts a word exactly when a blank
    // cell comes before it, and is replaced by the mark its cell's ink
    // plainly shows (colon, semicolon, full stop, comma, tilde, underscore,
    // apostrophe).
    // Ink running over cell walls (letters that touch, an underline) is cut
    // at the walls; an underline alone under a cell leaves it blank.
    // Empty when the reading does not fit the cells: counts too far apart,
    // glyphs that do not lie over their cells, or a character of a wide
    // script.
    static std::optional<std::vector<TextAnalysis::Glyph>> fit(
        const QImage& normalized, const QRect& line, const Lattice& lattice,
        const std::vector<TextAnalysis::Glyph>& glyphs);

    // The mark a cell's ink components show on its own, or 0: `parts` are
    // the components' boxes in `normalized`, `baseline` the row on which
    // letters stand (one past their lowest ink row) and `height` the height
    // of the row's ink.
    static char32_t markOf(const QImage& normalized, const std::vector<QRect>& parts, int baseline,
                           int height, int cellWidth);

    // Whether a component of a cell is a tilde as small bitmap fonts draw
    // it: a low broken wave above the baseline.
    static bool isTilde(const QImage& normalized, const QRect& part, int baseline, int height,
                        int cellWidth);

    // How far the middle of a component's top ink row lies to the right of
    // its bottom row's, in pixels: a comma leans, a dot does not.
    static double slantOf(const QImage& normalized, const QRect& part);

    // What a cell of a terminal row holds: nothing; a narrow character
    // (ink that runs over neither wall of the cell and stays lower than the
    // row's wide characters); part of a wide character (ink running over a
    // wall, as high as the wide characters on one side at least); or ink
    // that may be either: alone in its cell but as high (a bracket, or a Han
    // character whose strokes leave its middle wall blank, as 儿's do), or
    // running over a wall and lower on both sides (letters that touch, or a
    // flat Han character such as 口).
    enum class CellInk { blank, narrow, wide, tall, joined };

    // The cells of a terminal row from the one holding `line`'s left edge,
    // or none when the row shows too few wide characters for their height
    // to be known: the height is the median over the cell pairs whose ink
    // runs over the wall between them, pixel to pixel, as a wide
    // character's does in its middle.
    static std::vector<CellInk> cellInkOf(const QImage& normalized, const QRect& line,
                                          const Lattice& lattice);

    // Places the narrow characters of a row with wide characters in their
    // cells, where that is certain: in each stretch of cells between wide
    // ones (or ink that may be wide), the glyphs whose middles lie in it
    // take its inked cells in order when they are single narrow
    // characters, as many as the cells. `cells` are cellInkOf's for the
    // row, from the cell holding `line`'s left edge; glyph boxes are in the
    // normalised image's pixels. Returns how many glyphs were placed.
    static int placeNarrowRuns(std::vector<TextAnalysis::Glyph>& glyphs,
                               const std::vector<CellInk>& cells, const QRect& line,
                               const Lattice& lattice);
};

} // namespace kelpie
