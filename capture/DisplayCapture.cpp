#include "capture/DisplayCapture.h"

#include "capture/CaptureTask.h"
#include "capture/WindowCapture.h"

#include <algorithm>

namespace kelpie::DisplayCapture {

QFuture<Outcome> capture(std::shared_ptr<CaptureService> service, QScreen* screen)
{
    const CaptureTask<Outcome> task;
    if (!service->hasAccess()) {
        task.finish(CaptureError::permission);
        return task.future();
    }
    const std::uint32_t number = service->displayNumber(screen);
    if (number == 0) {
        task.finish(CaptureError::missing);
        return task.future();
    }

    service->expectDisplayCapture(number);
    task.then(
        service->shareableContent(),
        [task, service, number](CaptureService::Result<ShareableContent> listed) {
            if (!listed)
                return task.finish(listed.failure());
            if (task.isCanceled())
                return task.finishCanceled();

            const auto content
                = std::make_shared<const ShareableContent>(std::move(listed).value());
            const ShareableContent::Display* display = content->display(number);
            if (!display)
                return task.finish(CaptureError::missing);
            const std::optional<PixelLimits::PixelSize> size
                = PixelLimits::pixelSize(display->contentRect.width(),
                                         display->contentRect.height(), display->pointPixelScale);
            if (!size)
                return task.finish(CaptureError::unsupportedSize);

            const std::int32_t ownPID = service->processId();
            task.then(
                service->captureDisplay(*display, *size, ownPID),
                [task, service, number, content, ownPID](CaptureService::Result<QImage> shot) {
                    if (!shot)
                        return task.finish(shot.failure());
                    if (task.isCanceled())
                        return task.finishCanceled();

                    const std::vector<CaptureService::Screen> screens = service->screens();
                    const auto current
                        = std::find_if(screens.begin(), screens.end(), [number](const auto& s) {
                              return s.displayNumber == number;
                          });
                    if (current == screens.end())
                        return task.finish(CaptureError::missing);
                    task.finish(
                        Snapshot{std::move(shot).value(),
                                 WindowCapture::targets(*content, *current, screens, ownPID)});
                });
        });
    return task.future();
}

} // namespace kelpie::DisplayCapture
