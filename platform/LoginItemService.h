#pragma once

#include "core/Result.h"

namespace kelpie {

// Whether Kelpie starts when the user logs in, as the desktop sees it.
enum class LoginItemStatus {
    notRegistered,
    enabled,
    // The desktop holds the entry back until the user approves it.
    requiresApproval,
    // Login starts cannot be offered at all (no configuration folder, no
    // known path of the program).
    notFound,
    // The entry exists but cannot be read.
    unknown,
};

enum class LoginItemError {
    // The entry cannot be written or removed.
    unwritable,
    // There is nothing to register: the program's path is unknown or cannot
    // be written into an entry.
    notFound,
};

// The desktop's facility for starting Kelpie at login. The implementation
// writes an XDG autostart entry; tests use a fake.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;

    virtual Status<LoginItemError> registerItem() = 0;
    // Succeeds when no entry is left, also when there was none.
    virtual Status<LoginItemError> unregisterItem() = 0;
    virtual LoginItemStatus status() const = 0;
    // Shows the user where login starts are managed; false when nothing
    // could be opened.
    virtual bool openSettings() = 0;
};

} // namespace kelpie
