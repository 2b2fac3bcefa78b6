#pragma once

#include <cstdint>
#include <optional>

namespace kelpie {

// The largest image any capture may produce. Both bound the memory of a
// frozen display and of every crop taken from it.
namespace PixelLimits {

inline constexpr double maximumSide = 32768;
inline constexpr double maximumArea = 80'000'000;

struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// True when both sides are finite, positive, at most maximumSide, and the
// area is at most maximumArea.
bool accepts(double width, double height);

// The pixel size of content measured in points at the given point-to-pixel
// scale, each side rounded up (floating-point noise just above a whole
// number does not count); absent when the result is not accepted.
std::optional<PixelSize> pixelSize(double pointWidth, double pointHeight, double scale);

} // namespace PixelLimits
} // namespace kelpie
