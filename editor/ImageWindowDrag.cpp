#include "editor/ImageWindowDrag.h"

namespace kelpie {

void ImageWindowDrag::press(QPoint pointer, QPoint windowOrigin)
{
    m_pointer = pointer;
    m_origin = windowOrigin;
    m_ended = false;
}

std::optional<QPoint> ImageWindowDrag::moved(QPoint pointer) const
{
    if (!m_pointer)
        return std::nullopt;
    return m_origin + (pointer - *m_pointer);
}

void ImageWindowDrag::release()
{
    m_pointer.reset();
    m_ended = true;
}

} // namespace kelpie
