#pragma once

#include "geometry/Rect.h"

#include <optional>

namespace kelpie {

// The rule that sizes and places a pin on its screen. Rectangles are in
// global desktop space (points, origin bottom-left, y up).
namespace PinLayout {

// The pin window's frame for an image of `pixels` on a display of backing
// `scale` whose visible frame is `visible`. The image's aspect ratio always
// holds; the pin is never larger than its base size (one image pixel per
// display pixel, or the preferred width) and never larger than `visible`.
// With `preferred` the top-left corner stays where it was, otherwise the
// pin is centred; either way it ends up inside `visible`.
Rect frame(Size pixels, double scale, const Rect& visible, std::optional<Rect> preferred);

} // namespace PinLayout
} // namespace kelpie
