#include "editor/ScreenshotLayout.h"

#include <algorithm>
#include <cmath>

namespace kelpie::ScreenshotLayout {
namespace {

// Panels keep this far from the viewport's edges.
constexpr double margin = 12;
// Between the crop and the tool bar.
constexpr double cropGap = 14;
// Between the tool bar and the parameter panel.
constexpr double panelGap = 8;

bool finite(Size s) { return std::isfinite(s.width) && std::isfinite(s.height); }

bool measurable(Size capture, const Rect& region, Size viewport, Size toolbar, Size parameters)
{
    if (!finite(capture) || !finite(viewport) || !finite(toolbar) || !finite(parameters)
        || !region.isFinite())
        return false;
    return capture.width > 0 && capture.height > 0 && viewport.width > 2 * margin
        && viewport.height > 2 * margin && region.width() > 0 && region.height() > 0
        && toolbar.width > 0 && toolbar.height > 0 && parameters.width >= 0
        && parameters.height >= 0;
}

bool regionFits(const Rect& region, Size capture, bool allowsOutsideRegion)
{
    const Rect bounds(0, 0, capture.width, capture.height);
    if (!allowsOutsideRegion)
        return bounds.contains(region);
    const Rect common = region.intersected(bounds);
    return !common.isNull() && !common.isEmpty();
}

struct Vertical {
    double toolbarY;
    bool parametersAbove;
};

// Below the crop when the tool bar and the parameter panel fit there, else
// above it, else wherever there is more room.
Vertical chooseVertical(const Rect& image, double th, double ph, Size viewport)
{
    const double gap = ph > 0 ? ph + panelGap : 0;
    const double below = image.minY() - cropGap - th;
    const double above = image.maxY() + cropGap;
    const double roomBelow = below - margin;
    const double roomAbove = (viewport.height - margin) - above - th;
    if (roomBelow >= ph + panelGap)
        return {below, false};
    if (roomAbove < ph + panelGap && roomBelow >= gap)
        return {below, false};
    if (roomAbove >= gap)
        return {above, true};
    // Neither side has room (a crop covering the screen): the tool bar goes
    // over the crop, still on screen, with the parameter panel over it.
    if (roomAbove <= roomBelow)
        return {std::max(std::min(below, viewport.height - margin - th - gap), margin), true};
    return {std::max(std::min(above, viewport.height - margin - th), gap + margin), false};
}

} // namespace

std::optional<ScreenshotPlacement> make(Size capture, const Rect& region, Size viewport,
                                        Size toolbar, Size parameters, bool allowsOutsideRegion)
{
    if (!measurable(capture, region, viewport, toolbar, parameters)
        || !regionFits(region, capture, allowsOutsideRegion))
        return std::nullopt;

    const double s = std::min(viewport.width / capture.width, viewport.height / capture.height);
    const double x0 = (viewport.width - s * capture.width) / 2;
    const double y0 = (viewport.height - s * capture.height) / 2;
    ScreenshotPlacement placement;
    placement.background = Rect(x0, y0, s * capture.width, s * capture.height);
    placement.image = Rect(x0 + s * region.minX(), y0 + s * region.minY(), s * region.width(),
                           s * region.height());

    const double tw = std::min(toolbar.width, viewport.width - 2 * margin);
    const double th = std::min(toolbar.height, viewport.height - 2 * margin);
    const double ph = parameters.width <= 0
        ? 0
        : std::min(parameters.height, std::max(0.0, viewport.height - 2 * margin - th - panelGap));

    const Vertical vertical = chooseVertical(placement.image, th, ph, viewport);
    const double x
        = std::max(std::min(placement.image.midX() - tw / 2, viewport.width - margin - tw), margin);
    placement.toolbar = Rect(x, vertical.toolbarY, tw, th);

    if (ph > 0) {
        const double pw = std::min(parameters.width, viewport.width - 2 * margin);
        const double py = vertical.parametersAbove ? placement.toolbar.maxY() + panelGap
                                                   : placement.toolbar.minY() - panelGap - ph;
        const double px = std::max(std::min(x + panelGap, viewport.width - margin - pw), margin);
        placement.parameters = Rect(px, py, pw, ph);
    }
    return placement;
}

} // namespace kelpie::ScreenshotLayout
