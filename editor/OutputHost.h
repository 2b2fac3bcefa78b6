#pragma once

#include <QImage>
#include <QString>

#include <optional>

class QWidget;

namespace kelpie {

// What the outputs (copy, save, pin) need of the window they belong to. The
// editor window implements it; tests drive ImageOutputs through a fake.
class OutputHost {
public:
    virtual ~OutputHost() = default;

    // The window has gone through its close tear-down.
    virtual bool isClosed() const = 0;
    // The screenshot editor over the frozen screen.
    virtual bool isScreenshot() const = 0;
    virtual bool isPinned() const = 0;
    // The screenshot view is adjusting its region.
    virtual bool isAdjusting() const = 0;
    // The canvas has a drawing or drag gesture in progress.
    virtual bool hasDraft() const = 0;
    // The document is inside a transaction (a style slider drag).
    virtual bool inTransaction() const = 0;
    // The canvas's composite at full pixel size; absent when none could be made.
    virtual std::optional<QImage> composite() const = 0;
    // A text object is being typed on the canvas.
    virtual bool textBeingTyped() const = 0;
    // Commits the text being typed; false when it could not be committed
    // (input-method text pending), in which case the output stops silently.
    virtual bool finishTextEditing() = 0;
    // The live-text overlay's selected text; empty when the overlay is hidden
    // or nothing is selected.
    virtual QString selectedLiveText() const = 0;
    virtual void setStatus(const QString& text) = 0;
    virtual void closeWindow() = 0;
    // Hands an independent copy of the document (with its history) to onPin.
    virtual void pinDocumentCopy() = 0;
    // The window that the save dialog is attached to; null when there is none.
    virtual QWidget* dialogParent() = 0;
};

} // namespace kelpie
