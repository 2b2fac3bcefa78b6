#include "platform/LargeImageMemory.h"

#include "core/PagePopulation.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace kelpie {
namespace {

constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;

struct Mapping {
    void* address;
    std::size_t bytes;
};

void unmap(void* info)
{
    const Mapping* mapping = static_cast<Mapping*>(info);
    munmap(mapping->address, mapping->bytes);
    delete mapping;
}

std::uintptr_t roundUp(std::uintptr_t value, std::uintptr_t unit)
{
    return (value + unit - 1) / unit * unit;
}

} // namespace

QImage LargeImageMemory::allocate(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0)
        return {};
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::size_t stride = std::size_t(width) * 4;
    const std::size_t bytes = roundUp(stride * std::size_t(height), pageSize);
    // Mapped a huge page larger, then trimmed to start on a huge-page
    // boundary: only whole aligned 2 MiB stretches can be huge pages.
    const std::size_t mapped = bytes + hugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return {};
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(start, hugePage);
    if (aligned > start)
        munmap(raw, aligned - start);
    const std::uintptr_t end = aligned + bytes;
    if (start + mapped > end)
        munmap(reinterpret_cast<void*>(end), start + mapped - end);
    void* address = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(address, bytes, MADV_HUGEPAGE);
#endif
    populatePages(address, bytes);
    return QImage(static_cast<uchar*>(address), width, height, qsizetype(stride), format, unmap,
                  new Mapping{address, bytes});
}

} // namespace kelpie
