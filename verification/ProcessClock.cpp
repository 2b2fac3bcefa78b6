#include "verification/ProcessClock.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <ctime>
#include <unistd.h>

namespace kelpie::ProcessClock {

namespace {

// starttime is the 22nd field of the stat line; the first two are the
// process id and the command name.
constexpr int startTimeField = 22;

} // namespace

double nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

std::optional<double> startMs(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return startMsFromStat(file.readAll(), sysconf(_SC_CLK_TCK));
}

std::optional<double> startMsFromStat(const QByteArray& stat, long ticksPerSecond)
{
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || ticksPerSecond <= 0)
        return std::nullopt;
    // After ") " come the fields from the third on.
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    const qsizetype index = startTimeField - 3;
    if (fields.size() <= index)
        return std::nullopt;
    bool ok = false;
    const qulonglong ticks = fields[index].toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return double(ticks) * 1000.0 / double(ticksPerSecond);
}

double startEstimateMs(double kernelStartMs, std::optional<double> spawnedAfterMs)
{
    return spawnedAfterMs ? std::max(kernelStartMs, *spawnedAfterMs) : kernelStartMs;
}

} // namespace kelpie::ProcessClock
