#pragma once

#include "app/LaunchOptions.h"
#include "platform/SingleInstance.h"

namespace kelpie {

// How a starting process takes its place in the desktop session: as the
// session's one Kelpie (tray icon, hot keys), as a process that handed its
// request to that Kelpie and ends with status 0, or, with a fixture, on
// its own beside any other.
namespace SessionStart {

enum class Role {
    independent,
    primary,
    handedOver,
};

// Claims the session's name or hands "--capture-now" to its owner. When
// the owner goes away during the hand-over, this process takes its place.
// Without a session bus every process runs as primary, as if alone. Fails
// only when the owner is there but does not take the request.
Result<Role, SingleInstance::Error> settle(const LaunchOptions& options, SingleInstance& instance);

// The cheap first try of `kelpie --capture-now`, made before the toolkit
// connects to the display: true when a running Kelpie took the request.
// False also when there is nothing to hand over (independent processes,
// no "--capture-now"); settle() then decides as usual.
bool handOverEarly(const LaunchOptions& options, SingleInstance& instance);

} // namespace SessionStart
} // namespace kelpie
