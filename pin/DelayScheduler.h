#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace kelpie {

// Runs a task once after a delay on the thread that scheduled it, unless it
// is cancelled first. The chrome's hide goes through it so that the delay
// can be driven by a fake clock.
class DelayScheduler {
public:
    using Ticket = std::uint64_t;

    virtual ~DelayScheduler() = default;

    virtual Ticket schedule(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    // Unknown or already run tickets are ignored.
    virtual void cancel(Ticket ticket) = 0;
};

} // namespace kelpie
