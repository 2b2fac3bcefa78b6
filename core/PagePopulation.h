#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace kelpie {

// Makes every page of [bytes, bytes + count) present and writable before it
// is written. The kernel does it in one call where it can, far cheaper than
// one fault per page of fresh memory (on virtual machines a fault can cost
// tens of microseconds, so a screen-sized buffer costs tens of
// milliseconds); else the pages are written one by one, which zeroes them.
// Only for memory whose contents do not matter yet.
inline void populatePages(void* bytes, std::size_t count)
{
    if (!bytes || count == 0)
        return;
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(bytes);
    const std::uintptr_t first = start & ~(pageSize - 1);
#ifdef MADV_POPULATE_WRITE
    if (madvise(reinterpret_cast<void*>(first), start + count - first, MADV_POPULATE_WRITE) == 0)
        return;
#endif
    std::memset(bytes, 0, count);
}

} // namespace kelpie
