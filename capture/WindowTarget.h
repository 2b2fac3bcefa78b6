#pragma once

#include "geometry/Rect.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kelpie {

// A window that can be picked in the overlay, as listed when a display was
// frozen. `rect` is the part of its frame on the captured display, in
// screen-local points (origin bottom-left of that display, y up).
struct WindowTarget {
    std::uint32_t id = 0;
    std::int32_t ownerPID = 0;
    Rect rect;

    friend bool operator==(const WindowTarget&, const WindowTarget&) = default;

    // The first target, in list order (front-most first), whose rectangle is
    // not empty and contains the point.
    static std::optional<WindowTarget> hit(Point point, std::span<const WindowTarget> targets);

    // A window frame in Quartz global space (points, top-left of the primary
    // display, y down) converted to the screen-local space of `screenFrame`
    // (global desktop space, y up). `primaryTop` is the maximum y of the
    // primary display's frame. Absent for non-finite or non-positive input
    // and for a frame that does not meet the screen. Not clipped, so a
    // window hanging over the edge keeps its full size.
    static std::optional<Rect> editorRect(const Rect& quartzFrame, const Rect& screenFrame,
                                          double primaryTop);

    // editorRect clipped to the screen.
    static std::optional<Rect> localRect(const Rect& quartzFrame, const Rect& screenFrame,
                                         double primaryTop);
};

} // namespace kelpie
