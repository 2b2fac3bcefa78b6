#include "capture/WindowCapture.h"

#include "capture/CaptureTask.h"
#include "capture/DesktopSpace.h"

#include <functional>

namespace kelpie::WindowCapture {
namespace {

// The step both window captures share; `finish` turns the snapshot into
// the caller's outcome.
template<typename Out>
void run(const CaptureTask<Out>& task, std::shared_ptr<CaptureService> service, std::uint32_t id,
         std::int32_t ownerPID, std::function<Out(Snapshot)> finish)
{
    if (!service->hasAccess())
        return task.finish(CaptureError::permission);

    task.then(service->shareableContent(), [=](CaptureService::Result<ShareableContent> listed) {
        if (!listed)
            return task.finish(listed.failure());
        if (task.isCanceled())
            return task.finishCanceled();

        const auto content = std::make_shared<const ShareableContent>(std::move(listed).value());
        const ShareableContent::Window* window = content->window(id);
        // Gone, hidden, or the number now belongs to another process.
        if (!window || !window->onScreen || window->ownerPID != ownerPID)
            return task.finish(CaptureError::missing);
        const std::optional<PixelLimits::PixelSize> size
            = PixelLimits::pixelSize(window->nativeFrame.width(), window->nativeFrame.height(), 1);
        if (!size)
            return task.finish(CaptureError::unsupportedSize);

        const Rect nativeFrame = window->nativeFrame;
        task.then(service->captureWindow(*window, *size), [=](CaptureService::Result<QImage> shot) {
            if (!shot)
                return task.finish(shot.failure());
            if (task.isCanceled())
                return task.finishCanceled();
            const std::vector<CaptureService::Screen> screens = service->screens();
            task.finish(finish(
                Snapshot{std::move(shot).value(), quartzFrame(nativeFrame, *content, screens)}));
        });
    });
}

} // namespace

std::vector<WindowTarget> targets(const ShareableContent& content,
                                  const CaptureService::Screen& screen,
                                  std::span<const CaptureService::Screen> currentScreens,
                                  std::int32_t ownPID)
{
    std::vector<WindowTarget> result;
    const ShareableContent::Display* display = content.display(screen.displayNumber);
    if (currentScreens.empty() || !display)
        return result;
    const Rect& primary = currentScreens.front().frame;
    const Rect screenFrame = DesktopSpace::desktopFrame(screen.frame, primary);
    const double primaryTop = DesktopSpace::primaryTop(primary);

    for (const ShareableContent::Window& window : content.windows) {
        if (!window.onScreen || window.windowLayer != ShareableContent::normalLayer)
            continue;
        if (!window.ownerPID || *window.ownerPID == ownPID)
            continue;
        const Rect logical
            = DesktopSpace::logicalRect(window.nativeFrame, display->nativeFrame, screen.frame);
        const std::optional<Rect> local = WindowTarget::localRect(
            DesktopSpace::quartzRect(logical, primary), screenFrame, primaryTop);
        if (local)
            result.push_back(WindowTarget{window.windowID, *window.ownerPID, *local});
    }
    return result;
}

Rect quartzFrame(const Rect& nativeFrame, const ShareableContent& content,
                 std::span<const CaptureService::Screen> currentScreens)
{
    if (currentScreens.empty())
        return nativeFrame;
    const CaptureService::Screen* best = &currentScreens.front();
    const ShareableContent::Display* bestDisplay = content.display(best->displayNumber);
    double bestArea = 0;
    for (const CaptureService::Screen& screen : currentScreens) {
        const ShareableContent::Display* display = content.display(screen.displayNumber);
        if (!display)
            continue;
        const Rect shared = display->nativeFrame.intersected(nativeFrame);
        const double area = shared.isNull() ? 0 : shared.width() * shared.height();
        if (area > bestArea) {
            best = &screen;
            bestDisplay = display;
            bestArea = area;
        }
    }
    const Rect& primary = currentScreens.front().frame;
    // Without a display to map by, a pixel counts as a point.
    const Rect logical = bestDisplay
        ? DesktopSpace::logicalRect(nativeFrame, bestDisplay->nativeFrame, best->frame)
        : nativeFrame;
    return DesktopSpace::quartzRect(logical, primary);
}

QFuture<Outcome> captureSnapshot(std::shared_ptr<CaptureService> service, std::uint32_t id,
                                 std::int32_t ownerPID)
{
    const CaptureTask<Outcome> task;
    run<Outcome>(task, std::move(service), id, ownerPID,
                 [](Snapshot snapshot) { return Outcome(std::move(snapshot)); });
    return task.future();
}

QFuture<ImageOutcome> capture(std::shared_ptr<CaptureService> service, std::uint32_t id,
                              std::int32_t ownerPID)
{
    const CaptureTask<ImageOutcome> task;
    run<ImageOutcome>(task, std::move(service), id, ownerPID,
                      [](Snapshot snapshot) { return ImageOutcome(std::move(snapshot.image)); });
    return task.future();
}

} // namespace kelpie::WindowCapture
