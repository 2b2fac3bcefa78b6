#include "OverlayFixture.h"
#include "OverlayHarness.h"
#include "editor/FloatingControls.h"
#include "editor/ToolbarButton.h"
#include "overlay/SelectionWindow.h"
#include "overlay/SelectionWindowShelf.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPointer>
#include <QScrollArea>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::test::OverlayHarness;

namespace {

constexpr Size oneToOne{400, 300};
constexpr Size retina{200, 150};

QImage coordinates() { return test::makeCoordinateImage(400, 300); }

ToolbarButton* actionButton(const SelectionView& view, const QString& title)
{
    for (auto* button : view.actions()->findChildren<ToolbarButton*>())
        if (button->text() == title)
            return button;
    return nullptr;
}

} // namespace

TEST(SelectionView, FinishedDragConfirmsEditWithExactlyThePixelsInsideTheBorder)
{
    const QImage image = coordinates();
    // A 2× display to the right of the primary one.
    SelectionWindow host(image, QRect(1920, 0, 200, 150), QRect(0, 0, 1920, 1080));
    OverlayHarness o(*host.view());
    o.view.model().automaticallyEdit = true;

    o.dragRegion({10.3, 20.6}, {50.7, 60.2});

    ASSERT_EQ(o.confirmations.size(), 1u);
    const auto& c = o.confirmations[0];
    EXPECT_EQ(c.action, SelectionAction::edit());
    // Outward to whole pixels: x 20.6…101.4 → 20…102, rows 179.6…258.8 → 179…259.
    EXPECT_EQ(c.crop, image.copy(20, 179, 82, 80));
    // Desktop space: the screen's bottom-left lies at (1920, 1080 − 150).
    EXPECT_EQ(c.rect, Rect(1930, 950.5, 41, 40));
}

TEST(SelectionView, ActionPanelSitsUnderTheSelectionAndInsideTheView)
{
    // Where the panel goes is the model's rule; the view puts it there.
    OverlayHarness o(test::makeCoordinateImage(1600, 900), {1600, 900});
    o.key(Qt::Key_A, Qt::ControlModifier);
    const QRect full = o.view.actionPanel()->geometry();
    EXPECT_TRUE(o.view.actionPanel()->isVisible());
    EXPECT_EQ(full.x() + full.width(), 1600 - 12);
    EXPECT_EQ(full.y() + full.height(), 900 - 12);

    o.view.selectRegion(Rect(500, 400, 900, 300));
    const QRect under = o.view.actionPanel()->geometry();
    EXPECT_EQ(under.x() + under.width(), 1400);
    EXPECT_EQ(under.y(), 900 - 400 + 12);
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

TEST(SelectionView, OverlayKeysReachTheModelAndOthersPassOn)
{
    OverlayHarness o(coordinates(), oneToOne);
    QClipboard* clipboard = QGuiApplication::clipboard();

    o.hoverPixel(12, 34);
    o.key(Qt::Key_C);
    EXPECT_EQ(clipboard->text(), QStringLiteral("#0C2200"));
    o.key(Qt::Key_C, Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("RGB(12, 34, 0)"));

    // Ctrl is Command, Alt is Option and Meta is Control: with any of them
    // C is another key, which the view passes on.
    clipboard->setText(QStringLiteral("untouched"));
    for (const auto modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_C, modifier);
        QApplication::sendEvent(&o.view, &event);
        EXPECT_FALSE(event.isAccepted()) << modifier;
    }
    EXPECT_EQ(clipboard->text(), QStringLiteral("untouched"));

    // Ctrl+A selects all; Escape twice clears, then cancels.
    o.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(o.view.model().selection(), Rect(0, 0, 400, 300));
    o.key(Qt::Key_Escape);
    o.key(Qt::Key_Escape);
    EXPECT_EQ(o.cancels, 1);
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
    EXPECT_TRUE(o.view.model().selection().isEmpty());
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
    o.view.model().windowTargets = fixture.windows;
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

TEST(SelectionView, TheMagnifierLeavesThePointerWhileItIsOverTheActionPanel)
{
    OverlayHarness o(test::makeCoordinateImage(1600, 900), {1600, 900});
    o.view.selectRegion(Rect(200, 300, 900, 500));
    o.hover({600, 600});
    ASSERT_TRUE(o.view.model().pointerColor());

    // Onto a button of the panel, as the toolkit delivers it: to the
    // button, in the button's own coordinates.
    ToolbarButton* button = actionButton(o.view, QStringLiteral("复制"));
    ASSERT_TRUE(button && button->isVisible());
    const QPointF inButton(5, 5);
    QEnterEvent enter(inButton, button->mapTo(&o.view, inButton), button->mapToGlobal(inButton));
    QApplication::sendEvent(o.view.actionPanel(), &enter);
    QMouseEvent move(QEvent::MouseMove, inButton, button->mapToGlobal(inButton), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_FALSE(o.view.model().pointer());
    EXPECT_FALSE(o.view.model().pointerColor());

    // Back over the image it follows the pointer again.
    o.hover({620, 610});
    EXPECT_EQ(o.view.model().pointer(), (Point{620, 610}));
}

TEST(SelectionView, ActionBarFitsAHalfScaleFullHdScreenWithoutScrolling)
{
    // 1920 × 1080 pixels at 2×: a view 960 points wide.
    OverlayHarness o(test::makeCoordinateImage(1920, 1080), {960, 540});
    o.key(Qt::Key_A, Qt::ControlModifier);
    FloatingControls* panel = o.view.actionPanel();
    EXPECT_LE(panel->width(), 960 - 24);
    EXPECT_EQ(panel->scroll()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // Every button, the last two included, lies inside the panel.
    const QRect inside = panel->rect();
    for (auto* button : o.view.actions()->findChildren<ToolbarButton*>()) {
        const QRect r(button->mapTo(panel, QPoint(0, 0)), button->size());
        EXPECT_TRUE(inside.contains(r)) << button->text().toStdString();
    }

    // Where there is room the buttons keep their icons.
    OverlayHarness wide(test::makeCoordinateImage(1600, 900), {1600, 900});
    wide.key(Qt::Key_A, Qt::ControlModifier);
    for (auto* button : wide.view.actions()->findChildren<ToolbarButton*>())
        EXPECT_FALSE(button->iconHidden());
    EXPECT_EQ(wide.view.actionPanel()->scroll()->horizontalScrollBarPolicy(),
              Qt::ScrollBarAlwaysOff);
}

// The shelf keeps one window per screen; a window put back twice stays kept
// once instead of being deleted under its owner.
TEST(SelectionWindowShelf, KeepsOneWindowPerScreenAndAWindowPutTwiceOnce)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    SelectionWindowShelf shelf(std::chrono::minutes(1));
    auto* first = new SelectionWindow(screen);
    const QPointer<SelectionWindow> older(first);
    shelf.put(first);
    auto* second = new SelectionWindow(screen);
    shelf.put(second);
    EXPECT_TRUE(older.isNull());
    shelf.put(second);
    EXPECT_EQ(shelf.size(), 1);
    SelectionWindow* taken = shelf.take(screen);
    EXPECT_EQ(taken, second);
    delete taken;
}
