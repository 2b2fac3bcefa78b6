#pragma once

namespace kelpie {

// A width and height in double precision; may be negative until a
// rectangle holding it is standardised.
struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

} // namespace kelpie
