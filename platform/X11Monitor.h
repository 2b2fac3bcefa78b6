#pragma once

#include "geometry/Rect.h"

#include <QString>

#include <cstdint>
#include <vector>

class QScreen;

namespace kelpie {

class XcbSession;

// The monitors of the X screen as RandR describes them, which is how Qt
// makes its screens.
struct X11Monitor {
    // The monitor's first RandR output. A monitor without outputs (one set
    // up by hand, or a virtual one) gets its name atom with the top bit set,
    // which no server-assigned output id can have, so numbers stay unique.
    std::uint32_t displayNumber = 0;
    QString name;
    // Device pixels of the root window.
    Rect nativeFrame;

    // The active monitors; empty without RandR 1.5 or on error.
    static std::vector<X11Monitor> list(const XcbSession& session);

    // The display number of a Qt screen: the monitor of the same name, else
    // the one at the same device-pixel place and size; 0 when none matches.
    static std::uint32_t displayNumberOf(const QScreen* screen,
                                         const std::vector<X11Monitor>& monitors);
};

} // namespace kelpie
