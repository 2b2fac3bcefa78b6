#pragma once

#include "editor/ScreenshotPlacement.h"

#include <optional>

namespace kelpie {

// The placement rule of the screenshot editor: the frozen screen fitted
// into the viewport, the crop at its source position on it, the tool bar
// next to the crop (below when there is room, else above) and the
// parameter panel beside the tool bar, all kept 12 points inside the
// viewport. The pinned editor places its panels with the same rule.
namespace ScreenshotLayout {

// Absent for sizes that cannot be laid out (non-finite numbers, a viewport
// of 24 points or less, empty capture, region or tool bar, a region outside
// the capture, or one that does not even meet it when allowsOutsideRegion).
// A parameter panel of zero width means there is none.
std::optional<ScreenshotPlacement> make(Size capture, const Rect& region, Size viewport,
                                        Size toolbar, Size parameters, bool allowsOutsideRegion);

} // namespace ScreenshotLayout
} // namespace kelpie
