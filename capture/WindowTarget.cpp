#include "capture/WindowTarget.h"

#include <cmath>

namespace kelpie {
namespace {

bool hasPositiveFiniteSize(const Rect& r)
{
    return r.isFinite() && r.size.width > 0 && r.size.height > 0;
}

Rect screenBounds(const Rect& screenFrame)
{
    return Rect(0, 0, screenFrame.size.width, screenFrame.size.height);
}

} // namespace

std::optional<WindowTarget> WindowTarget::hit(Point point, std::span<const WindowTarget> targets)
{
    for (const WindowTarget& target : targets) {
        if (!target.rect.isEmpty() && target.rect.contains(point))
            return target;
    }
    return std::nullopt;
}

std::optional<Rect> WindowTarget::editorRect(const Rect& quartzFrame, const Rect& screenFrame,
                                             double primaryTop)
{
    if (!hasPositiveFiniteSize(quartzFrame) || !hasPositiveFiniteSize(screenFrame)
        || !std::isfinite(primaryTop))
        return std::nullopt;

    // primaryTop − maxY is the window's bottom edge in global desktop space;
    // subtracting the screen's origin makes it screen-local.
    const Rect local(quartzFrame.minX() - screenFrame.minX(),
                     primaryTop - quartzFrame.maxY() - screenFrame.minY(), quartzFrame.width(),
                     quartzFrame.height());
    if (!local.intersects(screenBounds(screenFrame)))
        return std::nullopt;
    return local;
}

std::optional<Rect> WindowTarget::localRect(const Rect& quartzFrame, const Rect& screenFrame,
                                            double primaryTop)
{
    const std::optional<Rect> full = editorRect(quartzFrame, screenFrame, primaryTop);
    if (!full)
        return std::nullopt;
    return full->intersected(screenBounds(screenFrame));
}

} // namespace kelpie
