#pragma once

#include <QString>

namespace kelpie {

// The in-place text editor as the canvas's interaction model sees it: the
// view opens and closes it and answers what has been typed. The widget's
// AnnotationTextView stands behind it; tests pass a scripted one.
class CanvasTextEditor {
public:
    virtual ~CanvasTextEditor() = default;

    // Shows the editor holding `text`, all of it selected, with the keyboard focus.
    virtual void open(const QString& text) = 0;
    // Drops any unconfirmed input-method text and removes the editor.
    virtual void close() = 0;
    virtual QString text() const = 0;
    // An input method is composing: its pre-edit text is not yet confirmed.
    virtual bool composing() const = 0;
    // Places and styles the editor again (new zoom, size or style).
    virtual void relayout() = 0;
};

} // namespace kelpie
