#pragma once

#include "geometry/Rect.h"

#include <QImage>
#include <QWidget>

#include <thread>

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
    // A window for `screen` whose picture comes later (setImage()). Hidden
    // until present().
    explicit SelectionWindow(const QScreen* screen);
    ~SelectionWindow() override;

    // Gives a window without a picture its picture and its view.
    void setImage(const QImage& image);
    // Hides the window and lets go of its picture and view, keeping the
    // native window and its drawing memory for another picture.
    void clear();

    SelectionView* view() const { return m_view; }
    // The window's frame in global desktop space (points, y up).
    Rect frameInDesktop() const { return m_frameInDesktop; }

    // A toolkit screen rectangle in global desktop space.
    static Rect desktopFrame(const QRect& screenGeometry, const QRect& primaryGeometry);

    // Creates the native window and, where the server does not dim the
    // window as it maps it (see X11FirstFrame), starts writing its drawing
    // memory, so that present() need not: a capture calls it on the window
    // it will need while the screen is read, since fresh memory for a 4K
    // window takes tens of milliseconds to fault in.
    void prepare();
    // Shows the window over its screen, in front, with the keyboard.
    void present();

Q_SIGNALS:
    // The pointer came over this window from elsewhere.
    void pointerEntered();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    SelectionWindow(const QRect& screenGeometry, const QRect& primaryGeometry);

    SelectionView* m_view = nullptr;
    Rect m_frameInDesktop;
    bool m_prepared = false;
    // Writes the drawing memory's pages while the caller goes on.
    std::thread m_prefault;
};

} // namespace kelpie
