#include "platform/X11SegmentPool.h"

#include "core/PagePopulation.h"
#include "platform/XcbSession.h"

#include <algorithm>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace kelpie {
namespace {

constexpr std::size_t idleLimit = 2;

} // namespace

X11SegmentPool::X11SegmentPool(xcb_connection_t* connection) : connection_(connection) { }

X11SegmentPool::~X11SegmentPool()
{
    for (const Segment& segment : idle_)
        release(segment);
    xcb_flush(connection_);
}

std::optional<X11SegmentPool::Segment> X11SegmentPool::take(std::size_t bytes)
{
    {
        std::unique_lock guard(lock_);
        readied_.wait(guard, [this] { return !readying_; });
        // The smallest idle segment that is big enough.
        auto best = idle_.end();
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if (it->bytes >= bytes && (best == idle_.end() || it->bytes < best->bytes))
                best = it;
        }
        if (best != idle_.end()) {
            const Segment found = *best;
            idle_.erase(best);
            return found;
        }
    }
    return make(bytes);
}

void X11SegmentPool::ready(std::size_t bytes)
{
    {
        const std::lock_guard guard(lock_);
        if (readying_
            || std::ranges::any_of(idle_, [bytes](const Segment& s) { return s.bytes >= bytes; }))
            return;
        readying_ = true;
    }
    const std::optional<Segment> made = make(bytes);
    {
        const std::lock_guard guard(lock_);
        readying_ = false;
        if (made)
            idle_.push_back(*made);
    }
    readied_.notify_all();
    if (made)
        tellIdle();
}

std::optional<X11SegmentPool::Segment> X11SegmentPool::make(std::size_t bytes)
{
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return std::nullopt;
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return std::nullopt;
    }
    // Its pages come in now, in one call, rather than one fault at a time
    // while the first image is copied out of it.
    populatePages(address, bytes);
    const xcb_shm_seg_t name = xcb_generate_id(connection_);
    XcbPtr<xcb_generic_error_t> failed(xcb_request_check(
        connection_, xcb_shm_attach_checked(connection_, name, static_cast<std::uint32_t>(id), 0)));
    // Marked for removal at once: the kernel frees the memory when the server
    // and we have both let go, even if either of us dies.
    shmctl(id, IPC_RMID, nullptr);
    if (failed) {
        shmdt(address);
        return std::nullopt;
    }
    return Segment{name, address, bytes};
}

void X11SegmentPool::giveBack(const Segment& segment)
{
    std::optional<Segment> surplus;
    {
        const std::lock_guard guard(lock_);
        idle_.push_back(segment);
        if (idle_.size() > idleLimit) {
            const auto smallest = std::ranges::min_element(
                idle_, [](const Segment& a, const Segment& b) { return a.bytes < b.bytes; });
            surplus = *smallest;
            idle_.erase(smallest);
        }
    }
    if (surplus) {
        release(*surplus);
        xcb_flush(connection_);
    }
    tellIdle();
}

void X11SegmentPool::tellIdle()
{
    std::function<void()> told;
    {
        const std::lock_guard guard(lock_);
        told = onIdle_;
    }
    if (told)
        told();
}

void X11SegmentPool::releaseIdle()
{
    std::vector<Segment> released;
    {
        const std::lock_guard guard(lock_);
        released.swap(idle_);
    }
    for (const Segment& segment : released)
        release(segment);
    if (!released.empty())
        xcb_flush(connection_);
}

void X11SegmentPool::setOnIdle(std::function<void()> onIdle)
{
    const std::lock_guard guard(lock_);
    onIdle_ = std::move(onIdle);
}

void X11SegmentPool::release(const Segment& segment)
{
    xcb_shm_detach(connection_, segment.name);
    shmdt(segment.address);
}

} // namespace kelpie
