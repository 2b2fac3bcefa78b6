#pragma once

namespace kelpie {

// A location in a double-precision coordinate space. Which space (and
// whether y grows up or down) is the caller's to know.
struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

} // namespace kelpie
