#include "text/DottedZero.h"

#include "text/TextLayout.h"

#include <QStringList>

#include <cmath>

namespace kelpie {

namespace {

// A digit's ring is at least the first share of the line's ink height and
// at most the second.
constexpr double shortestRing = 0.5;
constexpr double tallestRing = 1.1;
// Smooth type blurs a small zero's dot into its ring: the dot and the ring
// are their strokes' cores, darker than the first level, and the ground
// between them is lighter than the second.
constexpr int strongInk = 64;
constexpr int gapLevel = 80;
// What a dotted zero is read as.
const QString mistakenFor = QStringLiteral("689OoQD");

int valueAt(const QImage& normalized, int x, int y)
{
    return normalized.valid(x, y) ? normalized.constScanLine(y)[x] : 255;
}

// Whether, going straight from `from` in the direction (dx, dy), light
// ground comes before strong ink again inside `ring`.
bool gapThenInk(const QImage& normalized, QPoint from, int dx, int dy, const QRect& ring)
{
    bool gap = false;
    for (QPoint at = from; ring.contains(at); at += QPoint(dx, dy)) {
        const int value = valueAt(normalized, at.x(), at.y());
        if (value >= gapLevel)
            gap = true;
        else if (gap && value < strongInk)
            return true;
    }
    return false;
}

void retext(TextAnalysis::Line& line)
{
    for (TextAnalysis::Word& word : line.words) {
        word.text.clear();
        for (const TextAnalysis::Character& character : word.characters)
            word.text += character.text;
    }
    line = TextAnalysis::lineOf(std::move(line.words), line.confidence);
}

} // namespace

bool DottedZero::shows(const QImage& normalized, const QRect& area, double fromX, double toX,
                       int height)
{
    for (const QRect& ring : TextLayout::inkComponents(normalized, area)) {
        if (ring.height() < shortestRing * height || ring.height() > tallestRing * height
            || ring.width() < 3 || ring.height() < 5)
            continue;
        // The darkest point of the ring's middle third is the dot, when
        // light ground parts it from dark ink on all four sides: a ring
        // around it. An empty ring (the letter O) has no dark middle; the
        // waist of an 8 has no ink to its sides; a 6 or a 9 has its
        // middle on a stroke that runs on into its ring.
        const QRect middle(ring.left() + ring.width() / 3, ring.top() + ring.height() / 3,
                           std::max(1, ring.width() - 2 * (ring.width() / 3)),
                           std::max(1, ring.height() - 2 * (ring.height() / 3)));
        QPoint dot;
        int darkest = 256;
        for (int y = middle.top(); y <= middle.bottom(); ++y) {
            for (int x = middle.left(); x <= middle.right(); ++x) {
                if (valueAt(normalized, x, y) < darkest) {
                    darkest = valueAt(normalized, x, y);
                    dot = QPoint(x, y);
                }
            }
        }
        const double centre = ring.left() + ring.width() / 2.0;
        if (darkest >= strongInk || centre < fromX || centre >= toX)
            continue;
        if (gapThenInk(normalized, dot, -1, 0, ring) && gapThenInk(normalized, dot, 1, 0, ring)
            && gapThenInk(normalized, dot, 0, -1, ring) && gapThenInk(normalized, dot, 0, 1, ring))
            return true;
    }
    return false;
}

int DottedZero::settle(const QImage& normalized, TextAnalysis& analysis)
{
    int changed = 0;
    for (TextAnalysis::Line& line : analysis.lines) {
        const int top = int(std::floor(line.box.minY()));
        const int height = int(std::ceil(line.box.maxY())) - top;
        bool lineChanged = false;
        for (TextAnalysis::Word& word : line.words) {
            for (TextAnalysis::Character& character : word.characters) {
                if (character.text.size() != 1 || !mistakenFor.contains(character.text))
                    continue;
                // Character boxes of a line recogniser are approximate: the
                // ring is looked for half a box around.
                const Rect& box = character.box;
                const int left = int(std::floor(box.minX() - box.width() / 2));
                const int right = int(std::ceil(box.maxX() + box.width() / 2));
                const QRect area(left, top, right - left, height);
                if (shows(normalized, area, box.minX(), box.maxX(), height)) {
                    character.text = QStringLiteral("0");
                    lineChanged = true;
                    ++changed;
                }
            }
        }
        if (lineChanged)
            retext(line);
    }
    return changed;
}

} // namespace kelpie
