#pragma once

#include "core/Result.h"

#include <functional>

namespace kelpie {

// One Kelpie per desktop session: the first process owns a well-known name
// on the session bus and serves requests that later processes hand to it.
// The D-Bus implementation owns io.kelpie.Kelpie; tests use a fake.
class SingleInstance {
public:
    // What a later process asks of the session's Kelpie.
    enum class Request {
        // Start a capture at once, as the tray menu's item does.
        captureNow,
    };

    enum class Error {
        // There is no session bus to meet on.
        noSessionBus,
        // The session's Kelpie did not take the request (it is gone, or did
        // not answer).
        notDelivered,
    };

    virtual ~SingleInstance() = default;

    // Called on the main thread for each request handed over, once this
    // process has claimed the name.
    std::function<void(Request)> onRequest;

    // True when this process is now the session's Kelpie, false when
    // another process already is.
    virtual Result<bool, Error> claim() = 0;
    // Hands a request to the session's Kelpie and waits for it to be taken.
    virtual Status<Error> handOver(Request request) = 0;
};

} // namespace kelpie
