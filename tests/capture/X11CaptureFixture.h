#pragma once

#include "TestPattern.h"
#include "WindowHost.h"
#include "capture/DisplayCapture.h"
#include "capture/WindowCapture.h"
#include "platform/X11CaptureService.h"

#include <QColor>
#include <QRasterWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kelpie::testing {

// A plain window of this process, filled with one colour.
class OwnWindow : public QRasterWindow {
public:
    OwnWindow(QColor colour, QRect geometry);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_;
};

// The real X11 capture service against the test's private X server, with a
// second process that owns the windows to capture.
class X11CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs the event loop until `done` holds; false if it never does.
    static bool waitUntil(const std::function<bool()>& done);

    template<typename T> static bool settle(const QFuture<T>& future)
    {
        return waitUntil([&] { return future.isFinished(); });
    }

    DisplayCapture::Outcome captureDisplay(QScreen* screen);
    // The snapshot, failing the test if the capture failed.
    DisplayCapture::Snapshot snapshot(QScreen* screen);
    WindowCapture::Outcome captureWindow(std::uint32_t id, std::int32_t ownerPID);

    // Waits until the primary screen lists `id` among its targets.
    std::optional<WindowTarget> waitForTarget(std::uint32_t id, QScreen* screen = nullptr);

    // Shows a window of this process and waits until the server shows it.
    std::unique_ptr<OwnWindow> showOwnWindow(QColor colour, QRect geometry);

    // One pixel of the root window as the server shows it, 0xRRGGBB.
    static std::uint32_t rootPixel(int x, int y);

    std::shared_ptr<X11CaptureService> service;
    std::unique_ptr<WindowHost> host;
};

// How many pixels of `image` inside `area` differ from the pattern drawn with
// `base`, whose origin lies at `origin` in the image. The first difference
// goes to `first`.
int patternMismatches(const QImage& image, QRect area, QPoint origin, std::uint32_t base,
                      QString* first = nullptr);

// Pixels of `area` in `image` that are not `rgb`.
int colourMismatches(const QImage& image, QRect area, std::uint32_t rgb);

} // namespace kelpie::testing
