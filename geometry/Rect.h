#pragma once

#include "geometry/Point.h"
#include "geometry/Size.h"

namespace kelpie {

// An axis-aligned rectangle as origin plus size, in double precision.
//
// The size may be negative; every derived value (minX, width, …) reads the
// standardised form. Two special values matter to callers: the null
// rectangle (what a failed intersection yields, located at infinity) and
// empty rectangles (zero width or height, which still have a position).
// Containment is half-open: a point on a maximum edge lies outside.
struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s) : origin(o), size(s) { }
    constexpr Rect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height}
    {
    }

    static Rect null();

    double minX() const;
    double midX() const;
    double maxX() const;
    double minY() const;
    double midY() const;
    double maxY() const;
    double width() const;
    double height() const;

    bool isNull() const;
    bool isEmpty() const;
    bool isFinite() const;

    Rect standardized() const;
    // Smallest rectangle with whole-number edges that contains this one.
    Rect integral() const;
    Rect intersected(const Rect& other) const;
    Rect united(const Rect& other) const;
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const;

    bool contains(Point p) const;
    bool contains(const Rect& other) const;
    // True when the two overlap in a non-empty area.
    bool intersects(const Rect& other) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace kelpie
