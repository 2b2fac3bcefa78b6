#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace kelpie {

enum class ClipboardError {
    // The system clipboard did not take the data (no owner afterwards, or
    // another program took it back at once).
    refused,
    // There is no clipboard to write to (no display connection).
    unavailable,
};

// The system clipboard as the outputs see it: one image (PNG bytes, offered
// as image/png only) or one plain text, each replacing what was there.
class ImageClipboard {
public:
    virtual ~ImageClipboard() = default;

    virtual Status<ClipboardError> writePng(const QByteArray& png) = 0;
    virtual Status<ClipboardError> writeText(const QString& text) = 0;
};

} // namespace kelpie
