#include "text/RecognitionCancellation.h"

namespace kelpie {

const char* RecognitionCancellation::Cancelled::what() const noexcept
{
    return "text analysis cancelled";
}

RecognitionCancellation::RecognitionCancellation()
    : flag(std::make_shared<std::atomic<bool>>(false))
{
}

void RecognitionCancellation::cancel() const { flag->store(true, std::memory_order_relaxed); }

bool RecognitionCancellation::isCancelled() const { return flag->load(std::memory_order_relaxed); }

void RecognitionCancellation::throwIfCancelled() const
{
    if (isCancelled())
        throw Cancelled();
}

} // namespace kelpie
