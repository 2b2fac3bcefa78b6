#pragma once

#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTool.h"
#include "geometry/Point.h"
#include "geometry/Rect.h"
#include "geometry/Size.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace kelpie {

class AnnotationTextMeasurer;

// One annotation, in annotation space: pixels of the base image, origin at
// the bottom-left, y up.
//
// A plain value: copies are independent and equality compares every field,
// the identity included. `points` is an implicitly shared list, so copying an
// object (and with it a whole document state) shares a long pen path instead
// of duplicating it; the path is copied only when one copy changes it.
class AnnotationObject {
public:
    static constexpr double defaultTextLayoutWidth = 360;

    // The centre line of lines and arrows: from `start`, either straight to
    // `end` or, for a curved arrow, along the quadratic Bézier curve with
    // control point `control`.
    struct StrokePath {
        Point start;
        std::optional<Point> control;
        Point end;

        // The box of the line or of the curve itself (its extremes, not its
        // control polygon). Not widened: a straight horizontal line has height 0.
        Rect boundingBox() const;

        friend bool operator==(const StrokePath&, const StrokePath&) = default;
    };

    AnnotationObject(AnnotationTool tool, const AnnotationStyle& style, Point start, Point end,
                     QList<Point> points = {}, std::int64_t number = 0, QString text = {},
                     double textLayoutWidth = defaultTextLayoutWidth,
                     QUuid id = QUuid::createUuid());

    // Identity; selections and drags refer to objects by it. Fixed at creation.
    QUuid id() const { return m_id; }
    // Fixed at creation.
    AnnotationTool tool() const { return m_tool; }

    AnnotationStyle style;
    // Drag origin; the text box's origin.
    Point start;
    // Drag end; the arrow tip; the text box's far corner.
    Point end;
    // Control point of a curved arrow; absent for straight arrows and every
    // other kind.
    std::optional<Point> curveControl;
    // Freehand path of pens, highlights and brush masks.
    QList<Point> points;
    // The badge number of a number object.
    std::int64_t number = 0;
    // The text of a text object.
    QString text;
    // Wrapping width of text layout, insets included.
    double textLayoutWidth = defaultTextLayoutWidth;

    StrokePath strokePath() const;

    // The point at parameter t (0…1) of the arrow's curve; a straight arrow
    // bends around the midpoint, so its points lie on the segment.
    Point arrowPoint(double t) const;
    // arrowPoint(0.5): where the bend handle sits.
    Point arrowMidpoint() const;

    // Gives a new arrow its preset bend when the style asks for curved arrows:
    // the control point goes sideways from the midpoint along the left-hand
    // normal of start→end, by 0.26 of the length (at most 16 widths). Straight
    // and zero-length arrows lose any control point. With `imageSize` the
    // control point is kept inside the image.
    void applyPresetCurve(std::optional<Size> imageSize);

    // Length of the arrow's head(s), from the size of the drawn line or curve
    // and the stroke width; 0 for a zero-length arrow.
    double arrowHeadLength() const;

    // The box the object covers (a curved arrow's curve, the freehand path, or
    // start and end), at least 1 × 1 from its minimum corner.
    Rect bounds() const;

    // The area the object hides from view, if any: masks, opaque-enough filled
    // rectangles and ellipses, number badges and text on a visible background.
    std::optional<Rect> occlusion() const;

    // Whether a pointer at `point` touches the object, `tolerance` pixels of
    // slack added to half the stroke width. The select tool is never hit.
    bool hit(Point point, double tolerance) const;

    // A copy shifted by (dx, dy): ends, control point and path.
    AnnotationObject moved(double dx, double dy) const;

    // A copy fitted to the rectangle `rect`. Shapes, lines, arrows and paths
    // are mapped affinely from their bounds onto it; text instead scales its
    // font by the smaller of the two ratios, keeps its own aspect and sits at
    // the rectangle's origin, its box measured with `measurer`.
    AnnotationObject resized(const Rect& rect, const AnnotationTextMeasurer& measurer) const;

    friend bool operator==(const AnnotationObject&, const AnnotationObject&) = default;

private:
    QUuid m_id;
    AnnotationTool m_tool;
};

} // namespace kelpie
