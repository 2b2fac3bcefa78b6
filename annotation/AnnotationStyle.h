#pragma once

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationTool.h"
#include "annotation/ArrowHead.h"
#include "annotation/MaskEffect.h"
#include "geometry/Size.h"

#include <QByteArray>

#include <optional>

namespace kelpie {

// How an annotation looks. All lengths are in pixels of the base image.
//
// A style may come from storage or from a slider and can hold anything;
// users check `valid()` before they draw, store or apply one.
struct AnnotationStyle {
    // Stroke, fill, text and solid-mask colour.
    AnnotationColor color = AnnotationColor::palette[0];
    // Stroke width; the brush diameter of pens, highlights and brush masks.
    double width = 4.0;
    // Rectangles and ellipses are filled instead of stroked.
    bool filled = false;
    // Alpha factor of the fill of filled rectangles and ellipses.
    double fillOpacity = 1.0;
    double cornerRadius = 0.0;
    bool dashed = false;
    ArrowHead arrowHead = ArrowHead::filled;
    // Whether a new arrow is bent into a curve; absent means "never chosen".
    std::optional<bool> curvedArrow;
    MaskEffect maskEffect = MaskEffect::solid;
    // The mask is painted along a freehand path instead of covering a rectangle.
    bool maskBrush = false;
    // Pixelate cell size or blur strength.
    double maskStrength = 16.0;
    double fontSize = 24.0;
    bool bold = false;
    // Text sits on a box filled with `backgroundColor`.
    bool textBackground = false;
    AnnotationColor backgroundColor = AnnotationColor(1.0, 0.96, 0.72);

    // The style a new object of `tool` starts with on an image whose style
    // scale is `scale` (see defaultScale): widths, radii and sizes grow with
    // the scale, rounded to whole pixels and kept within their valid ranges.
    // A NaN scale counts as 1.
    static AnnotationStyle initial(AnnotationTool tool, double scale);

    // The style scale of an image shown `displayedWidth` wide: large images
    // shown small get thicker default strokes, tiny images thinner ones, within
    // 0.65…4. Without a positive displayed width the scale is 1.
    static double defaultScale(Size imageSize, double displayedWidth);

    // Every number finite and in range: width 1…80, fillOpacity 0…1,
    // cornerRadius 0…80, maskStrength 4…80, fontSize 8…200, both colours valid.
    bool valid() const;

    // The stored form: a JSON object whose keys are the field names, enums as
    // their raw values, colours as colour objects. "curvedArrow" is written
    // only when set. Encoding fails (empty result) when a number is not
    // finite, which JSON cannot hold.
    QByteArray toJson() const;

    // Reads the stored form. Every key is required except "curvedArrow"
    // (missing or null reads as absent); a missing key, a value of the wrong
    // JSON type, an unknown enum raw value or malformed JSON fails the whole
    // decode. Unknown keys are ignored. The result is not checked for
    // validity. Safe on any input: never throws, crashes or hangs.
    static std::optional<AnnotationStyle> fromJson(const QByteArray& json);

    friend bool operator==(const AnnotationStyle&, const AnnotationStyle&) = default;
};

} // namespace kelpie
