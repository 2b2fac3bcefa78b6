#pragma once

#include <QString>

#include <cstdint>

namespace kelpie {

// An sRGB colour read from one pixel: not premultiplied, no alpha.
struct SampledColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    // "#0C22FF": upper-case hexadecimal.
    QString hex() const;
    // "RGB(12, 34, 255)".
    QString rgb() const;

    friend bool operator==(const SampledColor&, const SampledColor&) = default;
};

} // namespace kelpie
