#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

namespace kelpie {

class ImageWindow;

// Which of a set of closed editors and pins are still alive: each window's
// controller (the ImageWindow), the objects it is made of (its window, its
// canvas, its live-text layer and recognition session) and the pixels of
// the document it showed. Everything is held weakly, so counting never
// keeps anything alive: the objects through guarded pointers, the document
// through a copy of the image it was opened on, which is shared with the
// document (and whatever else still holds those pixels) until they let go.
class SurvivorCount {
public:
    // Starts following `window`, opened on a document of `image`. The
    // caller keeps no other copy of `image`, or its pixels count as held.
    void track(ImageWindow* window, const QImage& image);

    int tracked() const { return int(m_windows.size()); }
    // Controllers not yet destroyed.
    int controllers() const;
    // Their parts not yet destroyed, plus documents whose pixels are still
    // held by something other than this count.
    int objects() const;

private:
    struct Tracked {
        QPointer<ImageWindow> controller;
        QList<QPointer<QObject>> parts;
        QImage image;
    };
    QList<Tracked> m_windows;
};

} // namespace kelpie
