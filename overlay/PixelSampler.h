#pragma once

#include "overlay/SampledColor.h"

#include <optional>

class QImage;

namespace kelpie {

namespace PixelSampler {

// The sRGB colour of pixel (x, y), counted from the image's top-left, of an
// image in any format and colour space. A fully transparent pixel reads as
// black; a position outside the image gives nothing.
std::optional<SampledColor> color(const QImage& image, int x, int y);

} // namespace PixelSampler
} // namespace kelpie
