#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QImage;

namespace kelpie {

// Shared-memory segments that the X server writes images into and that the
// images then keep as their pixels, so a screen image is never copied on our
// side. A segment comes back here when its last image goes, still attached
// to the server and with its pages mapped, so the next capture of the same
// size pays neither for attaching nor for page faults. At most two idle
// segments are kept (a screen and something smaller, such as the area under
// our own windows); the rest are given back to the system.
//
// Images may outlive the pool: a segment that comes back after the pool is
// gone is simply unmapped (the server let go when the connection closed).
class X11SegmentPool : public std::enable_shared_from_this<X11SegmentPool> {
public:
    struct Segment {
        xcb_shm_seg_t name = 0;
        void* address = nullptr;
        std::size_t bytes = 0;
    };

    explicit X11SegmentPool(xcb_connection_t* connection);
    ~X11SegmentPool();
    X11SegmentPool(const X11SegmentPool&) = delete;
    X11SegmentPool& operator=(const X11SegmentPool&) = delete;

    // An idle segment of at least `bytes`, else a new one; absent when the
    // system or the server refuses one (shared memory is then of no use).
    // Waits for a segment being readied, which may be the one it needs.
    std::optional<Segment> take(std::size_t bytes);

    // Makes sure an idle segment of at least `bytes` waits for the next
    // take(), making and filling it now if there is none: for a read that is
    // about to be asked for, so that it finds its memory ready. The segment
    // is reported idle like one that came back.
    void ready(std::size_t bytes);

    // An image whose pixels are the segment's; the segment comes back when
    // the last copy of the image is gone.
    QImage adopt(const Segment& segment, int width, int height, int format);

    // For a segment that was taken but will not hold an image.
    void giveBack(const Segment& segment);

    // Gives every idle segment back to the system; segments that images
    // still hold are untouched. For when no capture is expected soon: an
    // idle screen-sized segment is as large as the screen.
    void releaseIdle();
    // Told, on whichever thread an image let go of its pixels, that a
    // segment has come back idle. Set it before images are handed out, or
    // clear it, only while no other thread uses the pool.
    void setOnIdle(std::function<void()> onIdle);

private:
    std::optional<Segment> make(std::size_t bytes);
    void release(const Segment& segment);
    void tellIdle();

    xcb_connection_t* connection_;
    std::mutex lock_;
    std::condition_variable readied_;
    bool readying_ = false;
    std::vector<Segment> idle_;
    std::function<void()> onIdle_;
};

} // namespace kelpie
