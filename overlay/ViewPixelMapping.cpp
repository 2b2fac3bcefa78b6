#include "overlay/ViewPixelMapping.h"

#include <algorithm>
#include <cmath>

namespace kelpie::ViewPixelMapping {

std::optional<PixelPosition> pixel(Point point, Size view, int imageWidth, int imageHeight)
{
    if (!(view.width > 0) || !(view.height > 0) || imageWidth <= 0 || imageHeight <= 0)
        return std::nullopt;
    if (!(point.x >= 0 && point.x < view.width && point.y >= 0 && point.y < view.height))
        return std::nullopt;

    const int x
        = std::min(static_cast<int>(std::trunc(imageWidth * point.x / view.width)), imageWidth - 1);
    const int yUp = static_cast<int>(std::trunc(imageHeight * point.y / view.height));
    const int y = std::max(imageHeight - yUp - 1, 0);
    return PixelPosition{x, y};
}

} // namespace kelpie::ViewPixelMapping
