#include "../support/EventLoopWait.h"
#include "ScreenshotEditorFixture.h"
#include "editor/ScreenshotView.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace kelpie;
using kelpie::test::ScreenshotEditorFixture;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

// The editor over a 400 × 400 point screen in a borderless window at the
// screen's top-left corner.
struct ShownView : ScreenshotEditorFixture {
    ShownView() : ScreenshotEditorFixture(Rect(100, 100, 200, 150), true, Size{400, 400}, true) { }

    // Moves the real pointer to a point of the view, in widget coordinates.
    bool pointerTo(QPoint at)
    {
        const QPoint global = view->mapToGlobal(at);
        const double ratio = view->devicePixelRatioF();
        return xdotool({QStringLiteral("mousemove"), QString::number(qRound(global.x() * ratio)),
                        QString::number(qRound(global.y() * ratio))});
    }
};

} // namespace

TEST(ScreenshotViewX11, RecropStartedOnTheCanvasBandFollowsThePointerToTheRelease)
{
    ShownView v;
    ASSERT_TRUE(waitFor([&] { return v.view->isVisible() && v.view->placement().has_value(); }));
    // Widget (103, 200) is 3 points inside the crop's left edge, on the canvas.
    ASSERT_TRUE(v.pointerTo(QPoint(103, 200)));
    ASSERT_TRUE(waitFor([&] { return v.canvas->underMouse(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return v.view->isAdjusting(); }));
    EXPECT_FALSE(v.canvas->isVisible());

    // 40 points left and 20 down moves the crop by the same.
    ASSERT_TRUE(v.pointerTo(QPoint(63, 220)));
    ASSERT_TRUE(waitFor([&] { return v.view->region() == Rect(60, 80, 200, 150); }))
        << v.view->region().minX() << ", " << v.view->region().minY();
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return !v.asked.empty(); }));
    EXPECT_EQ(v.asked.front(), Rect(60, 80, 200, 150));
    // Refused: back where it was, the canvas shown again.
    EXPECT_TRUE(waitFor([&] { return v.canvas->isVisible(); }));
    EXPECT_EQ(v.view->region(), Rect(100, 100, 200, 150));
    EXPECT_FALSE(v.view->isAdjusting());

    // The pointer is free again: a press inside the crop reaches the canvas.
    ASSERT_TRUE(v.pointerTo(QPoint(200, 200)));
    ASSERT_TRUE(waitFor([&] { return v.canvas->underMouse(); }));
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}
