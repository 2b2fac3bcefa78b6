#pragma once

#include <QImage>

namespace kelpie {

// Memory for a large image that only this process maps, such as a screen
// read from the display server. Fresh pages are the cost of such an image:
// under a hypervisor each 4 KiB page faulted in can cost ten microseconds
// or more, some 20 ms for a 1920 × 1080 screen. The memory is therefore
// mapped on its own, asked to be backed by 2 MiB pages where the kernel
// grants them on request, and made present in one call; without huge pages
// it still saves the faults of writing it page by page.
class LargeImageMemory {
public:
    // An image of `width` × `height` pixels of four bytes (RGB32 or an
    // ARGB32 format) that owns such memory, its contents undefined; a null
    // image when the system refuses the memory.
    static QImage allocate(int width, int height, QImage::Format format);
};

} // namespace kelpie
