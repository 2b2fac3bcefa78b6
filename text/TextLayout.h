#pragma once

#include "text/RecognitionCancellation.h"
#include "text/TerminalCells.h"

#include <QImage>
#include <QRect>

#include <utility>
#include <vector>

namespace kelpie {

// Layout analysis for screenshots: where the lines of text are, without
// recognising them. Screens are not scanned pages: text sits on panels of
// many colours, light on dark as often as dark on light, in short labels
// spread over several columns. So the image is first normalised to dark
// ink on white against the local background, and lines are then built from
// its connected ink components.
namespace TextLayout {

// Grey value below which a pixel of a normalised image counts as ink.
inline constexpr int inkThreshold = 160;

// `image` with its pixels in sRGB: converted when it carries another colour
// space, else itself (pixels without a colour space are taken as sRGB).
// Null when the conversion fails. Everything that reads text from an image
// reads it through this one conversion.
QImage inSrgb(const QImage& image);

// The luminance of `image` in sRGB (see inSrgb) as 8-bit grey, transparency flattened onto
// white. Null when the image is null or the copy cannot be allocated.
QImage grey(const QImage& image);

// The darker of two grey images of one size, pixel by pixel (the ink that
// either of two normalised views shows); `a` when they do not match.
QImage darker(const QImage& a, const QImage& b);

// What text is read from: the image's luminance (grey()), its brightest
// channel when it holds strong colour (else null), and the normalised ink
// of both together. `normalized` is null when the image is null or memory
// runs out.
struct Views {
    QImage grey;
    QImage brightest;
    QImage normalized;
};
Views views(const QImage& image);

// The mean darkness (255 − grey) of a grey image: how much ink a line
// image shows.
int darkness(const QImage& grey);

// A copy of a grey image in which every pixel that matches its local
// background is white and every other pixel is darker the more it differs
// from that background, so text of any colour on any panel becomes dark on
// white and the edges between panels disappear. Small filled shapes
// (narrow buttons) may stay dark with their text light inside; lineImage()
// sorts those out line by line. Null when the copy cannot be allocated.
QImage normalized(const QImage& grey);

// One line of text and its words (ink separated by a typed space's blank,
// left to right), in image pixels with the origin at the top-left.
struct Line {
    QRect box;
    std::vector<QRect> words;
    // The line is a row of a screen that is one lattice of fixed-width
    // cells (a terminal): a wide character leaves blank in its cells that
    // is no space.
    bool grid = false;
    // The cells of the terminal the row belongs to, when its characters
    // sit on one lattice of fixed-width cells; invalid otherwise.
    TerminalCells::Lattice cells;
    // On such a lattice, no ink of the row runs over a cell boundary: every
    // character is a narrow one, none of a wide (Chinese) script.
    bool narrow = false;
};

// The text lines of a normalised image in reading order: blocks of lines
// top to bottom and left to right, lines within a block top to bottom. The
// rows of a grid (a terminal, a listing, a table) are whole lines, read row
// by row, even where runs of spaces pad their columns.
std::vector<Line> analyse(const QImage& normalized, const RecognitionCancellation& cancellation);

// The boxes of analyse()'s lines.
std::vector<QRect> lines(const QImage& normalized, const RecognitionCancellation& cancellation);

// The boxes of the ink components (8-connected) of a normalised image
// inside `area`, ink outside it left out.
std::vector<QRect> inkComponents(const QImage& normalized, const QRect& area);

// One line of a grey image made ready for recognition: cropped with a
// margin, normalised against the line's own background (so that a line
// that is a whole button reads as dark text on white too), and scaled up
// so that the line is at least `minimumHeight` pixels high. Image position
// x maps to origin.x() + x / scale in the source, likewise y.
struct LineImage {
    QImage image;
    QPoint origin;
    double scale = 1;
};
LineImage lineImage(const QImage& grey, const QRect& line, int minimumHeight);

// The share of a line's height that holds the middle 80 % of its ink.
// Latin text keeps most of its ink between the baseline and the x-height
// (about half the line); Han characters fill their whole square (about four
// fifths and more).
double inkSpan(const QImage& normalized, const QRect& line);

// The share of a line's ink in the top three tenths of its height. Latin
// text reaches up there only with capitals and ascenders (about a tenth of
// its ink); Han characters have strokes all the way up (a sixth and more).
double inkAbove(const QImage& normalized, const QRect& line);

// The first and last rows of a grey line image that carry dark ink (below
// half grey) anywhere: the height of its characters. {-1, -1} when none do.
std::pair<int, int> inkRows(const QImage& grey);

// The widest run of blank columns of a normalised image within a row range
// [top, bottom) between two x positions.
int blankWidth(const QImage& normalized, int top, int bottom, int fromX, int toX);

} // namespace TextLayout
} // namespace kelpie
