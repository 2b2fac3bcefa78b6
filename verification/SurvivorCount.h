#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

class QImage;

namespace kelpie {

class ImageWindow;

// Which of a set of closed editors and pins are still alive: each window's
// controller (the ImageWindow), the objects it is made of (its window, its
// canvas, its live-text layer and recognition session) and the pixels of
// the document it showed. Everything is held weakly, so counting never
// keeps anything alive: the objects through guarded pointers, the pixels
// through a flag their buffer sets when its last holder lets go.
class SurvivorCount {
public:
    // A deep copy of `image` in a buffer that tells this count when it is
    // freed. Open the window on it, keep no other copy, then track() it.
    QImage watch(const QImage& image);
    // Starts following `window`, opened on the image of the latest watch().
    void track(ImageWindow* window);

    int tracked() const { return int(m_windows.size()); }
    // Controllers not yet destroyed.
    int controllers() const;
    // Their parts not yet destroyed, plus documents whose pixels are still
    // held by anything at all.
    int objects() const;

private:
    using Released = std::shared_ptr<std::atomic<bool>>;
    struct Tracked {
        QPointer<ImageWindow> controller;
        QList<QPointer<QObject>> parts;
        Released pixelsReleased;
    };
    QList<Tracked> m_windows;
    Released m_watched;
};

} // namespace kelpie
