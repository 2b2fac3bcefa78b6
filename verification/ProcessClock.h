#pragma once

#include <QByteArray>

#include <optional>
#include <sys/types.h>

namespace kelpie {

// Times on the kernel's boot clock (CLOCK_BOOTTIME), which is the clock a
// process's start time in /proc is counted on, in milliseconds.
namespace ProcessClock {

double nowMs();
// When the kernel started process `pid`, in whole clock ticks (10 ms at the
// usual 100 Hz), rounded down; absent when /proc does not say.
std::optional<double> startMs(pid_t pid);
// The same from the text of a /proc/<pid>/stat file and the ticks per
// second. The command name in parentheses may itself hold spaces and
// parentheses, so fields are counted after its last ")".
std::optional<double> startMsFromStat(const QByteArray& stat, long ticksPerSecond);

// The best estimate of a child's kernel start from what is known of it:
// the start in ticks (rounded down, so up to one tick early) and a stamp
// taken just before the parent forked it (never later than the start).
// The later of the two is the closer one.
double startEstimateMs(double kernelStartMs, std::optional<double> spawnedAfterMs);

} // namespace ProcessClock
} // namespace kelpie
