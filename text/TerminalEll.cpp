#include "text/TerminalEll.h"

#include <algorithm>

namespace kelpie {
namespace {

// Where across `cell` (as a share of its width) the column with the most
// ink lies; negative for a cell without ink.
double stemAcross(const QImage& normalized, const QRect& cell)
{
    const QRect inside = cell.intersected(normalized.rect());
    int stem = -1;
    int strongest = 0;
    for (int x = inside.left(); x <= inside.right(); ++x) {
        int ink = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            ink += 255 - normalized.constScanLine(y)[x];
        if (ink > strongest) {
            strongest = ink;
            stem = x;
        }
    }
    if (stem < 0)
        return -1;
    // Small type blends a stem over two columns: its middle is where the
    // ink of the strongest column and its neighbours balances.
    double weighted = 0;
    double total = 0;
    for (int x = std::max(inside.left(), stem - 1); x <= std::min(inside.right(), stem + 1); ++x) {
        int ink = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            ink += 255 - normalized.constScanLine(y)[x];
        weighted += ink * (x + 0.5);
        total += ink;
    }
    return (weighted / total - cell.left()) / cell.width();
}

} // namespace

int TerminalEll::settle(const QImage& normalized, const std::vector<CellVote::Row>& rows)
{
    if (normalized.format() != QImage::Format_Grayscale8)
        return 0;
    int changed = 0;
    for (const CellVote::Row& row : rows) {
        if (!row.line || !row.cells.isValid())
            continue;
        changed += TextAnalysis::reread(
            *row.line, [&](const TextAnalysis::Word&, const TextAnalysis::Character& character) {
                if (character.text != QLatin1String("L"))
                    return character.text;
                const QRect cell = row.cells.cell(row.cells.cellOf(character.box.midX()), row.box);
                return stemAcross(normalized, cell) >= centredStem ? QStringLiteral("l")
                                                                   : character.text;
            });
    }
    return changed;
}

} // namespace kelpie
