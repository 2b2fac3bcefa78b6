#include "app/SessionStart.h"

namespace kelpie {

Result<SessionStart::Role, SingleInstance::Error> SessionStart::settle(const LaunchOptions& options,
                                                                       SingleInstance& instance)
{
    if (options.runsIndependently())
        return Role::independent;
    const bool captureNow = options.captureNow(false);
    // Twice at most: the owner may end between our claim and our call.
    Status<SingleInstance::Error> delivered = Done{};
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto claimed = instance.claim();
        if (!claimed || claimed.value())
            return Role::primary;
        if (!captureNow)
            return Role::handedOver;
        delivered = instance.handOver(SingleInstance::Request::captureNow);
        if (delivered)
            return Role::handedOver;
    }
    return delivered.failure();
}

bool SessionStart::handOverEarly(const LaunchOptions& options, SingleInstance& instance)
{
    if (options.runsIndependently() || !options.captureNow(false))
        return false;
    return bool(instance.handOver(SingleInstance::Request::captureNow));
}

} // namespace kelpie
