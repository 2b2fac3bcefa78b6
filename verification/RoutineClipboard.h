#pragma once

#include "editor/ImageClipboard.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelpie {

// The clipboard an editor of a verification routine writes to instead of
// the system's: it keeps what the outputs wrote, so that the routine can
// read it back, and the user's clipboard is left alone.
class RoutineClipboard : public ImageClipboard {
public:
    Status<ClipboardError> writePng(const QByteArray& png) override;
    Status<ClipboardError> writeText(const QString& text) override;

    // What the last write put there; each write replaces the other kind.
    const std::optional<QByteArray>& png() const { return m_png; }
    const std::optional<QString>& text() const { return m_text; }
    int writes() const { return m_writes; }
    void clear();

private:
    std::optional<QByteArray> m_png;
    std::optional<QString> m_text;
    int m_writes = 0;
};

} // namespace kelpie
