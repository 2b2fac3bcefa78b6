#pragma once

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTextMeasurer.h"
#include "geometry/Size.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QTextOption>

class QPainter;

namespace kelpie {

// Measures and draws the text of text annotations. The one place where text
// is laid out: the model (resizing a text), the renderer and the in-place
// text editor all measure through here, so what is typed and what is drawn
// wrap identically.
//
// Fonts are sized in image pixels. A QFont only carries points, whose pixel
// size depends on the device it is used on, so the fonts handed out here are
// resolved for a 72-dpi reference device (one point is one pixel) and every
// layout here is made against that device, whatever device is painted on.
// The family is chosen explicitly, with a Chinese-capable face first, so
// that a desktop session and a headless test measure the same text alike.
class AnnotationTextLayout {
public:
    // The margin between a text box's edge and its text, on all four sides.
    static constexpr double inset = AnnotationTextMeasurer::inset;

    // How text of a style is set.
    struct Attributes {
        // `fontSize` pixels, bold or regular, resolved for the reference
        // device (see above).
        QFont font;
        // The style's colour with its own alpha.
        QColor color;
        // Left-aligned, wrapping at word boundaries, and inside a word only
        // where one word does not fit on a line.
        QTextOption option;
    };

    AnnotationTextLayout() = delete;

    static Attributes attributes(const AnnotationStyle& style);

    // The box the text needs, wrapped to `maxWidth` (both widths include the
    // two insets): width within 2 × inset + 1 … maxWidth, at least one line
    // high (an empty text too), one line more when the text ends with a line
    // break, plus the insets; whole pixels.
    static Size size(const QString& text, const AnnotationStyle& style, double maxWidth);

    // The height of one line: ascent + descent + leading of the font.
    static double lineHeight(const AnnotationStyle& style);

    // Draws a text object into a painter whose coordinates are annotation
    // space (y up): the background box over `bounds` when the style asks for
    // one, then the text inside `bounds` less the insets, from its top edge
    // down, wrapped at that width.
    static void draw(const AnnotationObject& object, QPainter& painter);

    // The font of text annotations at `pixelSize` pixels, bold or regular;
    // also the font of the labels of number badges.
    static QFont fontOfPixelSize(double pixelSize, bool bold);

    // Measures one line of text without wrapping: its advance width and its
    // line height (ascent + descent + leading) in `font`.
    static Size lineSize(const QString& text, const QFont& font);

    // Draws one unwrapped line of text in `font` and `color` with the top-left
    // corner of its line box at `topLeft`, both in the painter's current
    // (y-down) coordinates.
    static void drawLine(QPainter& painter, const QString& text, const QFont& font,
                         const QColor& color, QPointF topLeft);

    // The model's measuring seam, backed by size().
    static const AnnotationTextMeasurer& measurer();
};

} // namespace kelpie
