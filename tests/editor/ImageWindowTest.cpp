#include "editor/ImageWindow.h"

#include "ImageWindowFixture.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageOutputs.h"
#include "editor/ScreenshotSpace.h"
#include "editor/ScreenshotView.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/EventLoopWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace kelpie;
using kelpie::test::ImageWindowTest;


TEST_F(ImageWindowTest, PlainEditorIsANormalTitledWindowSizedByTheCrop)
{
    open(300, 200, false);
    EXPECT_EQ(window->mode(), EditorMode::plain);
    EXPECT_TRUE(widget().isVisible());
    EXPECT_EQ(widget().windowTitle(), QStringLiteral("Kelpie"));
    EXPECT_FALSE(widget().windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(widget().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(widget().size(), QSize(880, 687));
    EXPECT_TRUE(window->editing());
    EXPECT_TRUE(model().editingEnabled());
    EXPECT_FALSE(model().compactStyles());
    // No recognition runs yet: the status names the size, never text.
    EXPECT_EQ(window->statusText(), QStringLiteral("300 × 200 px"));
    EXPECT_EQ(window->contextualStatus(), window->imageDimensions());
}

TEST_F(ImageWindowTest, PinnedWindowIsAFramelessTranslucentFloatingToolWindow)
{
    open(400, 100, true);
    EXPECT_EQ(window->mode(), EditorMode::pinned);
    EXPECT_EQ(widget().windowTitle(), QStringLiteral("Kelpie · 钉图"));
    EXPECT_TRUE(widget().windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(widget().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(widget().windowFlags() & Qt::WindowType_Mask, Qt::Tool) << "kept off the task bar";
    EXPECT_TRUE(widget().testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(model().compactStyles());
    // Viewing first; the canvas fills the window.
    EXPECT_FALSE(window->editing());
    EXPECT_FALSE(model().editingEnabled());
    EXPECT_EQ(window->canvas()->geometry(), widget().rect());
}

TEST_F(ImageWindowTest, PinnedWindowNeverGoesBelow32PointsOnItsLongerSide)
{
    open(400, 100, true);
    EXPECT_EQ(widget().minimumSize(), QSize(32, 8));
    for (int i = 0; i < 200; ++i)
        window->zoom(0.5);
    EXPECT_EQ(widget().width(), 32);
    EXPECT_EQ(widget().height(), 8);
    // Zooming back in keeps the image's aspect.
    window->zoom(4);
    EXPECT_EQ(widget().size(), QSize(128, 32));
}

TEST_F(ImageWindowTest, PinnedSpaceTogglesEditingAndEscapeStepsBackThenCloses)
{
    open(300, 200, true);
    ASSERT_TRUE(model().onSpace);
    model().onSpace();
    EXPECT_TRUE(window->editing());
    EXPECT_TRUE(model().editingEnabled());
    model().chooseTool(AnnotationTool::rectangle);
    // Escape: first back to the select tool, then back to viewing, then closed.
    window->cancelOperation();
    EXPECT_EQ(model().tool(), AnnotationTool::select);
    EXPECT_TRUE(window->editing());
    window->cancelOperation();
    EXPECT_FALSE(window->editing());
    EXPECT_FALSE(model().editingEnabled());
    EXPECT_EQ(closes, 0);
    window->cancelOperation();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(window->isClosed());
}

TEST_F(ImageWindowTest, CloseFiresOnCloseOnceAndRaisesTheGeneration)
{
    open(300, 200, false);
    const int before = window->generation();
    window->close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(window->isClosed());
    EXPECT_FALSE(widget().isVisible());
    EXPECT_GT(window->generation(), before);
    window->close();
    widget().close();
    EXPECT_EQ(closes, 1) << "the tear-down runs once";
}

TEST_F(ImageWindowTest, OwnerMayDropTheWindowFromOnClose)
{
    open(300, 200, false);
    window->onClose = [this] {
        ++closes;
        window.reset();
    };
    window->cancelOperation();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(window, nullptr);
    flush();
    // The same from inside an output that closes its window.
    open(300, 200, false);
    window->onClose = [this] {
        ++closes;
        window.reset();
    };
    window->copyImage();
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(clipboard->pngs.size(), 1u);
    flush();
}

TEST_F(ImageWindowTest, CallbacksOfTheWindowsPartsDoNothingOnceItIsGone)
{
    open(300, 200, true);
    AnnotationWindow* shell = window->window();
    const auto onSpace = model().onSpace;
    const auto onExit = model().onExit;
    const auto onZoom = model().onZoom;
    const auto handleKey = shell->handleCanvasKey;
    window.reset();
    onSpace();
    onExit();
    onZoom(2);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_FALSE(handleKey(space));
    EXPECT_EQ(closes, 0);
    flush();
}

TEST_F(ImageWindowTest, OutputButtonsByMode)
{
    open(300, 200, false);
    const auto shown = [&](const QString& title) {
        for (auto* button : widget().findChildren<QAbstractButton*>())
            if (button->text() == title)
                return button->isVisibleTo(&widget());
        return false;
    };
    EXPECT_TRUE(shown(QStringLiteral("钉住")));
    EXPECT_TRUE(shown(QStringLiteral("复制")));
    EXPECT_FALSE(shown(QStringLiteral("完成"))) << "the done-pin button is for pins";
    EXPECT_FALSE(shown(QStringLiteral("完成文字")));
    EXPECT_FALSE(shown(QStringLiteral("编辑"))) << "the viewer row is for pins";
}

TEST_F(ImageWindowTest, RoutineStatusFollowsTheStateMessagesStay)
{
    open(300, 200, false);
    window->setStatus(QStringLiteral("图片已复制"));
    window->updateControls();
    EXPECT_EQ(window->statusText(), QStringLiteral("图片已复制"));
    EXPECT_FALSE(window->hidesRoutineStatus());
    // A new drawing starts over: recognition is invalidated while drawing.
    window->invalidateRecognition();
    EXPECT_EQ(window->statusText(), QStringLiteral("300 × 200 px"));
    EXPECT_TRUE(window->hidesRoutineStatus());
}

TEST_F(ImageWindowTest, OpacityPresetSetsTheWindowAlpha)
{
    open(300, 200, true);
    window->opacityPreset(50);
    // The window system keeps eight bits of it.
    EXPECT_NEAR(widget().windowOpacity(), 0.5, 1.0 / 255);
    window->changeOpacity(0.75);
    EXPECT_NEAR(widget().windowOpacity(), 0.75, 1.0 / 255);
    window->changeOpacity(7);
    EXPECT_DOUBLE_EQ(widget().windowOpacity(), 1);
    // The value set is kept exactly, for the menu's check mark.
    window->opacityPreset(50);
    EXPECT_EQ(int(window->opacity() * 100), 50);
    // Never fully clear, and nonsense is ignored.
    window->changeOpacity(0);
    EXPECT_DOUBLE_EQ(window->opacity(), 0.1);
    EXPECT_GT(widget().windowOpacity(), 0);
    window->changeOpacity(std::nan(""));
    EXPECT_DOUBLE_EQ(window->opacity(), 0.1);
}

TEST_F(ImageWindowTest, PinKeepsThePreferredFramesWidthAndTopLeftCorner)
{
    // Frames given to the window are y-up from the screen's bottom-left.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.topLeft(), QPoint(0, 0));
    ASSERT_GE(screen.width(), 600);
    ASSERT_GE(screen.height(), 500);
    window
        = std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(image(400, 100)), true,
                                        preferences, std::nullopt, Rect(100, 300, 200, 80));
    // Width 200, height from the image's aspect, the top edge at y = 380 up.
    EXPECT_EQ(widget().geometry(), QRect(100, screen.height() - 380, 200, 50));
    // Without a preferred frame the pin is centred at one pixel per point.
    ImageWindow centred(image(400, 100), true, preferences);
    EXPECT_EQ(centred.window()->geometry(),
              QRect(screen.width() / 2 - 200, screen.height() / 2 - 50, 400, 100));
}

TEST_F(ImageWindowTest, SuggestedPinFrameIsTheCanvasContentOnTheDesktop)
{
    open(100, 20, false);
    const auto frame = window->suggestedPinFrame();
    ASSERT_TRUE(frame);
    const QRectF content = window->canvas()->widgetRect(model().contentRect());
    const QPoint topLeft = window->canvas()->mapToGlobal(content.topLeft().toPoint());
    EXPECT_DOUBLE_EQ(frame->width(), content.width());
    EXPECT_DOUBLE_EQ(frame->minX(), topLeft.x());
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    EXPECT_DOUBLE_EQ(frame->maxY(), screenHeight - topLeft.y()) << "y up from the screen's bottom";
}

TEST_F(ImageWindowTest, PlainEditorGrowsDownwardsForTheStyleRow)
{
    open(100, 20, false);
    const QRect before = widget().geometry();
    ASSERT_EQ(before.height(), 360);
    EXPECT_EQ(widget().minimumSize(), QSize(880, 300));
    model().chooseTool(AnnotationTool::rectangle);
    EXPECT_EQ(widget().minimumSize(), QSize(880, 480));
    EXPECT_EQ(widget().height(), 480);
    EXPECT_EQ(widget().geometry().y(), before.y()) << "the top edge stays";
    model().chooseTool(AnnotationTool::select);
    EXPECT_EQ(widget().minimumSize(), QSize(880, 300));
}

TEST_F(ImageWindowTest, UndoAndRedoFollowTheDocumentAndWaitForGestures)
{
    open(300, 200, false);
    addObject();
    window->undo();
    EXPECT_TRUE(window->document().state().objects.isEmpty());
    window->redo();
    EXPECT_EQ(window->document().state().objects.size(), 1);
    // Mid-drag neither undoes.
    model().chooseTool(AnnotationTool::rectangle);
    model().pointerDown({150, 150}, 1);
    model().pointerDragged({200, 190}, false);
    ASSERT_TRUE(window->hasDraft());
    window->undo();
    EXPECT_EQ(window->document().state().objects.size(), 1);
}

TEST_F(ImageWindowTest, PinResizedByTheWindowSystemGetsItsAspectBack)
{
    open(400, 100, true);
    const QRect before = widget().geometry();
    // A resize from an edge that ignores the aspect: once it ends the width
    // and the top-left corner stay and the height follows the image.
    widget().setGeometry(QRect(before.topLeft(), QSize(300, 200)));
    ASSERT_TRUE(test::waitFor([&] { return widget().height() == 75; }));
    EXPECT_EQ(widget().geometry(), QRect(before.topLeft(), QSize(300, 75)));
    EXPECT_EQ(window->canvas()->geometry(), widget().rect());
}

// --- the screenshot editor ----------------------------------------------------

TEST_F(ImageWindowTest, ScreenshotEditorCoversTheScreenWithTheCropAtItsSource)
{
    openScreenshot(Rect(100, 100, 300, 200));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window->mode(), EditorMode::screenshot);
    EXPECT_EQ(widget().geometry(), screen);
    EXPECT_TRUE(widget().windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(widget().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(widget().windowFlags() & Qt::X11BypassWindowManagerHint) << "above the panels";
    EXPECT_TRUE(window->window()->copiesScreenshotOnReturn);
    EXPECT_TRUE(model().compactStyles());
    // The crop is y-up from the screen's bottom; the canvas sits exactly on it.
    ASSERT_NE(window->screenshotView(), nullptr);
    EXPECT_EQ(window->canvas()->parentWidget(), window->screenshotView());
    EXPECT_EQ(window->canvas()->geometry(), QRect(100, screen.height() - 300, 300, 200));
    EXPECT_TRUE(window->canvas()->isVisible());
    // Routine statuses stay out of the way over the frozen screen.
    EXPECT_TRUE(window->hidesRoutineStatus());
}

TEST_F(ImageWindowTest, ScreenshotReCropGoesToTheOwnerAndEscapeCancelsIt)
{
    openScreenshot(Rect(100, 100, 300, 200));
    std::vector<Rect> asked;
    bool accept = false;
    window->onReselect = [&](const Rect& region) {
        asked.push_back(region);
        return accept;
    };
    ScreenshotView& view = *window->screenshotView();
    const auto mouse = [&](QEvent::Type type, Point at, Qt::MouseButtons buttons) {
        const QPointF p = ScreenshotSpace::widgetPoint(at, view.height());
        QMouseEvent event(type, p, view.mapToGlobal(p), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    };
    // A new region drawn outside the crop.
    mouse(QEvent::MouseButtonPress, {500, 500}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {600, 580}, Qt::LeftButton);
    ASSERT_TRUE(window->isAdjusting());
    // Keys and outputs wait; Escape ends the re-crop, not the editor.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_FALSE(window->window()->handleCanvasKey(space));
    window->copy();
    EXPECT_TRUE(clipboard->pngs.empty());
    EXPECT_EQ(window->statusText(), ImageOutputs::unfinishedEditMessage);
    window->cancelOperation();
    EXPECT_FALSE(window->isAdjusting());
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(view.region(), Rect(100, 100, 300, 200));
    // Released on a new region, the owner is asked; refused, it snaps back.
    mouse(QEvent::MouseButtonPress, {500, 500}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {600, 580}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {600, 580}, Qt::NoButton);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], Rect(500, 500, 100, 80));
    EXPECT_EQ(view.region(), Rect(100, 100, 300, 200));
    EXPECT_TRUE(window->canvas()->isVisible());
}

TEST_F(ImageWindowTest, ScreenshotEditorStopsReCroppingOnceItHasObjects)
{
    openScreenshot(Rect(100, 100, 300, 200));
    EXPECT_TRUE(window->screenshotView()->canAdjust());
    addObject();
    EXPECT_FALSE(window->screenshotView()->canAdjust());
    window->preserveScreenshotAfterScreenChange();
    EXPECT_FALSE(window->screenshotView()->sourceGeometryAvailable());
    EXPECT_EQ(widget().geometry(), QGuiApplication::primaryScreen()->geometry());
}

// --- outputs ------------------------------------------------------------------

TEST_F(ImageWindowTest, CopyMidDragWritesNothing)
{
    open(300, 200, false);
    beginDrag();
    window->copy();
    EXPECT_TRUE(clipboard->pngs.empty());
    EXPECT_EQ(window->statusText(), QStringLiteral("请先完成当前编辑"));
    EXPECT_EQ(closes, 0);
}

TEST_F(ImageWindowTest, CopyClosesThePlainEditorKeepsThePinAndReturnClosesTheScreenshot)
{
    open(300, 200, false);
    window->copy();
    ASSERT_EQ(clipboard->pngs.size(), 1u);
    EXPECT_EQ(closes, 1) << "the plain editor closes after an image copy";
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(clipboard->pngs[0], "PNG"));
    EXPECT_EQ(decoded.size(), QSize(300, 200));

    open(300, 200, true);
    closes = 0;
    window->copy();
    window->copyImage();
    EXPECT_EQ(clipboard->pngs.size(), 3u);
    EXPECT_EQ(closes, 0) << "a pin never closes itself after copying";
    EXPECT_EQ(window->statusText(), QStringLiteral("图片已复制"));

    openScreenshot(Rect(100, 100, 300, 200));
    window->copy();
    EXPECT_EQ(closes, 0) << "Ctrl+C over the frozen screen keeps the editor";
    ASSERT_TRUE(model().onConfirm);
    model().onConfirm();
    EXPECT_EQ(clipboard->pngs.size(), 5u);
    EXPECT_EQ(closes, 1) << "Return copies and closes";
}

TEST_F(ImageWindowTest, PinningKeepsThePlainEditorAndClosesTheScreenshotEditor)
{
    open(300, 200, false);
    addObject();
    window->pinImage();
    ASSERT_EQ(pinRequests.size(), 1u);
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(window->isClosed());
    // The pin's document is its own, with the history.
    EXPECT_NE(pinRequests[0].get(), &window->document());
    EXPECT_EQ(pinRequests[0]->state(), window->document().state());
    EXPECT_TRUE(pinRequests[0]->canUndo());
    pinRequests[0]->undo();
    EXPECT_EQ(window->document().state().objects.size(), 1);

    openScreenshot(Rect(100, 100, 300, 200));
    window->pinImage();
    EXPECT_EQ(pinRequests.size(), 2u);
    EXPECT_EQ(closes, 1);
}

TEST_F(ImageWindowTest, PinOpenedFromAPinnedDocumentShowsItsObjects)
{
    open(300, 200, false);
    addObject();
    window->pinImage();
    ASSERT_EQ(pinRequests.size(), 1u);
    ImageWindow pin(std::move(pinRequests[0]), true, preferences, std::nullopt,
                    window->suggestedPinFrame(), clipboard, savePanel);
    EXPECT_EQ(pin.document().state().objects.size(), 1);
    EXPECT_FALSE(pin.composite()->isNull());
    // The rectangle's left edge, x = 10 from y = 10 to 60 up.
    EXPECT_NE(pin.composite()->pixel(10, 200 - 35), image(1, 1).pixel(0, 0))
        << "the rectangle is drawn into the pin's composite";
}

TEST_F(ImageWindowTest, PinnedKeysThroughTheWindowToggleEditingAndStepBack)
{
    open(300, 200, true);
    const auto press = [&](int key, const QString& text = QString()) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        return window->window()->handleCanvasKey(event);
    };
    EXPECT_TRUE(press(Qt::Key_Space, QStringLiteral(" ")));
    EXPECT_TRUE(window->editing());
    EXPECT_TRUE(press(Qt::Key_Space, QStringLiteral(" ")));
    EXPECT_FALSE(window->editing()) << "Space toggles back to viewing";
    press(Qt::Key_Space, QStringLiteral(" "));
    ASSERT_TRUE(window->editing());
    press(Qt::Key_Escape);
    EXPECT_FALSE(window->editing());
    EXPECT_EQ(closes, 0);
    press(Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
}

TEST_F(ImageWindowTest, ScreenshotEditorStepsAsideForTheSettingsWindow)
{
    openScreenshot(Rect(100, 100, 300, 200));
    ASSERT_TRUE(widget().isVisible());
    window->suspendScreenshotForSettings();
    EXPECT_FALSE(widget().isVisible());
    EXPECT_FALSE(window->isClosed()) << "ordered out, not closed";
    EXPECT_EQ(closes, 0);
    // The other modes ignore it.
    open(300, 200, false);
    window->suspendScreenshotForSettings();
    window->preserveScreenshotAfterScreenChange();
    EXPECT_TRUE(widget().isVisible());
}

TEST_F(ImageWindowTest, DesktopThemeSwitchWithEditorsOpen)
{
    openScreenshot(Rect(100, 100, 300, 200));
    ImageWindow pin(std::make_unique<AnnotationDocument>(image(200, 100)), true, preferences,
                    std::nullopt, std::nullopt, clipboard, savePanel);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(58, 58, 60), QColor(36, 36, 38)));
    QApplication::setPalette(before);
    EXPECT_TRUE(widget().isVisible());
    EXPECT_TRUE(pin.window()->isVisible());
}

TEST_F(ImageWindowTest, ButtonsFollowTextTypingAndTheHistory)
{
    open(300, 200, false);
    const auto button = [&](const QString& titleOrTip) -> QAbstractButton* {
        for (auto* b : widget().findChildren<QAbstractButton*>())
            if (b->text() == titleOrTip || b->toolTip() == titleOrTip)
                return b;
        return nullptr;
    };
    QAbstractButton* undo = button(QStringLiteral("撤销（⌘Z）"));
    QAbstractButton* finish = button(QStringLiteral("完成文字"));
    QAbstractButton* pin = button(QStringLiteral("钉住"));
    ASSERT_TRUE(undo && finish && pin);
    EXPECT_FALSE(undo->isEnabled());
    addObject();
    EXPECT_TRUE(undo->isEnabled());
    beginDrag();
    EXPECT_FALSE(undo->isEnabled()) << "not mid-drag";
    model().cancelGesture();
    EXPECT_TRUE(undo->isEnabled());

    // Typing: the text buttons replace the outputs of the plain editor.
    model().chooseTool(AnnotationTool::text);
    const Rect content = model().contentRect();
    model().pointerDown({content.midX(), content.midY()}, 1);
    model().pointerUp();
    ASSERT_TRUE(window->textBeingTyped());
    EXPECT_TRUE(finish->isVisibleTo(&widget()));
    EXPECT_FALSE(pin->isVisibleTo(&widget()));
    window->cancelText();
    EXPECT_FALSE(window->textBeingTyped());
    EXPECT_FALSE(finish->isVisibleTo(&widget()));
    EXPECT_TRUE(pin->isVisibleTo(&widget()));
}
