#pragma once

#include "overlay/OverlaySpace.h"
#include "overlay/SelectionView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <memory>
#include <vector>

namespace kelpie::test {

// A selection view with recording callbacks, driven by synthetic events
// given in view space (y up).
class OverlayHarness {
public:
    struct Confirmation {
        QImage crop;
        Rect rect;
        SelectionAction action;
    };

    OverlayHarness(const QImage& image, Size size)
        : ownedView(std::make_unique<SelectionView>(image, size)), view(*ownedView)
    {
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        wire();
    }
    // Drives a view that lives in a window of its own.
    explicit OverlayHarness(SelectionView& existing) : view(existing) { wire(); }

    QPointF widgetPoint(Point p) const { return OverlaySpace::widgetPoint(p, view.height()); }

    void mouse(QEvent::Type type, Point p, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        const QPointF at = widgetPoint(p);
        QMouseEvent event(type, at, view.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void press(Point p) { mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void drag(Point p) { mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void release(Point p) { mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton); }
    void hover(Point p) { mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }
    void doubleClick(Point p)
    {
        press(p);
        release(p);
        mouse(QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
        release(p);
    }
    // A press, a drag in two steps and a release.
    void dragRegion(Point from, Point to)
    {
        press(from);
        drag({(from.x + to.x) / 2, (from.y + to.y) / 2});
        drag(to);
        release(to);
    }
    // Puts the pointer on image pixel (x, y) of a view shown at one image
    // pixel per point.
    void hoverPixel(int x, int y) { hover({static_cast<double>(x), view.height() - y * 1.0}); }

    void wire()
    {
        view.onConfirm
            = [this](const QImage& crop, const Rect& rect, const SelectionAction& action) {
                  confirmations.push_back({crop, rect, action});
              };
        view.onCancel = [this] { ++cancels; };
        view.onWindowPick = [this](const WindowTarget& target) { picks.push_back(target); };
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&view, &event);
    }

    std::unique_ptr<SelectionView> ownedView;
    SelectionView& view;
    std::vector<Confirmation> confirmations;
    std::vector<WindowTarget> picks;
    int cancels = 0;
};

} // namespace kelpie::test
