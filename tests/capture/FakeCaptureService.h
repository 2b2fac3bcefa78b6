#pragma once

#include "capture/CaptureService.h"

#include <QCoreApplication>
#include <QFuture>
#include <QPromise>
#include <QScreen>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kelpie::testing {

// A capture service whose answers the test writes. Each asynchronous request
// is kept pending with its promise until the test answers it, unless an
// answer was given in advance.
class FakeCaptureService : public CaptureService {
public:
    template<typename T> struct Pending {
        std::shared_ptr<QPromise<Result<T>>> promise;

        void answer(Result<T> value) const
        {
            promise->addResult(std::move(value));
            promise->finish();
        }
    };

    struct DisplayRequest : Pending<QImage> {
        ShareableContent::Display display;
        PixelLimits::PixelSize size;
        std::int32_t excludedPID = 0;
    };

    struct WindowRequest : Pending<QImage> {
        ShareableContent::Window window;
        PixelLimits::PixelSize size;
    };

    bool access = true;
    bool windows = true;
    bool everyScreen = false;
    std::int32_t ownPID = 4242;
    // What displayNumber() answers for every screen, unless `numbers` names
    // the screen.
    std::uint32_t number = 0;
    std::map<QString, std::uint32_t> numbers;
    std::vector<Screen> currentScreens;

    std::optional<Result<ShareableContent>> contentAnswer;
    std::optional<Result<QImage>> imageAnswer;

    std::vector<Pending<ShareableContent>> contentRequests;
    std::vector<DisplayRequest> displayRequests;
    std::vector<WindowRequest> windowRequests;

    bool hasAccess() const override { return access; }
    bool capturesWindows() const override { return windows; }
    std::int32_t processId() const override { return ownPID; }
    bool freezesEveryScreen() const override { return everyScreen; }
    std::uint32_t displayNumber(const QScreen* screen) const override
    {
        const auto named = screen ? numbers.find(screen->name()) : numbers.end();
        return named != numbers.end() ? named->second : number;
    }
    std::vector<Screen> screens() const override { return currentScreens; }

    QFuture<Result<ShareableContent>> shareableContent() override
    {
        contentRequests.push_back({start<ShareableContent>()});
        if (contentAnswer)
            contentRequests.back().answer(*contentAnswer);
        return contentRequests.back().promise->future();
    }

    QFuture<Result<QImage>> captureDisplay(const ShareableContent::Display& display,
                                           PixelLimits::PixelSize size,
                                           std::int32_t excludedPID) override
    {
        DisplayRequest request;
        request.promise = start<QImage>();
        request.display = display;
        request.size = size;
        request.excludedPID = excludedPID;
        displayRequests.push_back(request);
        if (imageAnswer)
            request.answer(*imageAnswer);
        return request.promise->future();
    }

    QFuture<Result<QImage>> captureWindow(const ShareableContent::Window& window,
                                          PixelLimits::PixelSize size) override
    {
        WindowRequest request;
        request.promise = start<QImage>();
        request.window = window;
        request.size = size;
        windowRequests.push_back(request);
        if (imageAnswer)
            request.answer(*imageAnswer);
        return request.promise->future();
    }

private:
    template<typename T> static std::shared_ptr<QPromise<Result<T>>> start()
    {
        auto promise = std::make_shared<QPromise<Result<T>>>();
        promise->start();
        return promise;
    }
};

// Lets queued continuations run until `future` finishes; false if it never
// does while events are pending.
template<typename T> bool settle(const QFuture<T>& future)
{
    for (int round = 0; round < 1000 && !future.isFinished(); ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return future.isFinished();
}

} // namespace kelpie::testing
