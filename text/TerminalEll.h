#pragma once

#include "text/CellVote.h"

#include <QImage>

#include <vector>

namespace kelpie {

// The small letter l of a terminal. Line recognisers read it as a capital
// L in fixed-pitch type ("--Limit" for "--limit", "ALice" for "Alice"),
// most of all where the same row holds Chinese. The two are told apart by
// where they stand in their cell: a fixed-pitch font centres the l (with a
// serif to the left and a tail to the right to fill the cell), while the
// L's stem stands at the left with its foot running right.
class TerminalEll {
public:
    // A capital L whose stem stands at least this far across its cell (as a
    // share of the cell's width) is an l. Capitals' stems stand a quarter
    // to a third of the way across (a third in serif faces), small l's
    // stems near half way.
    static constexpr double centredStem = 0.38;

    // Reads as "l" every "L" of `rows` whose cell in `normalized` shows a
    // centred stem, keeping the texts of words and lines in step. Returns
    // how many changed.
    static int settle(const QImage& normalized, const std::vector<CellVote::Row>& rows);
};

} // namespace kelpie
