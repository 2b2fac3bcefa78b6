#include "verification/SurvivorCount.h"

#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"

#include <QColorSpace>

#include <cstring>

namespace kelpie {

namespace {

struct WatchedPixels {
    std::unique_ptr<uchar[]> bytes;
    std::shared_ptr<std::atomic<bool>> released;
};

// Runs on whichever thread drops the last image over the buffer.
void releasePixels(void* info)
{
    std::unique_ptr<WatchedPixels> pixels(static_cast<WatchedPixels*>(info));
    pixels->bytes.reset();
    pixels->released->store(true);
}

} // namespace

SurvivorCount::Watched SurvivorCount::watch(const QImage& image)
{
    auto released = std::make_shared<std::atomic<bool>>(image.isNull());
    if (image.isNull())
        return {image, released};
    const auto size = std::size_t(image.sizeInBytes());
    auto pixels = std::make_unique<WatchedPixels>();
    pixels->bytes = std::make_unique_for_overwrite<uchar[]>(size);
    std::memcpy(pixels->bytes.get(), image.constBits(), size);
    pixels->released = released;
    uchar* bytes = pixels->bytes.get();
    QImage watched(bytes, image.width(), image.height(), image.bytesPerLine(), image.format(),
                   releasePixels, pixels.release());
    watched.setDevicePixelRatio(image.devicePixelRatio());
    watched.setColorSpace(image.colorSpace());
    watched.setDotsPerMeterX(image.dotsPerMeterX());
    watched.setDotsPerMeterY(image.dotsPerMeterY());
    watched.setColorTable(image.colorTable());
    return {watched, released};
}

void SurvivorCount::track(ImageWindow* window, const Watched& pixels)
{
    Tracked tracked;
    tracked.controller = window;
    if (window) {
        const std::initializer_list<QObject*> parts{window->window(), window->canvas(),
                                                    window->overlay(), window->liveText()};
        for (QObject* part : parts) {
            if (part)
                tracked.parts.append(QPointer<QObject>(part));
        }
    }
    tracked.pixelsReleased = pixels.released;
    m_windows.append(std::move(tracked));
}

int SurvivorCount::controllers() const
{
    int alive = 0;
    for (const Tracked& tracked : m_windows)
        alive += tracked.controller.isNull() ? 0 : 1;
    return alive;
}

int SurvivorCount::objects() const
{
    int alive = 0;
    for (const Tracked& tracked : m_windows) {
        for (const QPointer<QObject>& part : tracked.parts)
            alive += part.isNull() ? 0 : 1;
        alive += tracked.pixelsReleased->load() ? 0 : 1;
    }
    return alive;
}

} // namespace kelpie
