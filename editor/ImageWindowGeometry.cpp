#include "editor/ImageWindowGeometry.h"

#include <algorithm>
#include <cmath>

namespace kelpie::ImageWindowGeometry {
namespace {

constexpr double plainMinimumWidth = 880;
constexpr double plainMaximumWidth = 1040;
constexpr double plainRowsHeight = 100;
constexpr double plainMinimumHeight = 360;
constexpr double plainMaximumHeight = 780;
constexpr double pinLongerSide = 32;

bool hasArea(Size size)
{
    return std::isfinite(size.width) && std::isfinite(size.height) && size.width > 0
        && size.height > 0;
}

} // namespace

Size plainEditorSize(Size pixels)
{
    const double width = hasArea(pixels)
        ? std::min(std::max(pixels.width, plainMinimumWidth), plainMaximumWidth)
        : plainMinimumWidth;
    const double height = hasArea(pixels)
        ? std::max(pixels.height / pixels.width * width + plainRowsHeight, plainMinimumHeight)
        : plainMinimumHeight;
    return {width, std::min(height, plainMaximumHeight)};
}

Size plainMinimumSize(bool editing, bool styleRowVisible)
{
    const double width = editing ? 880 : 420;
    const double height = styleRowVisible ? 480 : editing ? 300 : 260;
    return {width, height};
}

Size pinMinimumSize(Size pixels)
{
    if (!hasArea(pixels))
        return {pinLongerSide, pinLongerSide};
    const double ratio = pixels.height / pixels.width;
    if (ratio > 1)
        return {pinLongerSide / ratio, pinLongerSide};
    return {pinLongerSide, pinLongerSide * ratio};
}

Rect zoomed(const Rect& frame, double factor, Size minimum, Size visible)
{
    const auto side = [&](double current, double least, double most) {
        return std::min(std::max(current * factor, least), most);
    };
    const double width = side(frame.width(), minimum.width, visible.width);
    const double height = side(frame.height(), minimum.height, visible.height);
    return Rect(frame.midX() - width / 2, frame.midY() - height / 2, width, height);
}

Rect clampedInto(const Rect& frame, const Rect& visible)
{
    const double width = std::min(frame.width(), visible.width());
    const double height = std::min(frame.height(), visible.height());
    const double x = std::max(visible.minX(), std::min(visible.maxX() - width, frame.minX()));
    const double y = std::max(visible.minY(), std::min(visible.maxY() - height, frame.minY()));
    return Rect(x, y, width, height);
}

Rect desktopRect(const Rect& logical, const Rect& primaryLogical)
{
    return Rect(logical.minX() - primaryLogical.minX(), primaryLogical.maxY() - logical.maxY(),
                logical.width(), logical.height());
}

Rect logicalRect(const Rect& desktop, const Rect& primaryLogical)
{
    // Flipping about the primary screen's bottom edge is its own inverse,
    // apart from the primary screen's origin.
    return Rect(desktop.minX() + primaryLogical.minX(), primaryLogical.maxY() - desktop.maxY(),
                desktop.width(), desktop.height());
}

} // namespace kelpie::ImageWindowGeometry
