#pragma once

#include <QWidget>

#include <functional>

class QKeyEvent;

namespace kelpie {

// The window around a canvas. It hands keys to the canvas: Ctrl+C copies
// the screenshot where the host installed that, a screenshot Return is
// offered to the canvas before anything else (unless a text editor has the
// focus, which takes it as a line break), and keys that the focused control
// leaves alone are offered to the canvas before the window's own handling.
class AnnotationWindow : public QWidget {
    Q_OBJECT

public:
    explicit AnnotationWindow(QWidget* parent = nullptr);
    ~AnnotationWindow() override;

    // Offers a key to the canvas; true means handled.
    std::function<bool(const QKeyEvent& event)> handleCanvasKey;
    // Return copies the screenshot (the screenshot editor).
    bool copiesScreenshotOnReturn = false;
    // Ctrl+C copies the screenshot.
    std::function<void()> copyScreenshotSelection;
    // Offers a key to the host's menu commands (undo, select all...) after
    // the keys above; `textViewFocused` says whether a text view has the
    // focus, which keeps most of them for itself. True means handled.
    std::function<bool(const QKeyEvent& event, bool textViewFocused)> handleMenuKey;

    // Return or keypad Enter with none of Shift, Ctrl, Alt and Meta held.
    static bool isScreenshotReturn(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The keys the window takes before the focused control sees them.
    bool handleKeyEquivalent(const QKeyEvent& event);
    bool textViewHasFocus() const;
};

} // namespace kelpie
