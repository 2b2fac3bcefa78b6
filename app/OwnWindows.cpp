#include "app/OwnWindows.h"

#include "overlay/SelectionWindow.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace kelpie::OwnWindows {
namespace {

// Remembers whether its window was closed while hidden, so that closing a
// window during a capture is not undone when the capture ends.
class CloseWatch : public QObject {
public:
    explicit CloseWatch(QWidget* window) : QObject(window) { window->installEventFilter(this); }
    bool closed = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            closed = true;
        return false;
    }
};

} // namespace

std::function<void()> hideForCapture()
{
    struct Hidden {
        QPointer<QWidget> window;
        QPointer<CloseWatch> watch;
    };
    std::vector<Hidden> hidden;
    bool anyShown = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        anyShown = true;
        // Windows of a window (a pin's panels) are its owner's to show
        // again: shown anew by Kelpie here, a Wayland compositor would no
        // longer treat them as belonging to it.
        if (!qobject_cast<SelectionWindow*>(window) && !window->parentWidget())
            hidden.push_back({window, new CloseWatch(window)});
        window->hide();
    }
    if (!anyShown)
        return {};
    return [hidden = std::move(hidden)] {
        for (const Hidden& entry : hidden) {
            QWidget* window = entry.window.data();
            CloseWatch* watch = entry.watch.data();
            if (!window || !watch)
                continue;
            if (!watch->closed)
                window->show();
            delete watch;
        }
    };
}

} // namespace kelpie::OwnWindows
