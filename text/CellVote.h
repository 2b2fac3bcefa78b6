#pragma once

#include "text/TerminalCells.h"
#include "text/TextAnalysis.h"

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

namespace kelpie {

// A terminal draws every character from one font at one size into cells of
// one lattice, so a character looks the same, pixel for pixel, wherever it
// appears on the screen. A line recogniser reads each row on its own and
// may read one picture differently in different rows: a zero as "O" in a
// hash, a one as "i", a slash as a quote. Where a cell's picture appears
// several times and its readings mostly agree, the few readings that
// disagree take the reading of the rest.
class CellVote {
public:
    // A row of a terminal as read: its line, the box of its ink in the
    // normalised image and the lattice of its cells.
    struct Row {
        TextAnalysis::Line* line = nullptr;
        QRect box;
        TerminalCells::Lattice cells;
    };

    // A picture needs at least this many readings that agree, and twice as
    // many as a reading that differs, to overrule it (unless that reading
    // belongs to another picture).
    static constexpr int quorum = 2;

    // The readings the recogniser weighed for a character of the row at an
    // index of the rows given to settle (none where it cannot tell).
    using Alternatives = std::function<std::vector<TextAnalysis::Choice>(
        std::size_t row, const TextAnalysis::Character& character)>;

    // A picture the vote leaves in doubt takes the reading its readings
    // weighed as likeliest in all, when that is this likely on average.
    static constexpr double likelyEnough = 50;

    // Settles the characters that sit in a cell of their own (narrow
    // characters, as TerminalCells::fit and TerminalCells::placeNarrowRuns
    // place them), keeping the texts of their words and lines in step.
    // Other characters (wide ones, and those of rows whose reading did not
    // fit their cells) are left alone: they lie only roughly over their
    // cells. Where the readings cannot settle a picture (read two ways and
    // neither prevails, or read only as what another picture is), the
    // readings the recogniser weighed for it decide, asked of
    // `alternatives` for those pictures alone. Returns how many characters
    // changed.
    static int settle(const QImage& normalized, const std::vector<Row>& rows,
                      const Alternatives& alternatives = {});

    // The picture of a cell: the normalised pixels of its ink and where
    // that ink lies against the row's baseline. Empty for a cell without
    // ink.
    static QByteArray pictureOf(const QImage& normalized, const QRect& cell, int baseline);
};

} // namespace kelpie
