#include "capture/PixelLimits.h"

#include <cmath>

namespace kelpie::PixelLimits {

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
    const double width = std::ceil(pointWidth * scale);
    const double height = std::ceil(pointHeight * scale);
    if (!accepts(width, height))
        return std::nullopt;
    return PixelSize{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

} // namespace kelpie::PixelLimits
