#pragma once

#include "capture/CaptureError.h"
#include "geometry/Rect.h"
#include "platform/X11WindowList.h"

#include <QImage>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace kelpie {

class XcbSession;

// Reads pixels from the X server into images. When the server offers
// MIT-SHM, an image is read stripe by stripe through a small shared-memory
// segment that stays attached between reads, into memory of the image's
// own (see LargeImageMemory): a screen-sized segment made for each read
// would cost both processes a page fault per page every time. Otherwise
// the image owns a plain GetImage reply. A refusal is a `system` failure
// with the server's words.
class X11ImageReader {
public:
    using Result = CaptureResult<QImage>;

    // How pixels travel from the server: through a shared-memory segment
    // when the server offers one, or always in GetImage replies.
    enum class Transport { sharedMemoryWhereOffered, getImageOnly };

    explicit X11ImageReader(const XcbSession& session,
                            Transport transport = Transport::sharedMemoryWhereOffered);
    ~X11ImageReader();
    X11ImageReader(const X11ImageReader&) = delete;
    X11ImageReader& operator=(const X11ImageReader&) = delete;

    // The rectangle of `drawable`, whose depth is `depth`, as an image:
    // RGB32 for depth 24, premultiplied ARGB32 for depth 32.
    Result read(xcb_drawable_t drawable, std::uint8_t depth, int x, int y, int width,
                int height) const;

    // `area` of the root window as the desktop shows it, except that the
    // top-levels owned by `excludedPID` are left out: where they lie, and
    // `margin` pixels around them (where a compositing manager draws their
    // shadows), the image shows the windows beneath them, built from each
    // window's own contents (Composite), over the desktop background: the
    // published wallpaper, else the root window's own background.
    Result readDesktop(const Rect& area, std::span<const X11TopLevel> topLevels,
                       std::int32_t excludedPID, int margin = 0) const;

    // The complete contents of a top-level's visible frame (covered and
    // off-screen parts included), from the contents Composite keeps for it.
    Result readWindow(const X11TopLevel& topLevel) const;

    // Whether shared memory is in use (it is given up after a failure).
    bool usesSharedMemory() const;

    // Gets the memory for a read of `width` × `height` pixels ready now, so
    // that the read, about to be asked for, need not wait for it. Safe to
    // call on another thread than the read's.
    void readyFor(int width, int height) const;

    // The shared-memory segment kept for the next read: given back to the
    // system, and a word each time it comes back idle (see X11SegmentPool).
    void releaseIdleSegments() const;
    void setOnSegmentIdle(std::function<void()> onIdle) const;

private:
    struct Private;
    Private* d;
};

} // namespace kelpie
