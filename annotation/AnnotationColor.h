#pragma once

#include <QByteArray>

#include <array>
#include <optional>

class QColor;

namespace kelpie {

// An sRGB colour, not premultiplied, with every component meant to lie in
// 0…1. A colour read from storage may hold anything; `valid()` tells.
struct AnnotationColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    constexpr AnnotationColor(double r, double g, double b, double a = 1.0)
        : red(r), green(g), blue(b), alpha(a)
    {
    }

    // Eight picks, the first the default colour of every tool: red, orange,
    // yellow (highlights), green, blue, purple, near black (masks), white.
    static const std::array<AnnotationColor, 8> palette;
    // The three colours of the compact toolbar: coral, amber, blue.
    static const std::array<AnnotationColor, 3> markupPalette;
    // The compact toolbar's dark green default.
    static const AnnotationColor leaf;

    // Every component is finite and within 0…1.
    bool valid() const;

    // The toolkit colour with these sRGB components (16 bits per component).
    QColor qColor() const;
    // The sRGB components of a toolkit colour; a colour that cannot be
    // expressed in sRGB (an invalid QColor) gives plain red instead.
    static AnnotationColor fromQColor(const QColor& color);

    // JSON object with the required keys "red", "green", "blue", "alpha".
    // Encoding fails (empty result) when a component is not finite, as JSON
    // cannot hold such numbers.
    QByteArray toJson() const;
    static std::optional<AnnotationColor> fromJson(const QByteArray& json);

    friend bool operator==(const AnnotationColor&, const AnnotationColor&) = default;
};

inline constexpr std::array<AnnotationColor, 8> AnnotationColor::palette{
    AnnotationColor(0.95, 0.25, 0.25), AnnotationColor(1.0, 0.55, 0.1),
    AnnotationColor(1.0, 0.84, 0.1),   AnnotationColor(0.2, 0.75, 0.4),
    AnnotationColor(0.1, 0.5, 1.0),    AnnotationColor(0.6, 0.35, 0.95),
    AnnotationColor(0.15, 0.15, 0.17), AnnotationColor(1.0, 1.0, 1.0),
};

inline constexpr std::array<AnnotationColor, 3> AnnotationColor::markupPalette{
    AnnotationColor(214 / 255.0, 95 / 255.0, 70 / 255.0),
    AnnotationColor(211 / 255.0, 154 / 255.0, 37 / 255.0),
    AnnotationColor(71 / 255.0, 123 / 255.0, 199 / 255.0),
};

inline constexpr AnnotationColor AnnotationColor::leaf(53 / 255.0, 118 / 255.0, 90 / 255.0);

} // namespace kelpie
