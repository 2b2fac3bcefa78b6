#include "verification/SurvivorCount.h"

#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"

namespace kelpie {

void SurvivorCount::track(ImageWindow* window, const QImage& image)
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
    // A shallow copy: it shares the document's pixels while they live.
    tracked.image = image;
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
        if (!tracked.image.isNull() && !tracked.image.isDetached())
            ++alive;
    }
    return alive;
}

} // namespace kelpie
