#pragma once

#include <atomic>
#include <exception>
#include <memory>

namespace kelpie {

// A cancellation flag shared between whoever starts a text analysis and the
// code doing the work. Copies share one flag, so the owner keeps a copy,
// hands one to the background task and cancels its own when the result is
// no longer wanted; the work checks it between steps and stops.
class RecognitionCancellation {
public:
    // Thrown by text analysis and safe-image preparation when they stop
    // because they were cancelled: a cancelled task never yields a result.
    struct Cancelled : std::exception {
        const char* what() const noexcept override;
    };

    RecognitionCancellation();

    void cancel() const;
    bool isCancelled() const;
    // Throws Cancelled once cancel() was called on any copy.
    void throwIfCancelled() const;

private:
    std::shared_ptr<std::atomic<bool>> flag;
};

} // namespace kelpie
