#pragma once

#include "geometry/Rect.h"

#include <QImage>
#include <QWidget>

class QScreen;

namespace kelpie {

class SelectionView;

// The borderless window that covers one screen, above everything else, with
// the selection view as its content. It takes the keyboard although it has
// no frame.
class SelectionWindow : public QWidget {
    Q_OBJECT

public:
    // `screenGeometry` is the screen's frame in the toolkit's global
    // coordinates (y down, origin at the top-left of the root window);
    // `primaryGeometry` that of the primary screen, whose bottom-left is the
    // origin of the global desktop space.
    SelectionWindow(const QImage& image, const QRect& screenGeometry, const QRect& primaryGeometry);
    // The same for a screen the toolkit knows.
    SelectionWindow(const QImage& image, const QScreen* screen);

    SelectionView* view() const { return m_view; }
    // The window's frame in global desktop space (points, y up).
    Rect frameInDesktop() const { return m_frameInDesktop; }

    // A toolkit screen rectangle in global desktop space.
    static Rect desktopFrame(const QRect& screenGeometry, const QRect& primaryGeometry);

    // Shows the window over its screen, in front, with the keyboard.
    void present();

Q_SIGNALS:
    // The pointer came over this window from elsewhere.
    void pointerEntered();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    SelectionView* m_view;
    Rect m_frameInDesktop;
};

} // namespace kelpie
