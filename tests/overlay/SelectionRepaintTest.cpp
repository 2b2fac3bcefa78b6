// Partial repaints of the overlay, as the toolkit's repaint manager makes
// them into the window's backing store, at the scale the process runs at
// (the suite runs this binary at 1×, 1.25×, 1.5× and 2×).

#include "OverlayFixture.h"
#include "editor/CoreAppearance.h"
#include "overlay/OverlaySpace.h"
#include "overlay/SelectionView.h"

#include <QApplication>
#include <QBackingStore>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelpie;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
}

// The window's backing store, in device pixels: an image on the offscreen
// platform.
QImage backingStore(SelectionView& view)
{
    QPaintDevice* device = view.backingStore()->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return {};
    return static_cast<QImage*>(device)->copy();
}

void hover(SelectionView& view, Point p)
{
    const QPointF at = OverlaySpace::widgetPoint(p, view.height());
    QMouseEvent event(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
    settle();
}

int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

} // namespace

TEST(SelectionRepaint, WhatPointerMovesRepaintEqualsAFullRepaint)
{
    constexpr int width = 960;
    constexpr int height = 540;
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        EXPECT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    }
    const auto fixture = test::makeDesktopFixture(width, height, ratio);
    SelectionView view(fixture.image, {width, height});
    view.model().windowTargets = fixture.windows;
    view.show();
    settle();

    // Over the windows without a region, then with one: the focus, the
    // hint, the magnifier and the size label move at every step, by steps
    // that are not whole device pixels.
    for (int step = 0; step < 40; ++step)
        hover(view, {20 + step * 11.3, 30 + step * 7.7});
    view.selectRegion(Rect(63, 41, 217, 163));
    settle();
    for (int step = 0; step < 40; ++step)
        hover(view, {400 - step * 9.1, 300 - step * 6.3});
    view.selectRegion(Rect(101, 77, 150, 120));
    settle();
    for (int step = 0; step < 20; ++step)
        hover(view, {150 + step * 3.7, 140 + step * 2.9});

    const QImage partial = backingStore(view);
    ASSERT_FALSE(partial.isNull());
    EXPECT_EQ(partial.size(), QSize(qRound(width * ratio), qRound(height * ratio)));
    view.repaint();
    const QImage full = backingStore(view);
    const int wrong = differingPixels(partial, full);
    if (wrong != 0)
        partial.save(QStringLiteral("repaint-partial-%1x.png").arg(ratio));
    EXPECT_EQ(wrong, 0) << "at " << ratio << "×";
}

TEST(SelectionRepaint, HandlesAndBorderLieOnWholeDevicePixels)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    const QColor grey(128, 128, 128);
    const QColor border = CoreAppearance::captureBorder.light;
    QImage frozen(qRound(800 * ratio), qRound(600 * ratio), QImage::Format_RGB32);
    frozen.fill(grey);
    SelectionView view(frozen, {800, 600});
    view.show();
    settle();
    view.selectRegion(Rect(101, 203, 301, 251));
    view.repaint();
    const QImage out = backingStore(view);
    ASSERT_EQ(out.size(), frozen.size());

    // Every pixel near a straight stroke is one of the flat colours: a
    // stroke that straddles pixel edges blends into its neighbours.
    const QRgb dimmed = qRgb(qRound(128 * 0.52), qRound(128 * 0.52), qRound(128 * 0.52));
    const QRgb flat[] = {grey.rgb(), dimmed, border.rgb(), qRgb(255, 255, 255)};
    auto strays = [&](int x0, int y0, int x1, int y1) {
        QStringList found;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const QRgb c = out.pixel(x, y);
                const bool isFlat = std::any_of(std::begin(flat), std::end(flat), [c](QRgb f) {
                    return std::abs(qRed(c) - qRed(f)) <= 1 && std::abs(qGreen(c) - qGreen(f)) <= 1
                        && std::abs(qBlue(c) - qBlue(f)) <= 1;
                });
                if (!isFlat)
                    found << QStringLiteral("(%1,%2)=%3").arg(x).arg(y).arg(c, 0, 16);
            }
        return found.join(QLatin1Char(' ')).toStdString();
    };
    // Down through the bottom handle at (251.5, 203), y up; across the left
    // edge at mid-height, away from the corners and handles.
    const int handleX = static_cast<int>(251.5 * ratio);
    const int handleY = static_cast<int>((600 - 203) * ratio);
    EXPECT_EQ(strays(handleX, handleY - int(7 * ratio), handleX, handleY + int(7 * ratio)), "")
        << "at " << ratio << "×";
    const int edgeX = static_cast<int>(101 * ratio);
    const int edgeY = static_cast<int>((600 - 260) * ratio);
    EXPECT_EQ(strays(edgeX - int(4 * ratio), edgeY, edgeX + int(4 * ratio), edgeY), "")
        << "at " << ratio << "×";
}
