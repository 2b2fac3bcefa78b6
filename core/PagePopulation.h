#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace kelpie {

// Makes every page of [bytes, bytes + count) present and writable before it
// is written. The kernel fills them in one call where it can, far cheaper
// than one fault per page of fresh memory (on virtual machines a fault can
// cost tens of microseconds, so a screen-sized buffer costs tens of
// milliseconds); then one byte of every page is set to zero. Only for
// memory whose contents do not matter yet.
inline void populatePages(void* bytes, std::size_t count)
{
    if (!bytes || count == 0)
        return;
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(bytes);
    const std::uintptr_t first = start & ~(pageSize - 1);
#ifdef MADV_POPULATE_WRITE
    madvise(reinterpret_cast<void*>(first), start + count - first, MADV_POPULATE_WRITE);
#endif
    // Touched as well: under a hypervisor that shadows page tables, the first
    // access to each page costs a trap even when the kernel has filled it.
    auto* byte = static_cast<volatile unsigned char*>(bytes);
    for (std::size_t at = 0; at < count; at += pageSize)
        byte[at] = 0;
    // The last page, which the steps above miss when the range does not
    // start on a page boundary.
    byte[count - 1] = 0;
}

} // namespace kelpie
