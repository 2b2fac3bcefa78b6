#include "capture/PixelLimits.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelpie::PixelLimits {
namespace {

// Points times scale can land a hair above a whole pixel count (a display
// of 1366 pixels at 1.25 has 1092.8 points, which times 1.25 gives
// 1366.0000000000002); rounding that up would ask for a pixel more than the
// display has. Such noise is pulled onto the whole number first.
double snappedCeiling(double v)
{
    const double whole = std::round(v);
    const double tolerance
        = 16 * std::numeric_limits<double>::epsilon() * std::max(std::abs(v), 1.0);
    return std::abs(v - whole) <= tolerance ? whole : std::ceil(v);
}

} // namespace

bool accepts(double width, double height)
{
    if (!std::isfinite(width) || !std::isfinite(height))
        return false;
    if (width <= 0 || height <= 0)
        return false;
    if (width > maximumSide || height > maximumSide)
        return false;
    return width * height <= maximumArea;
}

std::optional<PixelSize> pixelSize(double pointWidth, double pointHeight, double scale)
{
    const double width = snappedCeiling(pointWidth * scale);
    const double height = snappedCeiling(pointHeight * scale);
    if (!accepts(width, height))
        return std::nullopt;
    return PixelSize{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

} // namespace kelpie::PixelLimits
