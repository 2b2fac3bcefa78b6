// Capture at a fractional device-pixel ratio (QT_SCALE_FACTOR 1.25 or 1.5 on
// a 1366 × 768 screen): Qt rounds the screen's size in points, but images
// keep exactly the device pixels, and points map to them by the true ratio.

#include "X11CaptureFixture.h"
#include "capture/CaptureGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

using namespace kelpie;
using namespace kelpie::testing;

namespace {

QScreen* primary() { return QGuiApplication::primaryScreen(); }

class X11CaptureFractional : public X11CaptureFixture {
protected:
    void SetUp() override
    {
        X11CaptureFixture::SetUp();
        ratio = primary()->devicePixelRatio();
        ASSERT_NE(ratio, std::round(ratio)) << "run with a fractional QT_SCALE_FACTOR";
        // Qt's screen in points is rounded, so it is not the device size
        // over the ratio.
        canvas
            = Size{double(primary()->geometry().width()), double(primary()->geometry().height())};
    }

    double ratio = 1;
    Size canvas;
};

} // namespace

TEST_F(X11CaptureFractional, TheFrozenImageIsTheDevicePixelsUnscaled)
{
    const std::uint32_t id = host->create(QStringLiteral("101 57 400 300 0000cc pattern"));
    ASSERT_NE(id, 0u);

    const DisplayCapture::Snapshot shot = snapshot(primary());
    ASSERT_EQ(shot.image.size(), QSize(1366, 768));
    QString first;
    EXPECT_EQ(
        patternMismatches(shot.image, QRect(101, 57, 400, 300), QPoint(101, 57), 0xcc, &first), 0)
        << first.toStdString();

    // The target, in the overlay's points, crops back to the window's pixels.
    ASSERT_FALSE(shot.targets.empty());
    const WindowTarget& target = shot.targets.front();
    EXPECT_EQ(target.id, id);
    const Size image{1366, 768};
    const std::optional<Rect> pixels = CaptureGeometry::pixelRect(target.rect, canvas, image);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, Rect(101, 57, 400, 300));
}

TEST_F(X11CaptureFractional, AWindowImageIsItsDevicePixelsUnscaled)
{
    const std::uint32_t id = host->create(QStringLiteral("333 222 417 311 0000ab pattern"));
    ASSERT_NE(id, 0u);
    const WindowCapture::Outcome outcome = captureWindow(id, host->pid());
    ASSERT_TRUE(outcome.ok()) << outcome.failure().detail;
    ASSERT_EQ(outcome->image.size(), QSize(417, 311));
    QString first;
    EXPECT_EQ(patternMismatches(outcome->image, QRect(0, 0, 417, 311), QPoint(0, 0), 0xab, &first),
              0)
        << first.toStdString();
    // The frame in points is the device frame over the screen's own scale.
    const double sx = canvas.width / 1366, sy = canvas.height / 768;
    EXPECT_NEAR(outcome->quartzFrame.minX(), 333 * sx, 1e-9);
    EXPECT_NEAR(outcome->quartzFrame.minY(), 222 * sy, 1e-9);
    EXPECT_NEAR(outcome->quartzFrame.width(), 417 * sx, 1e-9);
    EXPECT_NEAR(outcome->quartzFrame.height(), 311 * sy, 1e-9);
}

TEST_F(X11CaptureFractional, AWindowOfThisProcessIsLeftOut)
{
    const std::uint32_t under = host->create(QStringLiteral("0 0 1366 768 000066 pattern"));
    ASSERT_NE(under, 0u);
    const auto own = showOwnWindow(QColor(0xff00ff), QRect(100, 100, 301, 203));
    const DisplayCapture::Snapshot shot = snapshot(primary());
    ASSERT_EQ(shot.image.size(), QSize(1366, 768));
    QString first;
    EXPECT_EQ(patternMismatches(shot.image, QRect(0, 0, 1366, 768), QPoint(0, 0), 0x66, &first), 0)
        << first.toStdString();
}
