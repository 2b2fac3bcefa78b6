#include "capture/CaptureGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelpie::CaptureGeometry {
namespace {

bool isUsableExtent(double value) { return std::isfinite(value) && value > 0; }

// Scaling a point coordinate can land a hair below or above a pixel
// boundary (149.99999999999997 instead of 150). Pull such values onto the
// boundary so the outward rounding that follows does not grow the crop.
double snapToWhole(double v)
{
    const double whole = std::round(v);
    const double tolerance
        = 16 * std::numeric_limits<double>::epsilon() * std::max(std::abs(v), 1.0);
    return std::abs(v - whole) <= tolerance ? whole : v;
}

} // namespace

std::optional<Rect> pixelRect(const Rect& rect, Size canvas, Size image)
{
    if (!isUsableExtent(canvas.width) || !isUsableExtent(canvas.height)
        || !isUsableExtent(image.width) || !isUsableExtent(image.height))
        return std::nullopt;
    if (!rect.isFinite())
        return std::nullopt;

    const Rect visible = rect.standardized().intersected(Rect(0, 0, canvas.width, canvas.height));
    if (visible.isNull() || visible.isEmpty())
        return std::nullopt;

    double left = visible.minX() * image.width / canvas.width;
    double top = (canvas.height - visible.maxY()) * image.height / canvas.height;
    double right = visible.maxX() * image.width / canvas.width;
    double bottom = (canvas.height - visible.minY()) * image.height / canvas.height;

    left = std::max(std::floor(snapToWhole(left)), 0.0);
    top = std::max(std::floor(snapToWhole(top)), 0.0);
    right = std::min(std::ceil(snapToWhole(right)), image.width);
    bottom = std::min(std::ceil(snapToWhole(bottom)), image.height);
    return Rect(left, top, right - left, bottom - top);
}

Rect viewRect(const Rect& rect, Size canvas, Size image)
{
    return Rect(rect.minX() * canvas.width / image.width,
                canvas.height - rect.maxY() * canvas.height / image.height,
                rect.width() * canvas.width / image.width,
                rect.height() * canvas.height / image.height);
}

} // namespace kelpie::CaptureGeometry
