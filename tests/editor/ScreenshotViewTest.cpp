#include "editor/ScreenshotView.h"

#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "editor/FloatingControls.h"
#include "editor/ScreenshotBorder.h"
#include "editor/ScreenshotChromeLayout.h"
#include "editor/ScreenshotSpace.h"
#include "editor/ScreenshotStatus.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelpie;

namespace {

const QColor screenColor(200, 100, 50);

QWidget* fixedRow(int width, int height)
{
    auto* row = new QWidget;
    row->setFixedSize(width, height);
    return row;
}

// A screenshot editor's content as the editor builds it: the view over a
// 1440 × 900 screen, a canvas over the crop, the two panels with real
// floating controls, the status, and the layout wired to the view.
struct Editor {
    explicit Editor(Rect region = Rect(100, 100, 400, 300), bool allowsAdjustment = true)
    {
        QImage screen(1440, 900, QImage::Format_RGB32);
        screen.fill(screenColor);
        ScreenshotPresentation presentation{screen, Rect(0, 0, 1440, 900), region, 7,
                                            allowsAdjustment};
        view = new ScreenshotView(presentation, Size{region.width(), region.height()});
        view->setAttribute(Qt::WA_DontShowOnScreen);
        canvas = new QWidget(view);
        view->setImageView(canvas);
        view->installBorder();
        parts.canvas = canvas;
        parts.toolbarPanel = new CoreSurfaceView(view);
        parts.toolbarContent = new FloatingControls(
            {fixedRow(400, 30)}, FloatingControls::Kind::primaryToolbar, parts.toolbarPanel);
        parts.parametersPanel = new CoreSurfaceView(view);
        parts.parametersContent = new FloatingControls(
            {fixedRow(300, 24)}, FloatingControls::Kind::panel, parts.parametersPanel);
        parts.status = new ScreenshotStatus(view);
        view->setChrome({parts.toolbarPanel, parts.parametersPanel, parts.status});
        view->onLayout = [this] { layout(); };
        view->onAdjustmentBegin = [this] { events.push_back("begin"); };
        view->onAdjustmentCancel = [this] { events.push_back("cancel"); };
        view->onRegionChange = [this](const Rect& r) {
            asked.push_back(r);
            return accept;
        };
        parts.status->onChange = [this] { layout(); };
        view->resize(1440, 900);
        view->show();
        layout();
    }
    ~Editor() { delete view; }

    void layout() { layoutScreenshot(*view, parts); }

    QRect widgetRect(const Rect& r) const
    {
        return ScreenshotSpace::widgetRect(r, view->height()).toAlignedRect();
    }
    // A mouse event at a point of `target`, given in view (widget) coordinates.
    bool mouse(QWidget* target, QEvent::Type type, QPointF at,
               Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const QPointF local = target->mapFrom(view, at);
        QMouseEvent event(type, local, target->mapToGlobal(local), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    }

    ScreenshotView* view;
    QWidget* canvas;
    ScreenshotChromeParts parts;
    bool accept = false;
    std::vector<std::string> events;
    std::vector<Rect> asked;
};

QImage renderAlone(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

} // namespace

TEST(ScreenshotChromeLayout, PlacesCanvasPanelsAndStatusAroundTheCrop)
{
    Editor e;
    const auto& placement = e.view->placement();
    ASSERT_TRUE(placement);
    EXPECT_EQ(e.canvas->geometry(), QRect(100, 500, 400, 300));
    EXPECT_EQ(e.parts.toolbarPanel->geometry(), e.widgetRect(placement->toolbar));
    EXPECT_TRUE(e.parts.toolbarPanel->isVisible());
    // The tool bar's content fills its panel.
    EXPECT_EQ(e.parts.toolbarContent->geometry(), QRect(QPoint(), e.parts.toolbarPanel->size()));
    // The markup row is hidden: no parameter panel.
    EXPECT_FALSE(placement->parameters);
    EXPECT_FALSE(e.parts.parametersPanel->isVisible());
    // The tool bar is below the crop, so the status goes under it.
    const QRect status = e.parts.status->geometry();
    EXPECT_EQ(status.left(), qRound(placement->toolbar.minX() + 8));
    EXPECT_EQ(900 - (status.bottom() + 1), qRound(placement->toolbar.minY() - status.height() - 8));
    EXPECT_TRUE(e.parts.status->isVisible());

    e.parts.markupRowVisible = true;
    e.layout();
    ASSERT_TRUE(e.view->placement()->parameters);
    EXPECT_TRUE(e.parts.parametersPanel->isVisible());
    EXPECT_EQ(e.parts.parametersPanel->geometry(), e.widgetRect(*e.view->placement()->parameters));
}

TEST(ScreenshotChromeLayout, StatusGoesOverThePanelsWhenTheToolbarIsAboveTheCrop)
{
    Editor e(Rect(100, 0, 400, 300));
    const auto& placement = e.view->placement();
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->toolbar.minY(), 314);
    const QRect status = e.parts.status->geometry();
    EXPECT_EQ(900 - (status.bottom() + 1), qRound(placement->toolbar.maxY() + 8));
}

TEST(ScreenshotChromeLayout, StatusFollowsItsTextAndHidesRoutineNews)
{
    Editor e;
    const int before = e.parts.status->width();
    e.parts.status->setText(QStringLiteral("复制失败，请重试，这是一段更长的状态文字"));
    EXPECT_GT(e.parts.status->width(), before);

    e.parts.hidesRoutineStatus = true;
    e.layout();
    EXPECT_FALSE(e.parts.status->isVisible());
}

TEST(ScreenshotChromeLayout, CropIsAdjustableOnlyWhileNothingIsDrawn)
{
    Editor e;
    EXPECT_TRUE(e.view->canAdjust());
    EXPECT_TRUE(e.view->border()->state().handles);

    e.parts.documentHasObjects = true;
    e.layout();
    EXPECT_FALSE(e.view->canAdjust());
    EXPECT_FALSE(e.view->border()->state().handles);
    EXPECT_EQ(e.view->hitTest(QPointF(50, 50)), ScreenshotView::Hit::content);

    e.parts.documentHasObjects = false;
    e.parts.canvasHasDraft = true;
    e.layout();
    EXPECT_FALSE(e.view->canAdjust());

    e.parts.canvasHasDraft = false;
    e.view->setSourceGeometryAvailable(false);
    e.layout();
    EXPECT_FALSE(e.view->canAdjust());

    Editor fixed(Rect(100, 100, 400, 300), false);
    EXPECT_FALSE(fixed.view->canAdjust());
}

TEST(ScreenshotChromeLayout, ImpossibleLayoutHidesCanvasAndPanels)
{
    Editor e;
    e.view->resize(24, 24);
    EXPECT_FALSE(e.view->placement());
    EXPECT_FALSE(e.canvas->isVisible());
    EXPECT_FALSE(e.parts.toolbarPanel->isVisible());
    EXPECT_TRUE(e.view->border()->state().selection.isEmpty());
    EXPECT_EQ(e.view->hitTest(QPointF(5, 5)), ScreenshotView::Hit::content);

    e.view->resize(1440, 900);
    EXPECT_TRUE(e.canvas->isVisible());
    EXPECT_TRUE(e.parts.toolbarPanel->isVisible());
}

TEST(ScreenshotView, ChromeGetsClicksBeforeTheBorderBand)
{
    Editor e;
    const QRect toolbar = e.parts.toolbarPanel->geometry();
    EXPECT_EQ(e.view->hitTest(toolbar.center()), ScreenshotView::Hit::chrome);
    EXPECT_EQ(e.view->hitTest(QPointF(102, 650)), ScreenshotView::Hit::view);
    EXPECT_EQ(e.view->hitTest(QPointF(50, 50)), ScreenshotView::Hit::view);
    EXPECT_EQ(e.view->hitTest(QPointF(300, 650)), ScreenshotView::Hit::content);
    EXPECT_EQ(e.view->hitTest(QPointF(1500, 50)), ScreenshotView::Hit::nothing);
}

TEST(ScreenshotView, BandPressOnTheCanvasRecropsAndRefusalSnapsBack)
{
    Editor e;
    // 3 points inside the crop's left edge: the canvas lies there, but the
    // press is the view's.
    EXPECT_TRUE(e.mouse(e.canvas, QEvent::MouseButtonPress, QPointF(103, 560)));
    EXPECT_TRUE(e.view->isAdjusting());
    EXPECT_EQ(e.events, std::vector<std::string>{"begin"});
    EXPECT_FALSE(e.canvas->isVisible());
    EXPECT_FALSE(e.parts.toolbarPanel->isVisible());
    EXPECT_FALSE(e.parts.status->isVisible());
    EXPECT_FALSE(e.view->border()->state().handles);
    EXPECT_FALSE(e.view->border()->state().toolbar);

    // The crop moves with the pointer, and the badge shows its live size.
    e.mouse(e.canvas, QEvent::MouseMove, QPointF(153, 540));
    EXPECT_EQ(e.view->region(), Rect(150, 120, 400, 300));
    EXPECT_EQ(e.view->border()->state().selection, Rect(150, 120, 400, 300));
    EXPECT_EQ(e.view->border()->state().pixels, (Size{400, 300}));

    e.mouse(e.view, QEvent::MouseButtonRelease, QPointF(153, 540), Qt::NoButton);
    EXPECT_EQ(e.asked, std::vector<Rect>{Rect(150, 120, 400, 300)});
    EXPECT_FALSE(e.view->isAdjusting());
    EXPECT_EQ(e.view->region(), Rect(100, 100, 400, 300));
    EXPECT_EQ(e.events, (std::vector<std::string>{"begin", "cancel"}));
    EXPECT_TRUE(e.canvas->isVisible());
    EXPECT_TRUE(e.parts.toolbarPanel->isVisible());
    EXPECT_EQ(e.canvas->geometry(), QRect(100, 500, 400, 300));
}

TEST(ScreenshotView, PressesInsideTheCropStayWithTheCanvasAndItsChildren)
{
    Editor e;
    EXPECT_FALSE(e.mouse(e.canvas, QEvent::MouseButtonPress, QPointF(300, 650)));
    EXPECT_FALSE(e.view->isAdjusting());

    // A view the canvas gains later (the live-text overlay) passes its
    // band presses on too.
    auto* overlay = new QWidget(e.canvas);
    overlay->setGeometry(e.canvas->rect());
    e.parts.overlay = overlay;
    e.layout();
    e.mouse(overlay, QEvent::MouseButtonPress, QPointF(300, 797));
    EXPECT_TRUE(e.view->isAdjusting());
}

TEST(ScreenshotView, HandleDragAcceptedReplacesTheEditor)
{
    Editor e;
    e.accept = true;
    // The top-right handle, at widget (500, 500).
    e.mouse(e.view, QEvent::MouseButtonPress, QPointF(505, 495));
    e.mouse(e.view, QEvent::MouseMove, QPointF(600, 400));
    EXPECT_EQ(e.view->border()->state().pixels, (Size{500, 400}));
    e.mouse(e.view, QEvent::MouseButtonRelease, QPointF(600, 400), Qt::NoButton);
    EXPECT_EQ(e.asked, std::vector<Rect>{Rect(100, 100, 500, 400)});
    EXPECT_EQ(e.events, std::vector<std::string>{"begin"});
}

TEST(ScreenshotView, EscapeCancelsARecropAndOtherwiseGoesUp)
{
    Editor e;
    QKeyEvent idle(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(e.view, &idle);
    EXPECT_FALSE(idle.isAccepted());

    e.mouse(e.view, QEvent::MouseButtonPress, QPointF(50, 50));
    e.mouse(e.view, QEvent::MouseMove, QPointF(80, 30));
    ASSERT_TRUE(e.view->isAdjusting());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(e.view, &escape);
    EXPECT_TRUE(escape.isAccepted());
    EXPECT_FALSE(e.view->isAdjusting());
    EXPECT_EQ(e.view->region(), Rect(100, 100, 400, 300));
    EXPECT_TRUE(e.canvas->isVisible());
    EXPECT_FALSE(e.view->cancelOperation());
}

TEST(ScreenshotView, DimsTheScreenOutsideTheRoundedCrop)
{
    Editor e;
    const QImage image = renderAlone(*e.view);
    const QColor inside = image.pixelColor(300, 650);
    const QColor outside = image.pixelColor(50, 50);
    const QColor corner = image.pixelColor(101, 501);
    EXPECT_EQ(inside, screenColor);
    // Black at 0.24 over the screen.
    EXPECT_NEAR(outside.red(), 200 * 0.76, 1.5);
    EXPECT_NEAR(outside.green(), 100 * 0.76, 1.5);
    // The crop's corner is rounded off, and dimmed like the outside.
    EXPECT_EQ(corner, outside);
}

TEST(ScreenshotView, BorderDrawsTheOutlineAndHandles)
{
    Editor e;
    const QImage image = renderAlone(*e.view->border());
    const auto appearance = CoreAppearance::appearance(e.view);
    // On the left edge, between two handles.
    EXPECT_EQ(image.pixel(100, 560), CoreAppearance::captureBorder.resolved(appearance).rgb());
    // The left handle's face.
    EXPECT_EQ(image.pixel(100, 650), CoreAppearance::surface.resolved(appearance).rgb());
    // Nothing inside the crop.
    EXPECT_EQ(qAlpha(image.pixel(300, 650)), 0);
}

TEST(ScreenshotStatus, StartsRecognisingAndReportsEveryChangeAfterStoringIt)
{
    ScreenshotStatus status;
    EXPECT_EQ(status.text(), QStringLiteral("正在识别文字…"));
    std::vector<QString> seen;
    status.onChange = [&] { seen.push_back(status.text()); };
    status.setText(QStringLiteral("图片已复制"));
    status.clear();
    EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("图片已复制"), QString()}));
}

TEST(ScreenshotView, RecropThroughTheWindowsOwnPointerRouting)
{
    Editor e;
    e.view->setAttribute(Qt::WA_DontShowOnScreen, false);
    e.view->show();
    QWindow* window = e.view->windowHandle();
    ASSERT_TRUE(window);
    // Delivered to the window, the events find their widget as real input
    // does: the press lands on the canvas, which hides under the pointer
    // and keeps or loses the pointer grab.
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, window->mapToGlobal(at), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(window, &event);
    };
    send(QEvent::MouseButtonPress, QPointF(104, 560), Qt::LeftButton);
    ASSERT_TRUE(e.view->isAdjusting());
    EXPECT_FALSE(e.canvas->isVisible());
    send(QEvent::MouseMove, QPointF(54, 580), Qt::LeftButton);
    EXPECT_EQ(e.view->region(), Rect(50, 80, 400, 300));
    e.accept = true;
    send(QEvent::MouseButtonRelease, QPointF(54, 580), Qt::NoButton);
    EXPECT_EQ(e.asked, std::vector<Rect>{Rect(50, 80, 400, 300)});
    EXPECT_FALSE(e.view->isAdjusting());

    // With something drawn, the same press belongs to the canvas.
    e.parts.documentHasObjects = true;
    e.layout();
    QWidget* pressed = nullptr;
    struct Spy : QObject {
        QWidget** target;
        explicit Spy(QWidget** t) : target(t) { }
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::MouseButtonPress)
                *target = static_cast<QWidget*>(watched);
            return false;
        }
    } spy(&pressed);
    e.canvas->installEventFilter(&spy);
    send(QEvent::MouseButtonPress, QPointF(104, 560), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPointF(104, 560), Qt::NoButton);
    EXPECT_EQ(pressed, e.canvas);
    EXPECT_FALSE(e.view->isAdjusting());
}
