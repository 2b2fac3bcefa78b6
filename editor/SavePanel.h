#pragma once

#include "editor/ImageEncoding.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace kelpie {

// The save dialog as the outputs see it: shown window-modal on a window,
// reporting the chosen path and format, or nothing when cancelled. The
// file-dialog implementation is FileDialogSavePanel; tests use a fake.
class SavePanel {
public:
    struct Request {
        // Folder the dialog opens in; empty for the dialog's own choice.
        QString directory;
        // The proposed file name, e.g. "Kelpie-1767225600.png".
        QString fileName;
    };
    struct Choice {
        QString path;
        ImageType type = ImageType::png;
    };
    using Completion = std::function<void(std::optional<Choice>)>;

    virtual ~SavePanel() = default;

    // True when a window-modal dialog of any kind is attached to the window.
    virtual bool hasAttachedSheet(QWidget* window) const = 0;
    // Shows the dialog attached to the window and returns at once; the
    // completion runs later on the main thread, exactly once: with the
    // choice, or with nothing when the dialog is cancelled or destroyed.
    virtual void present(QWidget* window, const Request& request, Completion completion) = 0;
};

} // namespace kelpie
