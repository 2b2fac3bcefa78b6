#include "capture/ShareableContent.h"

namespace kelpie {

const ShareableContent::Display* ShareableContent::display(std::uint32_t displayID) const
{
    for (const Display& candidate : displays) {
        if (candidate.displayID == displayID)
            return &candidate;
    }
    return nullptr;
}

const ShareableContent::Window* ShareableContent::window(std::uint32_t windowID) const
{
    for (const Window& candidate : windows) {
        if (candidate.windowID == windowID)
            return &candidate;
    }
    return nullptr;
}

} // namespace kelpie
