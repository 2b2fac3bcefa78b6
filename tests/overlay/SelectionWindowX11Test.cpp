// The overlay window on a real X server with a window manager: it covers
// the screen, takes the keyboard although it has no frame and bypasses the
// manager, and turns real pointer input into picks and regions. Input comes
// from xdotool, as a user's would.

#include "OverlayFixture.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "overlay/SelectionWindowShelf.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace kelpie;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

struct Overlay {
    Overlay()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect geometry = screen->geometry();
        ratio = screen->devicePixelRatio();
        fixture = test::makeDesktopFixture(geometry.width(), geometry.height(), ratio);
        window = std::make_unique<SelectionWindow>(fixture.image, screen);
        SelectionView* view = window->view();
        view->model().windowTargets = fixture.windows;
        view->onCancel = [this] { ++cancels; };
        view->onWindowPick = [this](const WindowTarget& t) { picks.push_back(t); };
        view->onConfirm = [this](const QImage& crop, const Rect& rect, const SelectionAction& a) {
            crops.push_back(crop);
            rects.push_back(rect);
            actions.push_back(a);
        };
        window->present();
    }

    double ratio = 1;
    test::DesktopFixture fixture;
    std::unique_ptr<SelectionWindow> window;
    int cancels = 0;
    std::vector<WindowTarget> picks;
    std::vector<QImage> crops;
    std::vector<Rect> rects;
    std::vector<SelectionAction> actions;
};

} // namespace

TEST(SelectionWindowOnX11, CoversTheScreenAndTakesKeyboardAndPointer)
{
    ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
    // An ordinary window has the focus when the overlay opens.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.resize(300, 200);
    other.show();
    ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }));

    Overlay overlay;
    SelectionWindow& window = *overlay.window;
    ASSERT_TRUE(waitFor([&] { return window.isVisible() && window.isActiveWindow(); }));
    EXPECT_EQ(window.geometry(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelpie · 框选"));
    EXPECT_EQ(window.frameInDesktop(),
              Rect(0, 0, window.geometry().width(), window.geometry().height()));

    // xdotool speaks device pixels; the view speaks points.
    const double r = overlay.ratio;
    auto device = [r](double points) { return QString::number(qRound(points * r)); };
    EXPECT_EQ(r,
              qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                  ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                  : 1.0);

    // Hovering the front window (the target list is front-most first)
    // lights it up on the real screen; the rest stays dimmed.
    const WindowTarget front = overlay.fixture.windows.front();
    const int h = window.height();
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), device(front.rect.minX() + 30),
                         device(h - front.rect.maxY() + 60)}));
    ASSERT_TRUE(waitFor([&] { return window.view()->model().hoveredWindow().has_value(); }));
    QImage shot;
    const QPoint inside = QPointF(front.rect.maxX() - 40, h - front.rect.minY() - 40).toPoint();
    const QPoint outside(5, h - 5);
    const QImage& frozen = overlay.fixture.image;
    ASSERT_TRUE(waitFor([&] {
        QApplication::processEvents();
        shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        return shot.pixel(inside * r) == frozen.pixel(inside * r);
    }));
    const QRgb before = frozen.pixel(outside * r);
    const QRgb after = shot.pixel(outside * r);
    EXPECT_NEAR(qRed(after), qRed(before) * 0.52, 2);
    EXPECT_NEAR(qGreen(after), qGreen(before) * 0.52, 2);
    shot.save(QStringLiteral("overlay-on-x11-%1x.png").arg(r));

    // A click picks that window.
    ASSERT_TRUE(
        xdotool({QStringLiteral("mousemove"), device(front.rect.midX()),
                 device(h - front.rect.midY()), QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return !overlay.picks.empty(); }));
    EXPECT_EQ(overlay.picks.front().id, front.id);

    // A real drag in the overlay's capture flow confirms the region at once.
    window.view()->model().automaticallyEdit = true;
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), device(100), device(120),
                         QStringLiteral("mousedown"), QStringLiteral("1")}));
    for (int step = 1; step <= 4; ++step)
        ASSERT_TRUE(xdotool(
            {QStringLiteral("mousemove"), device(100 + step * 50), device(120 + step * 20)}));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return !overlay.actions.empty(); }));
    EXPECT_EQ(overlay.actions.front(), SelectionAction::edit());
    EXPECT_EQ(overlay.crops.front(),
              overlay.fixture.image.copy(QRect(QPoint(100, 120) * r, QSize(200, 80) * r)));
    EXPECT_EQ(overlay.rects.front(), Rect(100, h - 200, 200, 80));

    // Escape twice: the region goes, then the overlay is cancelled.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitFor([&] { return window.view()->model().selection().isEmpty(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitFor([&] { return overlay.cancels == 1; }));
}

// The overlay appears in one whole-screen frame and focus leaving the view
// and coming back draws nothing: the toolkit's default answer to focus was a
// whole repaint, so the focus the overlay takes as it appears drew the
// screen a second time.
TEST(SelectionWindowOnX11, AppearsInOneWholeFrameThatFocusLeavesAlone)
{
    struct WholePaints : QObject {
        int count = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            const auto* widget = static_cast<QWidget*>(watched);
            if (event->type() == QEvent::Paint
                && (QRegion(widget->rect()) - static_cast<QPaintEvent*>(event)->region()).isEmpty())
                ++count;
            return false;
        }
    } paints;
    auto pause = [] { waitFor([] { return false; }, 300); };

    QScreen* screen = QGuiApplication::primaryScreen();
    const auto fixture = test::makeDesktopFixture(screen->geometry().width(),
                                                  screen->geometry().height(),
                                                  screen->devicePixelRatio());
    // As a capture makes it: readied while the screen is read.
    SelectionWindow window(screen);
    window.prepare();
    window.setImage(fixture.image);
    window.view()->installEventFilter(&paints);
    window.present();
    ASSERT_TRUE(waitFor([&] { return window.isActiveWindow() && paints.count > 0; }));
    pause();
    EXPECT_EQ(paints.count, 1);

    window.view()->clearFocus();
    pause();
    window.view()->setFocus();
    ASSERT_TRUE(waitFor([&] { return window.view()->hasFocus(); }));
    pause();
    EXPECT_EQ(paints.count, 1);

    // What does change is still drawn.
    window.view()->selectAll();
    EXPECT_TRUE(waitFor([&] { return paints.count == 2; }));
}

// A closed overlay waits on the shelf: the next capture of its screen takes
// the same window, which shows the new picture, answers the keyboard again
// and is drawn over the screen; a screen of another size finds nothing, and
// windows nobody took are deleted once their time is up.
TEST(SelectionWindowOnX11, AShelvedOverlayServesTheNextCaptureThenExpires)
{
    ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
    QScreen* screen = QGuiApplication::primaryScreen();
    SelectionWindowShelf shelf(std::chrono::milliseconds(300));
    Overlay overlay;
    SelectionWindow* window = overlay.window.release();
    ASSERT_TRUE(waitFor([&] { return window->isVisible() && window->isActiveWindow(); }));
    shelf.put(window);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->view(), nullptr);

    ASSERT_EQ(shelf.take(screen), window);
    EXPECT_EQ(shelf.take(screen), nullptr);
    QImage next(overlay.fixture.image.size(), QImage::Format_RGB32);
    next.setDevicePixelRatio(overlay.ratio);
    next.fill(QColor(200, 40, 40));
    window->setImage(next);
    int cancels = 0;
    window->view()->onCancel = [&] { ++cancels; };
    // As between two captures, the server has unmapped it before it comes back.
    ASSERT_TRUE(waitFor([&] { return !window->windowHandle()->isExposed(); }));
    window->present();
    ASSERT_TRUE(waitFor([&] { return window->windowHandle()->isExposed(); }));
    QImage shot;
    ASSERT_TRUE(waitFor([&] {
        QApplication::processEvents();
        shot = screen->grabWindow(0).toImage();
        // The new picture, dimmed as the overlay dims what is not selected.
        return std::abs(qRed(shot.pixel(5, 5)) - qRound(200 * 0.52)) <= 2;
    }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitFor([&] { return cancels == 1; }));

    const QPointer<SelectionWindow> kept(window);
    shelf.put(window);
    window->resize(window->width() / 2, window->height());
    EXPECT_EQ(shelf.take(screen), nullptr);
    EXPECT_EQ(shelf.size(), 1);
    ASSERT_TRUE(waitFor([&] { return kept.isNull(); }));
    EXPECT_EQ(shelf.size(), 0);
}
