#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kelpie {

// Shared-memory segments that the X server writes images into, kept
// attached and mapped between reads: a fresh segment costs a page fault per
// page on both sides of the connection, the server's included, and on a
// virtual machine that is tens of milliseconds for a screen's worth. The
// segments are small (images are read through them stripe by stripe), so
// keeping one costs little. At most two idle segments are kept; the rest
// are given back to the system.
class X11SegmentPool {
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

    // A segment taken earlier, idle again.
    void giveBack(const Segment& segment);

    // Gives every idle segment back to the system; segments taken are
    // untouched. For when no capture is expected soon.
    void releaseIdle();
    // Told, on whichever thread gave it back, that a segment has come back
    // idle. Set or clear it only while no other thread uses the pool.
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
