#pragma once

#include "geometry/Point.h"
#include "geometry/Size.h"

#include <optional>

namespace kelpie {

// Which pixel of the frozen image lies under a point of the overlay's view.
// The view is y-up with its origin at the bottom-left; the image is y-down.
namespace ViewPixelMapping {

struct PixelPosition {
    int x = 0;
    int y = 0;

    friend bool operator==(const PixelPosition&, const PixelPosition&) = default;
};

// Absent when the point lies outside the view (maximum edges excluded) or
// either size is empty.
std::optional<PixelPosition> pixel(Point point, Size view, int imageWidth, int imageHeight);

} // namespace ViewPixelMapping
} // namespace kelpie
