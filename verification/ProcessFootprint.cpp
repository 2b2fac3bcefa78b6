#include "verification/ProcessFootprint.h"

#include <QFile>
#include <QList>

#include <array>

namespace kelpie {

std::optional<std::int64_t> footprintFromSmapsRollup(const QByteArray& text)
{
    constexpr std::array<const char*, 3> fields{"Private_Clean:", "Private_Dirty:", "Swap:"};
    std::array<bool, 3> seen{};
    std::int64_t kilobytes = 0;
    for (const QByteArray& line : text.split('\n')) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (!line.startsWith(fields[i]))
                continue;
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const qint64 value = parts.size() == 3 && parts[2] == "kB" ? parts[1].toLongLong(&ok) : 0;
            if (!ok || value < 0)
                return std::nullopt;
            kilobytes += value;
            seen[i] = true;
        }
    }
    if (!seen[0] || !seen[1])
        return std::nullopt;
    return kilobytes * 1024;
}

std::optional<std::int64_t> processFootprint()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    // A proc file reports no size; read it until it ends.
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return footprintFromSmapsRollup(file.readAll());
}

} // namespace kelpie
