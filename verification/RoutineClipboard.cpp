#include "verification/RoutineClipboard.h"

namespace kelpie {

Status<ClipboardError> RoutineClipboard::writePng(const QByteArray& png)
{
    m_png = png;
    m_text.reset();
    ++m_writes;
    return Done{};
}

Status<ClipboardError> RoutineClipboard::writeText(const QString& text)
{
    m_text = text;
    m_png.reset();
    ++m_writes;
    return Done{};
}

void RoutineClipboard::clear()
{
    m_png.reset();
    m_text.reset();
}

} // namespace kelpie
