#pragma once

#include "geometry/Rect.h"
#include "geometry/Size.h"

#include <functional>
#include <optional>

namespace kelpie {

// Where a pin's two chrome panels go. Rectangles are in desktop space
// (points, origin bottom-left, y up), like the pin's own frame.
namespace PinChromePlacement {

struct Frames {
    Rect primary;
    // Absent when there is no secondary panel to place.
    std::optional<Rect> secondary;

    friend bool operator==(const Frames&, const Frames&) = default;
};

// The editor's panel placement rule, asked while the pin is being edited:
// the pin's frame relative to the visible frame's origin, the visible size,
// and the two panel sizes (a zero secondary size meaning none). Frames come
// back relative to the visible frame's origin; absent when the rule cannot
// place the panels.
using EditingRule = std::function<std::optional<Frames>(const Rect& region, Size viewport,
                                                        Size primary, Size secondary)>;

// Panels are never wider than the visible frame less 12 points a side.
double maximumPanelWidth(const Rect& visible);

// While viewing (or when the editing rule has no answer): the primary
// panel 4 points above the pin, right-aligned with it, or inside the pin's
// top edge when there is no room above; the secondary panel 8 points below
// the pin, left-aligned with it; both kept 8 points inside the visible
// frame. `secondary` is absent when the secondary panel has no visible row.
Frames place(const Rect& pin, const Rect& visible, Size primary, std::optional<Size> secondary,
             bool editing, const EditingRule& editingRule);

} // namespace PinChromePlacement
} // namespace kelpie
