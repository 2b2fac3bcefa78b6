#pragma once

#include <QPoint>

#include <optional>

namespace kelpie {

// A pin moved by dragging its background: the pointer and the window's
// origin at the press, and the origin that follows the pointer. Positions
// are global screen coordinates.
class ImageWindowDrag {
public:
    void press(QPoint pointer, QPoint windowOrigin);
    // The window origin for the pointer; absent when no press started a drag.
    std::optional<QPoint> moved(QPoint pointer) const;
    void release();

    bool active() const { return m_pointer.has_value(); }
    // The last drag has ended (and none has started since).
    bool ended() const { return m_ended; }

private:
    std::optional<QPoint> m_pointer;
    QPoint m_origin;
    bool m_ended = false;
};

} // namespace kelpie
