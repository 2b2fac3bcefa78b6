#include "OverlayFixture.h"
#include "OverlayHarness.h"
#include "editor/FloatingControls.h"
#include "editor/ToolbarButton.h"
#include "overlay/SelectionWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QScrollArea>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::test::OverlayHarness;

namespace {

constexpr Size oneToOne{400, 300};
constexpr Size retina{200, 150};

QImage coordinates() { return test::makeCoordinateImage(400, 300); }

const WindowTarget window{7, 42, Rect(50, 50, 200, 100)};

ToolbarButton* actionButton(const SelectionView& view, const QString& title)
{
    for (auto* button : view.actions()->findChildren<ToolbarButton*>())
        if (button->text() == title)
            return button;
    return nullptr;
}

} // namespace

TEST(SelectionView, ShortPressOverAWindowPicksItLongerTravelMakesARegion)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.windowTargets = {window};

    // Three points of travel is still a click.
    o.press({100, 100});
    o.drag({103, 100});
    o.release({103, 100});
    ASSERT_EQ(o.picks.size(), 1u);
    EXPECT_EQ(o.picks[0], window);
    EXPECT_TRUE(o.confirmations.empty());

    // A jittery click picks the window without leaving a sliver of region.
    o.press({100, 100});
    o.drag({102, 102});
    o.release({102, 102});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_TRUE(o.view.selection().isEmpty());
    EXPECT_FALSE(o.view.selectionPixels());
    EXPECT_EQ(o.view.hoveredWindow(), window);

    // Four points is a drag ("window_drag_is_region"), also when the travel
    // is only seen at the release.
    o.press({100, 100});
    o.drag({104, 100});
    o.release({104, 100});
    o.press({100, 100});
    o.release({100, 104});
    EXPECT_EQ(o.picks.size(), 2u);

    o.press({100, 100});
    o.drag({104, 104});
    o.release({104, 104});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_EQ(o.view.selection(), Rect(100, 100, 4, 4));
    EXPECT_TRUE(o.view.actionPanel()->isVisible());

    // A click away from every window picks nothing.
    o.view.reset();
    o.press({350, 250});
    o.release({350, 250});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionView, FinishedDragConfirmsEditWithExactlyThePixelsInsideTheBorder)
{
    const QImage image = coordinates();
    // A 2× display to the right of the primary one.
    SelectionWindow host(image, QRect(1920, 0, 200, 150), QRect(0, 0, 1920, 1080));
    OverlayHarness o(*host.view());
    o.view.automaticallyEdit = true;

    o.dragRegion({10.3, 20.6}, {50.7, 60.2});

    ASSERT_EQ(o.confirmations.size(), 1u);
    const auto& c = o.confirmations[0];
    EXPECT_EQ(c.action, SelectionAction::edit());
    // Outward to whole pixels: x 20.6…101.4 → 20…102, rows 179.6…258.8 → 179…259.
    ASSERT_TRUE(o.view.selectionPixels());
    EXPECT_EQ(*o.view.selectionPixels(), Rect(20, 179, 82, 80));
    EXPECT_EQ(c.crop, image.copy(20, 179, 82, 80));
    EXPECT_EQ(o.view.selection(), Rect(10, 20.5, 41, 40));
    EXPECT_EQ(o.view.sizeLabel(), QStringLiteral("82 × 80 px"));
    // Desktop space: the screen's bottom-left lies at (1920, 1080 − 150).
    EXPECT_EQ(c.rect, Rect(1930, 950.5, 41, 40));
}

TEST(SelectionView, EscapeRestoresTheRegionOfBeforeTheDragThenClearsThenCancels)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.dragRegion({50, 50}, {150, 120});
    const Rect before = o.view.selection();
    ASSERT_EQ(before, Rect(50, 50, 100, 70));

    o.press({300, 250});
    o.drag({350, 280});
    EXPECT_EQ(o.view.selection(), Rect(300, 250, 50, 30));
    o.key(Qt::Key_Escape);
    EXPECT_EQ(o.view.selection(), before);
    EXPECT_FALSE(o.view.anchor());
    EXPECT_TRUE(o.view.actionPanel()->isVisible());
    o.release({350, 280});
    EXPECT_EQ(o.view.selection(), before);

    o.key(Qt::Key_Escape);
    EXPECT_TRUE(o.view.selection().isEmpty());
    EXPECT_FALSE(o.view.actionPanel()->isVisible());
    EXPECT_EQ(o.cancels, 0);
    o.key(Qt::Key_Escape);
    EXPECT_EQ(o.cancels, 1);
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionView, ReleaseOfAPressAbandonedWithEscapeConfirmsNothing)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.selectRegion(Rect(50, 50, 100, 70));
    o.view.automaticallyEdit = true;

    o.press({300, 250});
    o.drag({350, 280});
    o.key(Qt::Key_Escape);
    o.release({350, 280});
    EXPECT_TRUE(o.confirmations.empty());
    EXPECT_EQ(o.view.selection(), Rect(50, 50, 100, 70));

    // The next press is an ordinary one again.
    o.dragRegion({200, 200}, {260, 240});
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::edit());
}

TEST(SelectionView, EscapeWhileAPickedWindowIsCapturedCancels)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.windowTargets = {window};
    o.press({100, 100});
    o.release({100, 100});
    ASSERT_EQ(o.picks.size(), 1u);
    o.view.showWindowStatus(QStringLiteral("正在捕获窗口…"));
    EXPECT_EQ(o.view.windowStatus(), QStringLiteral("正在捕获窗口…"));

    o.key(Qt::Key_Escape);
    EXPECT_EQ(o.cancels, 1);
}

TEST(SelectionView, ResizeFlipsAcrossTheOppositeEdgeButKeepsOneImagePixel)
{
    OverlayHarness o(coordinates(), retina);
    o.view.selectRegion(Rect(20, 20, 40, 40));

    o.press({60, 40});
    ASSERT_TRUE(o.view.resizing());
    EXPECT_EQ(*o.view.resizing(), SelectionHandle::right);
    o.drag({5, 40});
    EXPECT_EQ(o.view.selection(), Rect(5, 20, 15, 40));

    // Half a point is one pixel on this display: the minimum.
    o.drag({20.1, 40});
    EXPECT_EQ(o.view.selection(), Rect(20, 20, 0.5, 40));
    EXPECT_EQ(o.view.sizeLabel(), QStringLiteral("1 × 80 px"));
    o.drag({19.9, 40});
    EXPECT_EQ(o.view.selection(), Rect(19.5, 20, 0.5, 40));
    o.release({19.9, 40});

    // On so thin a region the corners overlap; the first in handle order
    // wins. Dragged out of the view, it stops at the view's edges.
    o.press({19.5, 60});
    EXPECT_EQ(*o.view.resizing(), SelectionHandle::topRight);
    o.drag({-50, 400});
    o.release({-50, 400});
    EXPECT_EQ(o.view.selection(), Rect(0, 20, 19.5, 130));
}

TEST(SelectionView, MovingAgainstTheViewEdgesStopsWithoutResizing)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.selectRegion(Rect(20, 20, 40, 30));
    o.press({30, 30});
    EXPECT_TRUE(o.view.moving());
    o.drag({-100, 500});
    EXPECT_EQ(o.view.selection(), Rect(0, 270, 40, 30));
    o.drag({1000, -1000});
    EXPECT_EQ(o.view.selection(), Rect(360, 0, 40, 30));
    o.release({1000, -1000});
    EXPECT_EQ(o.view.selection(), Rect(360, 0, 40, 30));
}

TEST(SelectionView, DoubleClickInsideTheSelectionCopiesOutsideItDoesNot)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.selectRegion(Rect(20, 20, 100, 100));

    o.doubleClick({300, 250});
    EXPECT_TRUE(o.confirmations.empty());

    o.doubleClick({50, 50});
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::copy());
    EXPECT_EQ(o.confirmations[0].crop.size(), QSize(100, 100));
}

TEST(SelectionView, ArrowKeysMoveByWholeImagePixels)
{
    OverlayHarness o(coordinates(), retina);
    o.view.selectRegion(Rect(20, 20, 40, 40));
    ASSERT_EQ(*o.view.selectionPixels(), Rect(40, 180, 80, 80));

    o.key(Qt::Key_Right);
    EXPECT_EQ(o.view.selection(), Rect(20.5, 20, 40, 40));
    EXPECT_EQ(*o.view.selectionPixels(), Rect(41, 180, 80, 80));
    EXPECT_EQ(o.view.sizeLabel(), QStringLiteral("80 × 80 px"));

    // Up is up on screen: image rows count the other way.
    o.key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(o.view.selection(), Rect(20.5, 25, 40, 40));
    EXPECT_EQ(*o.view.selectionPixels(), Rect(41, 170, 80, 80));
    EXPECT_TRUE(o.view.actionPanel()->isVisible());

    for (int i = 0; i < 10; ++i)
        o.key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(o.view.selection(), Rect(0, 25, 40, 40));
    o.key(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(o.view.selection(), Rect(0, 20, 40, 40));

    o.view.reset();
    o.key(Qt::Key_Right);
    EXPECT_TRUE(o.view.selection().isEmpty());
    EXPECT_FALSE(o.view.actionPanel()->isVisible());
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionView, ActionPanelSitsUnderTheSelectionAndInsideTheView)
{
    const QImage image = test::makeCoordinateImage(1600, 900);
    OverlayHarness o(image, {1600, 900});
    o.view.automaticallyEdit = true;

    // Select-all from the keyboard never confirms by itself.
    o.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(o.confirmations.empty());
    EXPECT_EQ(o.view.selection(), Rect(0, 0, 1600, 900));
    const QRect full = o.view.actionPanel()->geometry();
    EXPECT_TRUE(o.view.actionPanel()->isVisible());
    EXPECT_EQ(full.x() + full.width(), 1600 - 12);
    EXPECT_EQ(full.y() + full.height(), 900 - 12);

    o.view.selectRegion(Rect(500, 400, 900, 300));
    const QRect under = o.view.actionPanel()->geometry();
    EXPECT_EQ(under.x() + under.width(), 1400);
    EXPECT_EQ(under.y(), 900 - 400 + 12);

    // The responder's select-all does confirm in the capture flow.
    o.view.selectAll();
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::edit());
    EXPECT_EQ(o.confirmations[0].crop.size(), QSize(1600, 900));
}

TEST(SelectionView, NarrowViewCapsTheActionPanelAndScrollsIt)
{
    OverlayHarness o(test::makeCoordinateImage(600, 400), {600, 400});
    o.key(Qt::Key_A, Qt::ControlModifier);
    FloatingControls* panel = o.view.actionPanel();
    EXPECT_EQ(panel->geometry(), QRect(12, 400 - 12 - panel->height(), 576, panel->height()));
    EXPECT_GT(panel->height(), panel->panelSize(1e6).height());
    EXPECT_EQ(panel->scroll()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(SelectionView, ColourKeyCopiesThePixelUnderThePointer)
{
    OverlayHarness o(coordinates(), oneToOne);
    QClipboard* clipboard = QGuiApplication::clipboard();

    o.hoverPixel(12, 34);
    ASSERT_TRUE(o.view.pointerColor());
    o.key(Qt::Key_C);
    EXPECT_EQ(clipboard->text(), QStringLiteral("#0C2200"));
    o.key(Qt::Key_C, Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("RGB(12, 34, 0)"));

    // With Command (Ctrl), Option (Alt) or Control (Meta) it is another key.
    clipboard->setText(QStringLiteral("untouched"));
    for (const auto modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_C, modifier);
        QApplication::sendEvent(&o.view, &event);
        EXPECT_FALSE(event.isAccepted()) << modifier;
    }
    EXPECT_EQ(clipboard->text(), QStringLiteral("untouched"));
    EXPECT_EQ(o.beeps, 0);

    // Away from the view there is no colour: a beep, the clipboard kept.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&o.view, &leave);
    EXPECT_FALSE(o.view.pointer());
    EXPECT_FALSE(o.view.pointerColor());
    o.key(Qt::Key_C);
    EXPECT_EQ(o.beeps, 1);
    EXPECT_EQ(clipboard->text(), QStringLiteral("untouched"));
}

TEST(SelectionView, PointerReadsThePixelUnderItsHotSpotOnEveryRow)
{
    OverlayHarness o(coordinates(), oneToOne);
    // The topmost row of the screen is the top image row, not nothing.
    o.hoverPixel(5, 0);
    ASSERT_TRUE(o.view.pointerColor());
    EXPECT_EQ(*o.view.pointerColor(), (SampledColor{5, 0, 0}));
    o.hoverPixel(399, 299);
    ASSERT_TRUE(o.view.pointerColor());
    EXPECT_EQ(*o.view.pointerColor(), (SampledColor{143, 43, 9}));

    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    OverlayHarness t(clear, {4, 4});
    t.hoverPixel(1, 1);
    t.key(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("#000000"));
}

TEST(SelectionView, ReturnCopiesOnlyWithoutModifiers)
{
    OverlayHarness o(coordinates(), oneToOne);
    o.view.selectRegion(Rect(10, 10, 30, 30));
    o.key(Qt::Key_Return, Qt::ShiftModifier);
    o.key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(o.confirmations.empty());
    o.key(Qt::Key_Return);
    o.key(Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(o.confirmations.size(), 2u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::copy());
    EXPECT_EQ(o.confirmations[1].action, SelectionAction::copy());
}

TEST(SelectionView, ActionButtonsConfirmTheirActions)
{
    OverlayHarness o(coordinates(), oneToOne);
    EXPECT_EQ(SelectionView::actionTitles(),
              (QStringList{QStringLiteral("选择"), QStringLiteral("箭头"), QStringLiteral("画框"),
                           QStringLiteral("文字"), QStringLiteral("画笔"), QStringLiteral("遮挡"),
                           QStringLiteral("高亮"), QStringLiteral("序号"), QStringLiteral("复制"),
                           QStringLiteral("保存"), QStringLiteral("钉住"),
                           QStringLiteral("重新选择"), QStringLiteral("取消")}));

    // Nothing to confirm without a region.
    actionButton(o.view, QStringLiteral("复制"))->click();
    EXPECT_TRUE(o.confirmations.empty());

    o.view.selectRegion(Rect(10, 10, 30, 30));
    const std::pair<const char*, SelectionAction> expected[] = {
        {"画框", SelectionAction::annotate(AnnotationTool::rectangle)},
        {"选择", SelectionAction::annotate(AnnotationTool::select)},
        {"序号", SelectionAction::annotate(AnnotationTool::number)},
        {"复制", SelectionAction::copy()},
        {"保存", SelectionAction::save()},
        {"钉住", SelectionAction::pin()},
    };
    for (const auto& [title, action] : expected) {
        o.confirmations.clear();
        actionButton(o.view, QString::fromUtf8(title))->click();
        ASSERT_EQ(o.confirmations.size(), 1u) << title;
        EXPECT_EQ(o.confirmations[0].action, action) << title;
    }
    EXPECT_NE(SelectionAction::annotate(AnnotationTool::arrow),
              SelectionAction::annotate(AnnotationTool::pen));

    o.confirmations.clear();
    o.view.editTool(-1);
    o.view.editTool(10);
    EXPECT_TRUE(o.confirmations.empty());

    actionButton(o.view, QStringLiteral("重新选择"))->click();
    EXPECT_TRUE(o.view.selection().isEmpty());
    EXPECT_FALSE(o.view.actionPanel()->isVisible());
    actionButton(o.view, QStringLiteral("取消"))->click();
    EXPECT_EQ(o.cancels, 1);
}

namespace {

// Collects the areas a widget is asked to repaint.
class PaintRecorder : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST(SelectionView, PointerMovesRepaintOnlyWhatChanged)
{
    auto fixture = test::makeDesktopFixture(1280, 800, 1);
    OverlayHarness o(fixture.image, {1280, 800});
    o.view.windowTargets = fixture.windows;
    // A real (off-screen) window, so updates go through the repaint manager.
    o.view.setAttribute(Qt::WA_DontShowOnScreen, false);
    o.view.hide();
    o.view.show();
    o.view.selectRegion(Rect(200, 200, 500, 300));
    o.hover({600, 450});
    settle();

    PaintRecorder recorder;
    o.view.installEventFilter(&recorder);
    o.hover({610, 452});
    settle();
    ASSERT_FALSE(recorder.painted.isEmpty());
    // The magnifier at its old and its new place, nothing else.
    const QRect bounds = recorder.painted.boundingRect();
    EXPECT_LE(bounds.width(), 132 + 10 + 2);
    EXPECT_LE(bounds.height(), 159 + 2 + 2);

    // Without a region, moving onto a window repaints that window's area.
    o.view.reset();
    o.hover({20, 20});
    settle();
    recorder.painted = QRegion();
    const WindowTarget front = fixture.windows.front();
    o.hover({front.rect.midX(), front.rect.midY()});
    settle();
    const QRect windowArea
        = OverlaySpace::widgetRect(front.rect, 800).toAlignedRect().adjusted(-5, -5, 5, 5);
    // Besides the window only the magnifier (at both places) and the status
    // line change.
    const QPoint now = o.widgetPoint({front.rect.midX(), front.rect.midY()}).toPoint();
    const QPoint before = o.widgetPoint({20, 20}).toPoint();
    QRegion expected = windowArea;
    expected += QRect(now.x() - 160, now.y() - 190, 320, 380);
    expected += QRect(before.x() - 160, before.y() - 190, 320, 380);
    expected += QRect(0, 740, 600, 60);
    EXPECT_TRUE((recorder.painted - expected).isEmpty());
    EXPECT_FALSE(recorder.painted.contains(QPoint(1270, 10)));
    EXPECT_TRUE(recorder.painted.contains(windowArea.center()));
}
