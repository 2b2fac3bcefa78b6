#pragma once

#include "geometry/Rect.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kelpie {

// What the capture service can see at one moment: the displays and the
// windows on them. Frames are in device pixels of the whole desktop (the X
// root window: origin top-left, y down); converting them to points is the
// capture logic's job, because it depends on the screen a frame is shown on.
struct ShareableContent {
    // Windows of the ordinary application layer. Docks, desktops, menus,
    // tooltips and windows that bypass the window manager sit on others.
    static constexpr int normalLayer = 0;
    static constexpr int otherLayer = 1;

    struct Display {
        std::uint32_t displayID = 0;
        // The display's content in points, and how many pixels a point has.
        Rect contentRect;
        double pointPixelScale = 1;
        // Where the display lies on the desktop, in device pixels.
        Rect nativeFrame;

        friend bool operator==(const Display&, const Display&) = default;
    };

    struct Window {
        std::uint32_t windowID = 0;
        bool onScreen = false;
        int windowLayer = normalLayer;
        // Absent when the owning process cannot be told.
        std::optional<std::int32_t> ownerPID;
        // The frame as the user sees it (decorations included), device pixels.
        Rect nativeFrame;

        friend bool operator==(const Window&, const Window&) = default;
    };

    std::vector<Display> displays;
    // Front-most first.
    std::vector<Window> windows;

    const Display* display(std::uint32_t displayID) const;
    const Window* window(std::uint32_t windowID) const;
};

} // namespace kelpie
