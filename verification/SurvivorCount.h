#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

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
    // A picture to open a window on, and the flag its pixels set when the
    // last holder lets them go.
    struct Watched {
        QImage image;
        std::shared_ptr<const std::atomic<bool>> released;
    };
    // A deep copy of `image` in a buffer that reports its own release. Open
    // the window on `image` of the result, keep no other copy of it, and
    // track() the window with it.
    static Watched watch(const QImage& image);
    // Starts following `window`, opened on `pixels.image`. Only the flag is
    // kept, never the pixels.
    void track(ImageWindow* window, const Watched& pixels);

    int tracked() const { return int(m_windows.size()); }
    // Controllers not yet destroyed.
    int controllers() const;
    // Their parts not yet destroyed, plus documents whose pixels are still
    // held by anything at all.
    int objects() const;

private:
    struct Tracked {
        QPointer<ImageWindow> controller;
        QList<QPointer<QObject>> parts;
        std::shared_ptr<const std::atomic<bool>> pixelsReleased;
    };
    QList<Tracked> m_windows;
};

} // namespace kelpie
