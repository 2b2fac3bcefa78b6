// The display capture's own rules, against a fake service: the order of its
// checks, the pixel budget, cancellation at its two points, and errors.

#include "capture/DisplayCapture.h"

#include "FakeCaptureService.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <limits>

using namespace kelpie;
using kelpie::testing::FakeCaptureService;
using kelpie::testing::settle;
using Outcome = DisplayCapture::Outcome;
using CaptureError = DisplayCapture::CaptureError;

namespace {

constexpr std::uint32_t displayNumber = 7;

ShareableContent::Window window(std::uint32_t id, Rect frame, std::int32_t pid = 100)
{
    ShareableContent::Window w;
    w.windowID = id;
    w.onScreen = true;
    w.ownerPID = pid;
    w.nativeFrame = frame;
    return w;
}

class DisplayCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service->number = displayNumber;
        service->currentScreens = {{displayNumber, Rect(0, 0, 960, 540)}};
        content.displays = {{displayNumber, Rect(0, 0, 960, 540), 2, Rect(0, 0, 1920, 1080)}};
        content.windows = {window(11, Rect(200, 100, 400, 300)),
                           window(12, Rect(0, 0, 800, 800), service->ownPID)};
    }

    QFuture<Outcome> capture()
    {
        return DisplayCapture::capture(service, QGuiApplication::primaryScreen());
    }

    static Outcome outcomeOf(const QFuture<Outcome>& future)
    {
        EXPECT_TRUE(settle(future));
        EXPECT_FALSE(future.isCanceled());
        if (future.resultCount() != 1)
            return Outcome(CaptureError::system, "the capture gave no outcome");
        return future.result();
    }

    std::shared_ptr<FakeCaptureService> service = std::make_shared<FakeCaptureService>();
    ShareableContent content;
    QImage image = QImage(1920, 1080, QImage::Format_RGB32);
};

} // namespace

TEST_F(DisplayCaptureTest, FreezesTheDisplayAndListsItsWindowsInPoints)
{
    service->contentAnswer = content;
    service->imageAnswer = image;
    const Outcome outcome = outcomeOf(capture());

    ASSERT_EQ(service->displayRequests.size(), 1u);
    const auto& request = service->displayRequests.front();
    EXPECT_EQ(request.display, content.displays.front());
    EXPECT_EQ(request.size, (PixelLimits::PixelSize{1920, 1080})) << "960 × 540 points at 2×";
    EXPECT_EQ(request.excludedPID, service->ownPID);

    const auto* snapshot = (outcome.ok() ? &outcome.value() : nullptr);
    ASSERT_NE(snapshot, nullptr);
    EXPECT_EQ(snapshot->image.cacheKey(), image.cacheKey()) << "the image is shared, not copied";
    // 200,100 400×300 device pixels is 100,50 200×150 points; y-up from the
    // bottom of a 540-point screen puts its bottom edge at 340. The window of
    // this process is left out.
    EXPECT_EQ(snapshot->targets, (std::vector<WindowTarget>{{11, 100, Rect(100, 340, 200, 150)}}));
}

TEST_F(DisplayCaptureTest, RefusesBeforeTouchingAnythingWithoutAccessOrDisplayNumber)
{
    service->access = false;
    EXPECT_EQ(outcomeOf(capture()).error(), CaptureError::permission);
    service->access = true;
    service->number = 0;
    EXPECT_EQ(outcomeOf(capture()).error(), CaptureError::missing);
    EXPECT_TRUE(service->contentRequests.empty());
}

TEST_F(DisplayCaptureTest, AnUnlistedDisplayOrAScreenGoneAfterTheImageIsMissing)
{
    service->imageAnswer = image;
    service->contentAnswer = ShareableContent{{{displayNumber + 1, Rect(0, 0, 10, 10), 1, {}}}, {}};
    EXPECT_EQ(outcomeOf(capture()).error(), CaptureError::missing);
    EXPECT_TRUE(service->displayRequests.empty());

    // The display is listed and captured, but its screen is unplugged while
    // the image is taken.
    service->contentAnswer = content;
    service->imageAnswer.reset();
    const QFuture<Outcome> future = capture();
    settle(future);
    ASSERT_EQ(service->displayRequests.size(), 1u);
    service->currentScreens = {{displayNumber + 1, Rect(0, 0, 960, 540)}};
    service->displayRequests.back().answer(image);
    EXPECT_EQ(outcomeOf(future).error(), CaptureError::missing);
}

TEST_F(DisplayCaptureTest, PixelSizesOutsideTheBudgetAreUnsupported)
{
    struct Case {
        Rect contentRect;
        double scale;
    };
    const Case refused[] = {
        {Rect(0, 0, 16385, 100), 2},  // 32770 pixels wide
        {Rect(0, 0, 100, 40000), 1},  // too tall
        {Rect(0, 0, 10000, 8001), 1}, // just over 80,000,000 pixels
        {Rect(0, 0, 0, 1080), 1},     // nothing to capture
        {Rect(0, 0, 1920, 1080), std::numeric_limits<double>::quiet_NaN()},
    };
    for (const Case& c : refused) {
        content.displays.front().contentRect = c.contentRect;
        content.displays.front().pointPixelScale = c.scale;
        service->contentAnswer = content;
        EXPECT_EQ(outcomeOf(capture()).error(), CaptureError::unsupportedSize)
            << c.contentRect.width() << " × " << c.contentRect.height() << " at " << c.scale;
    }
    EXPECT_TRUE(service->displayRequests.empty());

    // 10000 × 8000 is exactly the budget; a fractional size rounds up.
    content.displays.front().contentRect = Rect(0, 0, 5000, 3999.5);
    content.displays.front().pointPixelScale = 2;
    service->contentAnswer = content;
    const QFuture<Outcome> accepted = capture();
    settle(accepted);
    ASSERT_EQ(service->displayRequests.size(), 1u);
    EXPECT_EQ(service->displayRequests.front().size, (PixelLimits::PixelSize{10000, 7999}));
    service->displayRequests.front().answer(image);
    EXPECT_TRUE(settle(accepted));
}

TEST_F(DisplayCaptureTest, ServiceErrorsArePassedOnUnchanged)
{
    const Failure<CaptureError> listing{CaptureError::system, "enumeration refused"};
    service->contentAnswer = listing;
    EXPECT_EQ(outcomeOf(capture()).failure(), listing);

    const Failure<CaptureError> grabbing{CaptureError::system, "screenshot failed"};
    service->contentAnswer = content;
    service->imageAnswer = grabbing;
    EXPECT_EQ(outcomeOf(capture()).failure(), grabbing);

    // A mode switch the screen has not caught up with, found by the service.
    const Failure<CaptureError> changed{CaptureError::screenChanged, "1280 × 720"};
    service->imageAnswer = changed;
    EXPECT_EQ(outcomeOf(capture()).failure(), changed);
}

TEST_F(DisplayCaptureTest, CancelledWhileListingTakesNoImage)
{
    QFuture<Outcome> future = capture();
    ASSERT_EQ(service->contentRequests.size(), 1u);
    future.cancel();
    settle(future);
    EXPECT_FALSE(future.isFinished()) << "the listing in flight is awaited";

    service->contentRequests.front().answer(content);
    ASSERT_TRUE(settle(future));
    EXPECT_TRUE(future.isCanceled());
    EXPECT_EQ(future.resultCount(), 0);
    EXPECT_TRUE(service->displayRequests.empty());
}

TEST_F(DisplayCaptureTest, CancelledWhileTheImageIsInFlightYieldsTheCancellationNotTheImage)
{
    service->contentAnswer = content;
    QFuture<Outcome> future = capture();
    settle(future);
    ASSERT_EQ(service->displayRequests.size(), 1u);
    future.cancel();
    settle(future);
    EXPECT_FALSE(future.isFinished()) << "the capture ends only when the image has returned";

    bool delivered = false;
    bool canceled = false;
    future.then(qApp, [&](const Outcome&) { delivered = true; }).onCanceled(qApp, [&] {
        canceled = true;
    });
    service->displayRequests.front().answer(image);
    ASSERT_TRUE(settle(future));
    EXPECT_TRUE(future.isCanceled());
    EXPECT_EQ(future.resultCount(), 0);
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(canceled);
}
