#pragma once

#include "geometry/Rect.h"
#include "geometry/Size.h"

namespace kelpie {

// The sizes and frames of the editor window, as pure functions of the image
// and the screen. Frames are in one space throughout (a rule that clamps or
// centres reads the same in y-up and y-down spaces); the two conversions
// between Qt's y-down logical geometry and the y-up desktop space are here
// too, so pinned frames cross that border in one place.
namespace ImageWindowGeometry {

// The plain editor's content size for an image of `pixels`: the width
// raised to 880 and capped at 1040, the height following the image's aspect
// plus 100 for the rows, at least 360 and at most 780. An image without
// area (never made by a capture) gets the smallest editor.
Size plainEditorSize(Size pixels);

// The plain editor's minimum window size: narrower while viewing, taller
// while the style row is shown.
Size plainMinimumSize(bool editing, bool styleRowVisible);

// The pinned window's minimum size: the longer side 32 points, the other
// following the image's aspect.
Size pinMinimumSize(Size pixels);

// `frame` scaled by `factor` per axis about its centre, each side at least
// `minimum` and at most `visible`.
Rect zoomed(const Rect& frame, double factor, Size minimum, Size visible);

// `frame` made to fit inside `visible`: its size capped at the visible
// size and its origin moved so that it lies inside.
Rect clampedInto(const Rect& frame, const Rect& visible);

// Qt logical geometry (y down) to desktop space (origin at the primary
// screen's bottom-left, y up), and back.
Rect desktopRect(const Rect& logical, const Rect& primaryLogical);
Rect logicalRect(const Rect& desktop, const Rect& primaryLogical);

} // namespace ImageWindowGeometry
} // namespace kelpie
