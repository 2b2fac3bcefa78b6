#pragma once

#include "geometry/Rect.h"

#include <array>
#include <cstdint>

namespace kelpie {

// One of the eight grab points of an axis-aligned rectangle in a y-up space,
// and the resize rule shared by every resizable rectangle: the capture
// region, the region adjusted in the editor and annotation objects.
class SelectionHandle {
public:
    // Declaration order is the order hit tests try the handles in.
    enum Kind : std::uint8_t {
        bottomLeft,
        bottom,
        bottomRight,
        right,
        topRight,
        top,
        topLeft,
        left,
    };

    // Factors per axis: 0 moves the minimum edge, 1 the maximum edge, 0.5
    // leaves that axis alone.
    struct Axes {
        double x;
        double y;

        friend bool operator==(const Axes&, const Axes&) = default;
    };

    constexpr SelectionHandle(Kind kind) : m_kind(kind) { }

    static constexpr std::array<SelectionHandle, 8> allCases()
    {
        return {bottomLeft, bottom, bottomRight, right, topRight, top, topLeft, left};
    }

    constexpr Kind kind() const { return m_kind; }
    Axes axes() const;
    Point point(const Rect& rect) const;

    // The rectangle after dragging this handle of `rect` to `toward`. It
    // stays inside (0, 0, canvas), flips when dragged past the opposite edge
    // and keeps at least `minimum` per axis where the canvas allows.
    Rect resize(const Rect& rect, Point toward, Size canvas, Size minimum) const;

    friend constexpr bool operator==(SelectionHandle, SelectionHandle) = default;

private:
    Kind m_kind;
};

} // namespace kelpie
