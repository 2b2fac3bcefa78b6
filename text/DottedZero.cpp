#include "text/DottedZero.h"

#include "text/TextLayout.h"


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
// Dotted zeros found in a line that show its font dots its zeros.
constexpr int dottedEvidence = 2;
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

enum class Ring { none, dotted, plain };

// Whether straight from `from` in the direction (dx, dy) strong ink comes
// inside `ring`.
bool inkAhead(const QImage& normalized, QPoint from, int dx, int dy, const QRect& ring)
{
    for (QPoint at = from; ring.contains(at); at += QPoint(dx, dy)) {
        if (valueAt(normalized, at.x(), at.y()) < strongInk)
            return true;
    }
    return false;
}

// What closed ring as tall as a digit, its middle from `fromX` up to `toX`,
// the ink inside `area` shows: one with a dot in its middle, an empty one,
// or none.
Ring ringIn(const QImage& normalized, const QRect& area, double fromX, double toX, int height)
{
    for (const QRect& ring : TextLayout::inkComponents(normalized, area)) {
        const double centre = ring.left() + ring.width() / 2.0;
        if (ring.height() < shortestRing * height || ring.height() > tallestRing * height
            || ring.width() < 3 || ring.height() < 5 || centre < fromX || centre >= toX)
            continue;
        // The darkest point of the ring's middle third is the dot, when
        // light ground parts it from dark ink on all four sides: a ring
        // around it. The waist of an 8 has no ink to its sides; a 6 or a 9
        // has its middle on a stroke that runs on into its ring. A middle
        // with no ink at all, ink on all four sides, is an empty ring.
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
        const auto around = [&](const auto& sideHolds) {
            return sideHolds(-1, 0) && sideHolds(1, 0) && sideHolds(0, -1) && sideHolds(0, 1);
        };
        if (darkest < strongInk
            && around([&](int dx, int dy) { return gapThenInk(normalized, dot, dx, dy, ring); }))
            return Ring::dotted;
        const QPoint centrePoint = middle.center();
        if (darkest >= gapLevel && around([&](int dx, int dy) {
                return inkAhead(normalized, centrePoint, dx, dy, ring);
            }))
            return Ring::plain;
    }
    return Ring::none;
}

} // namespace

bool DottedZero::shows(const QImage& normalized, const QRect& area, double fromX, double toX,
                       int height)
{
    return ringIn(normalized, area, fromX, toX, height) == Ring::dotted;
}

int DottedZero::settle(const QImage& normalized, TextAnalysis& analysis)
{
    int changed = 0;
    for (TextAnalysis::Line& line : analysis.lines) {
        const int top = int(std::floor(line.box.minY()));
        const int height = int(std::ceil(line.box.maxY())) - top;
        bool lineChanged = false;
        int dotted = 0;
        std::vector<TextAnalysis::Character*> plainZeros;
        for (TextAnalysis::Word& word : line.words) {
            for (TextAnalysis::Character& character : word.characters) {
                const bool zero = character.text == QLatin1String("0");
                if (character.text.size() != 1 || (!zero && !mistakenFor.contains(character.text)))
                    continue;
                // Character boxes of a line recogniser are approximate: the
                // ring is looked for half a box around.
                const Rect& box = character.box;
                const int left = int(std::floor(box.minX() - box.width() / 2));
                const int right = int(std::ceil(box.maxX() + box.width() / 2));
                const QRect area(left, top, right - left, height);
                const Ring ring = ringIn(normalized, area, box.minX(), box.maxX(), height);
                if (ring == Ring::dotted) {
                    ++dotted;
                    if (!zero) {
                        character.text = QStringLiteral("0");
                        lineChanged = true;
                        ++changed;
                    }
                } else if (ring == Ring::plain && zero) {
                    plainZeros.push_back(&character);
                }
            }
        }
        // In a line whose zeros are dotted, an empty ring read as a zero is
        // the letter O ("0CR"). A few dotted zeros show that the line's font
        // dots them; a page may set other lines in a font that does not.
        if (dotted >= dottedEvidence) {
            for (TextAnalysis::Character* character : plainZeros) {
                character->text = QStringLiteral("O");
                lineChanged = true;
                ++changed;
            }
        }
        if (lineChanged)
            TextAnalysis::retext(line);
    }
    return changed;
}

} // namespace kelpie
