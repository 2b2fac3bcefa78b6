#include "pin/PinLayout.h"

#include <algorithm>
#include <cmath>

namespace kelpie::PinLayout {
namespace {

bool usable(double v) { return std::isfinite(v) && v > 0; }

} // namespace

Rect frame(Size pixels, double scale, const Rect& visible, std::optional<Rect> preferred)
{
    const Rect v = visible.standardized();
    if (preferred)
        preferred = preferred->standardized();
    // A scale that is not a number would spread through every result below.
    const double s = std::isfinite(scale) ? std::max(scale, 1.0) : 1.0;

    double w = preferred ? preferred->width() : pixels.width / s;
    double h = usable(pixels.width) && usable(pixels.height) ? w * pixels.height / pixels.width : 0;
    // An empty image or preferred frame has no size to keep: nothing to fit.
    if (!usable(w) || !usable(h))
        w = h = 0;

    const double k = w > 0 ? std::min({v.height() / h, v.width() / w, 1.0}) : 1.0;
    const double width = w * k;
    const double height = h * k;

    double x = preferred ? preferred->minX() : v.midX() - width / 2;
    double y = preferred ? preferred->maxY() - height : v.midY() - height / 2;
    x = std::max(v.minX(), std::min(v.maxX() - width, x));
    y = std::max(v.minY(), std::min(v.maxY() - height, y));
    return Rect(x, y, width, height);
}

} // namespace kelpie::PinLayout
