// How the window-capture check compares a captured window with the fixture
// it showed.
#include "verification/WindowCaptureVerification.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
    }
    return image;
}

// Every channel of every pixel moved by `by`, towards the middle.
QImage nudged(const QImage& image, int by)
{
    QImage result = image;
    const auto move = [by](int v) { return v < 128 ? v + by : v - by; };
    for (int y = 0; y < result.height(); ++y) {
        for (int x = 0; x < result.width(); ++x) {
            const QRgb p = result.pixel(x, y);
            result.setPixel(x, y, qRgb(move(qRed(p)), move(qGreen(p)), move(qBlue(p))));
        }
    }
    return result;
}

} // namespace

TEST(WindowCaptureCompare, TheSamePixelsMatchAndTheCoverIsSampled)
{
    const QImage fixture = pattern({300, 200});
    const QRect cover(100, 66, 100, 66);
    const auto result = WindowCaptureVerification::compare(fixture, fixture, cover);
    EXPECT_TRUE(result.sameSize);
    EXPECT_TRUE(result.matches);
    EXPECT_GE(result.sampledCovered, 64);
    EXPECT_GT(result.samples, result.sampledCovered);

    // A conversion's rounding on the way is no difference; a real change is.
    EXPECT_TRUE(WindowCaptureVerification::compare(nudged(fixture, 2), fixture, cover).matches);
    EXPECT_FALSE(WindowCaptureVerification::compare(nudged(fixture, 12), fixture, cover).matches);
}

TEST(WindowCaptureCompare, TheCoverShowingThroughIsCaught)
{
    const QImage fixture = pattern({300, 200});
    const QRect cover(100, 66, 100, 66);
    // What a capture of the screen rather than of the window would give:
    // the covering window's colour over the middle.
    QImage leaked = fixture;
    QPainter(&leaked).fillRect(cover, QColor(0xff, 0x00, 0xff));
    const auto result = WindowCaptureVerification::compare(leaked, fixture, cover);
    EXPECT_TRUE(result.sameSize);
    EXPECT_FALSE(result.matches);
}

TEST(WindowCaptureCompare, AnotherSizeOrNothingNeverMatches)
{
    const QImage fixture = pattern({300, 200});
    const auto bigger = WindowCaptureVerification::compare(pattern({302, 200}), fixture, {});
    EXPECT_FALSE(bigger.sameSize);
    EXPECT_FALSE(bigger.matches);
    EXPECT_FALSE(WindowCaptureVerification::compare(QImage(), fixture, {}).matches);
    // Without a cover, nothing is sampled under it.
    EXPECT_EQ(WindowCaptureVerification::compare(fixture, fixture, {}).sampledCovered, 0);
}
