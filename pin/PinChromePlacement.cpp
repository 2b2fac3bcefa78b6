#include "pin/PinChromePlacement.h"

#include <algorithm>

namespace kelpie::PinChromePlacement {
namespace {

// Panels stay this far inside the visible frame.
constexpr double inset = 8;
// The primary panel floats this far above the pin...
constexpr double primaryGap = 4;
// ...or, without room above, sits this far inside the pin's top edge.
constexpr double primaryInsideGap = 6;
// The secondary panel hangs this far below the pin.
constexpr double secondaryGap = 8;

Rect primaryBeside(const Rect& pin, const Rect& visible, Size size)
{
    double y = pin.maxY() + primaryGap;
    if (visible.maxY() < y + size.height)
        y = pin.maxY() - size.height - primaryInsideGap;
    double x = std::min(visible.maxX() - size.width - inset, pin.maxX() - size.width);
    x = std::max(x, visible.minX() + inset);
    y = std::max(y, visible.minY() + inset);
    return Rect(x, y, size.width, size.height);
}

Rect secondaryBelow(const Rect& pin, const Rect& visible, Size size)
{
    const double x = std::max(visible.minX() + inset,
                              std::min(visible.maxX() - size.width - inset, pin.minX()));
    const double y
        = std::max(visible.minY() + inset,
                   std::min(visible.maxY() - size.height - inset, pin.minY() - size.height - secondaryGap));
    return Rect(x, y, size.width, size.height);
}

} // namespace

double maximumPanelWidth(const Rect& visible) { return std::max(visible.width() - 24, 0.0); }

Frames place(const Rect& pin, const Rect& visible, Size primary, std::optional<Size> secondary,
             bool editing, const EditingRule& editingRule)
{
    if (editing && editingRule) {
        const Rect region = pin.offsetBy(-visible.minX(), -visible.minY());
        const auto placed
            = editingRule(region, visible.size, primary, secondary.value_or(Size{0, 0}));
        if (placed) {
            Frames frames;
            frames.primary = placed->primary.offsetBy(visible.minX(), visible.minY());
            if (secondary && placed->secondary)
                frames.secondary = placed->secondary->offsetBy(visible.minX(), visible.minY());
            return frames;
        }
    }
    Frames frames;
    frames.primary = primaryBeside(pin, visible, primary);
    if (secondary)
        frames.secondary = secondaryBelow(pin, visible, *secondary);
    return frames;
}

} // namespace kelpie::PinChromePlacement
