#pragma once

#include "editor/ImageClipboard.h"

namespace kelpie {

// The application's clipboard (on X11 the CLIPBOARD selection). An image is
// offered as image/png only; text as plain UTF-8 text. After setting, the
// clipboard is asked whether it really holds what was set, so a refusal
// (another client taking the selection at once, no display) is reported
// rather than claimed as a copy.
class QtImageClipboard : public ImageClipboard {
public:
    static constexpr const char* pngMimeType = "image/png";

    Status<ClipboardError> writePng(const QByteArray& png) override;
    Status<ClipboardError> writeText(const QString& text) override;
};

} // namespace kelpie
