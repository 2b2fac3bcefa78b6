#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace kelpie {

// The process's physical footprint: its private resident memory plus what
// of it is swapped out (Private_Clean + Private_Dirty + Swap of
// /proc/self/smaps_rollup), in bytes. Shared libraries and fonts mapped by
// every process do not count. Absent when the kernel does not say.
std::optional<std::int64_t> processFootprint();
// The same figure from the text of an smaps_rollup file.
std::optional<std::int64_t> footprintFromSmapsRollup(const QByteArray& text);

} // namespace kelpie
