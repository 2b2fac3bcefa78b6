#pragma once

#include <cstdint>

namespace kelpie::testing {

// The pixels of a patterned test window: neighbouring rows and columns all
// differ, so a capture shifted, flipped or scaled by even one pixel shows.
inline std::uint32_t patternPixel(int x, int y, std::uint32_t base)
{
    const std::uint32_t red = static_cast<std::uint32_t>(x * 7 + y) & 0xff;
    const std::uint32_t green = static_cast<std::uint32_t>(y * 5 + x / 3) & 0xff;
    return (red << 16) | (green << 8) | (base & 0xff);
}

} // namespace kelpie::testing
