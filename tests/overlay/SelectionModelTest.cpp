#include "overlay/SelectionModel.h"

#include "OverlayFixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kelpie;

namespace {

using Key = SelectionModel::Key;

constexpr Size oneToOne{400, 300};
constexpr Size retina{200, 150};

const WindowTarget window{7, 42, Rect(50, 50, 200, 100)};

// A model over an image whose every pixel names its position, with
// recording callbacks.
struct Overlay {
    explicit Overlay(Size view, QImage picture = test::makeCoordinateImage(400, 300))
        : image(picture), model(picture, view)
    {
        model.onConfirm = [this](const QImage& crop, const Rect& rect, const SelectionAction& a) {
            confirmations.push_back({crop, rect, a});
        };
        model.onCancel = [this] { ++cancels; };
        model.onWindowPick = [this](const WindowTarget& target) { picks.push_back(target); };
        model.onCopyText = [this](const QString& text) { copied.push_back(text); };
        model.beep = [this] { ++beeps; };
    }

    void click(Point p, Point releasedAt)
    {
        model.press(p);
        model.drag(releasedAt);
        model.release(releasedAt);
    }
    void dragRegion(Point from, Point to)
    {
        model.press(from);
        model.drag({(from.x + to.x) / 2, (from.y + to.y) / 2});
        model.drag(to);
        model.release(to);
    }
    void doubleClick(Point p)
    {
        model.press(p);
        model.release(p);
        model.press(p, 2);
        model.release(p);
    }
    bool key(Key key, SelectionModel::Modifiers modifiers = {})
    {
        return model.keyPress(key, modifiers);
    }

    struct Confirmation {
        QImage crop;
        Rect rect;
        SelectionAction action;
    };
    QImage image;
    SelectionModel model;
    std::vector<Confirmation> confirmations;
    std::vector<WindowTarget> picks;
    std::vector<QString> copied;
    int cancels = 0;
    int beeps = 0;
};

constexpr SelectionModel::Modifiers shift{.shift = true};
constexpr SelectionModel::Modifiers command{.command = true};

} // namespace

TEST(SelectionModel, ShortPressOverAWindowPicksItLongerTravelMakesARegion)
{
    Overlay o(oneToOne);
    o.model.windowTargets = {window};

    // Three points of travel is still a click.
    o.click({100, 100}, {103, 100});
    ASSERT_EQ(o.picks.size(), 1u);
    EXPECT_EQ(o.picks[0], window);
    EXPECT_TRUE(o.confirmations.empty());

    // A jittery click picks the window without leaving a sliver of region.
    o.click({100, 100}, {102, 102});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_TRUE(o.model.selection().isEmpty());
    EXPECT_FALSE(o.model.selectionPixels());
    EXPECT_EQ(o.model.hoveredWindow(), window);

    // Four points is a drag ("window_drag_is_region"), also when the travel
    // is only seen at the release.
    o.click({100, 100}, {104, 100});
    o.model.press({100, 100});
    o.model.release({100, 104});
    EXPECT_EQ(o.picks.size(), 2u);

    o.click({100, 100}, {104, 104});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_EQ(o.model.selection(), Rect(100, 100, 4, 4));
    EXPECT_TRUE(o.model.actionPanelShown());

    // A click away from every window picks nothing.
    o.model.reset();
    o.click({350, 250}, {350, 250});
    EXPECT_EQ(o.picks.size(), 2u);
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionModel, WithoutWindowPickingClicksNeverPickAndTheHintSaysDrag)
{
    Overlay o(oneToOne);
    o.model.windowTargets = {window};
    o.model.windowPicking = false;

    o.model.hover({100, 100});
    EXPECT_FALSE(o.model.hoveredWindow());
    EXPECT_EQ(o.model.statusText(), QStringLiteral("拖动选择区域"));
    o.click({100, 100}, {101, 100});
    EXPECT_TRUE(o.picks.empty());
    EXPECT_EQ(o.model.focusRect(), std::nullopt);

    // The hint goes while a region is dragged and once one is chosen.
    o.model.press({100, 100});
    o.model.drag({150, 150});
    EXPECT_EQ(o.model.statusText(), std::nullopt);
    o.model.release({150, 150});
    EXPECT_EQ(o.model.statusText(), std::nullopt);
    EXPECT_EQ(o.model.selection(), Rect(100, 100, 50, 50));
}

TEST(SelectionModel, FinishedDragConfirmsEditWithExactlyThePixelsInsideTheBorder)
{
    Overlay o(retina);
    o.model.automaticallyEdit = true;
    o.dragRegion({10.3, 20.6}, {50.7, 60.2});

    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::edit());
    // Outward to whole pixels: x 20.6…101.4 → 20…102, rows 179.6…258.8 → 179…259.
    EXPECT_EQ(*o.model.selectionPixels(), Rect(20, 179, 82, 80));
    EXPECT_EQ(o.confirmations[0].crop, o.image.copy(20, 179, 82, 80));
    EXPECT_EQ(o.confirmations[0].rect, Rect(10, 20.5, 41, 40));
    EXPECT_EQ(o.model.sizeLabel(), QStringLiteral("82 × 80 px"));
}

TEST(SelectionModel, EscapeRestoresTheRegionOfBeforeTheDragThenClearsThenCancels)
{
    Overlay o(oneToOne);
    o.dragRegion({50, 50}, {150, 120});
    const Rect before = o.model.selection();
    ASSERT_EQ(before, Rect(50, 50, 100, 70));

    o.model.press({300, 250});
    o.model.drag({350, 280});
    EXPECT_EQ(o.model.selection(), Rect(300, 250, 50, 30));
    EXPECT_FALSE(o.model.actionPanelShown());
    o.key(Key::escape);
    EXPECT_EQ(o.model.selection(), before);
    EXPECT_FALSE(o.model.pressing());
    EXPECT_TRUE(o.model.actionPanelShown());
    o.model.release({350, 280});
    EXPECT_EQ(o.model.selection(), before);

    o.key(Key::escape);
    EXPECT_TRUE(o.model.selection().isEmpty());
    EXPECT_FALSE(o.model.actionPanelShown());
    EXPECT_EQ(o.cancels, 0);
    o.key(Key::escape);
    EXPECT_EQ(o.cancels, 1);
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionModel, ReleaseOfAPressAbandonedWithEscapeConfirmsNothing)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(50, 50, 100, 70));
    o.model.automaticallyEdit = true;

    o.model.press({300, 250});
    o.model.drag({350, 280});
    o.key(Key::escape);
    o.model.release({350, 280});
    EXPECT_TRUE(o.confirmations.empty());
    EXPECT_EQ(o.model.selection(), Rect(50, 50, 100, 70));

    // The next press is an ordinary one again.
    o.dragRegion({200, 200}, {260, 240});
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::edit());
}

TEST(SelectionModel, EscapeWhileAPickedWindowIsCapturedCancels)
{
    Overlay o(oneToOne);
    o.model.windowTargets = {window};
    o.click({100, 100}, {100, 100});
    ASSERT_EQ(o.picks.size(), 1u);
    o.model.showWindowStatus(QStringLiteral("正在捕获窗口…"));
    EXPECT_EQ(o.model.statusText(), QStringLiteral("正在捕获窗口…"));

    o.key(Key::escape);
    EXPECT_EQ(o.cancels, 1);
}

TEST(SelectionModel, ResizeFlipsAcrossTheOppositeEdgeButKeepsOneImagePixel)
{
    Overlay o(retina);
    o.model.selectRegion(Rect(20, 20, 40, 40));

    // Within seven points of the right handle.
    o.model.press({66, 46});
    o.model.drag({5, 40});
    EXPECT_EQ(o.model.selection(), Rect(5, 20, 15, 40));

    // Half a point is one pixel on this display: the minimum.
    o.model.drag({20.1, 40});
    EXPECT_EQ(o.model.selection(), Rect(20, 20, 0.5, 40));
    EXPECT_EQ(o.model.sizeLabel(), QStringLiteral("1 × 80 px"));
    o.model.drag({19.9, 40});
    EXPECT_EQ(o.model.selection(), Rect(19.5, 20, 0.5, 40));
    o.model.release({19.9, 40});

    // On so thin a region the corners overlap; the first in handle order
    // (top right) wins. Dragged out of the view, it stops at the view's edges.
    o.model.press({19.5, 60});
    o.model.drag({-50, 400});
    o.model.release({-50, 400});
    EXPECT_EQ(o.model.selection(), Rect(0, 20, 19.5, 130));
}

TEST(SelectionModel, MovingAgainstTheViewEdgesStopsWithoutResizing)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(20, 20, 40, 30));
    o.model.press({30, 30});
    o.model.drag({-100, 500});
    EXPECT_EQ(o.model.selection(), Rect(0, 270, 40, 30));
    o.model.drag({1000, -1000});
    EXPECT_EQ(o.model.selection(), Rect(360, 0, 40, 30));
    o.model.release({1000, -1000});
    EXPECT_EQ(o.model.selection(), Rect(360, 0, 40, 30));
}

TEST(SelectionModel, DoubleClickInsideTheSelectionCopiesOutsideItDoesNot)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(20, 20, 100, 100));

    o.doubleClick({300, 250});
    EXPECT_TRUE(o.confirmations.empty());

    o.doubleClick({50, 50});
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::copy());
    EXPECT_EQ(o.confirmations[0].crop.size(), QSize(100, 100));
}

TEST(SelectionModel, ArrowKeysMoveByWholeImagePixels)
{
    Overlay o(retina);
    o.model.selectRegion(Rect(20, 20, 40, 40));
    ASSERT_EQ(*o.model.selectionPixels(), Rect(40, 180, 80, 80));

    EXPECT_TRUE(o.key(Key::right));
    EXPECT_EQ(o.model.selection(), Rect(20.5, 20, 40, 40));
    EXPECT_EQ(*o.model.selectionPixels(), Rect(41, 180, 80, 80));
    EXPECT_EQ(o.model.sizeLabel(), QStringLiteral("80 × 80 px"));

    // Up is up on screen: image rows count the other way.
    o.key(Key::up, shift);
    EXPECT_EQ(o.model.selection(), Rect(20.5, 25, 40, 40));
    EXPECT_EQ(*o.model.selectionPixels(), Rect(41, 170, 80, 80));
    EXPECT_TRUE(o.model.actionPanelShown());

    for (int i = 0; i < 10; ++i)
        o.key(Key::left, shift);
    EXPECT_EQ(o.model.selection(), Rect(0, 25, 40, 40));
    o.key(Key::down, {.shift = true, .command = true});
    EXPECT_EQ(o.model.selection(), Rect(0, 20, 40, 40));

    o.model.reset();
    o.key(Key::right);
    EXPECT_TRUE(o.model.selection().isEmpty());
    EXPECT_FALSE(o.model.actionPanelShown());
    EXPECT_TRUE(o.confirmations.empty());
}

TEST(SelectionModel, SelectAllConfirmsOnlyAsAResponderActionInTheCaptureFlow)
{
    Overlay o(oneToOne);
    o.model.automaticallyEdit = true;
    EXPECT_FALSE(o.key(Key::a));
    EXPECT_TRUE(o.key(Key::a, command));
    EXPECT_TRUE(o.confirmations.empty());
    EXPECT_EQ(o.model.selection(), Rect(0, 0, 400, 300));
    EXPECT_TRUE(o.model.actionPanelShown());

    o.model.selectAll();
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::edit());
    EXPECT_EQ(o.confirmations[0].crop.size(), QSize(400, 300));
}

TEST(SelectionModel, ActionPanelSitsUnderTheSelectionRightAlignedAndInsideTheView)
{
    Overlay o({1600, 900}, test::makeCoordinateImage(1600, 900));
    o.model.selectRegion(Rect(0, 0, 1600, 900));
    EXPECT_EQ(o.model.actionPanelMaxWidth(), 1576);
    EXPECT_EQ(o.model.actionPanelRect({700, 50}), Rect(1600 - 12 - 700, 12, 700, 50));

    o.model.selectRegion(Rect(500, 400, 900, 300));
    EXPECT_EQ(o.model.actionPanelRect({700, 50}), Rect(700, 400 - 12 - 50, 700, 50));
    // Wider than the selection's left part: kept 12 points inside the view.
    o.model.selectRegion(Rect(10, 400, 100, 300));
    EXPECT_EQ(o.model.actionPanelRect({700, 50}).minX(), 12);
}

TEST(SelectionModel, ColourKeyCopiesThePixelUnderThePointer)
{
    Overlay o(oneToOne);
    // Image pixel (12, 34) at one pixel per point.
    o.model.hover({12, 300 - 34});
    ASSERT_TRUE(o.model.pointerColor());
    EXPECT_TRUE(o.key(Key::c));
    EXPECT_TRUE(o.key(Key::c, shift));
    EXPECT_EQ(o.copied,
              (std::vector<QString>{QStringLiteral("#0C2200"), QStringLiteral("RGB(12, 34, 0)")}));

    // With Command, Option or Control it is another key.
    for (const auto modifiers : {SelectionModel::Modifiers{.control = true},
                                 SelectionModel::Modifiers{.option = true}, command})
        EXPECT_FALSE(o.key(Key::c, modifiers));
    EXPECT_EQ(o.copied.size(), 2u);

    // Away from the view there is no colour: a beep, nothing copied.
    o.model.leave();
    EXPECT_FALSE(o.model.pointer());
    EXPECT_FALSE(o.model.pointerColor());
    o.key(Key::c);
    EXPECT_EQ(o.beeps, 1);
    EXPECT_EQ(o.copied.size(), 2u);
}

TEST(SelectionModel, PointerReadsThePixelUnderItsHotSpotOnEveryRow)
{
    Overlay o(oneToOne);
    // The topmost row of the screen is the top image row, not nothing.
    o.model.hover({5, 300});
    ASSERT_TRUE(o.model.pointerColor());
    EXPECT_EQ(*o.model.pointerColor(), (SampledColor{5, 0, 0}));
    o.model.hover({399, 1});
    ASSERT_TRUE(o.model.pointerColor());
    EXPECT_EQ(*o.model.pointerColor(), (SampledColor{143, 43, 9}));

    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    Overlay t({4, 4}, clear);
    t.model.hover({1, 3});
    t.key(Key::c);
    EXPECT_EQ(t.copied, std::vector<QString>{QStringLiteral("#000000")});
}

TEST(SelectionModel, ReturnCopiesOnlyWithoutModifiers)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(10, 10, 30, 30));
    EXPECT_FALSE(o.key(Key::returnKey, shift));
    EXPECT_FALSE(o.key(Key::returnKey, command));
    EXPECT_TRUE(o.confirmations.empty());
    o.key(Key::returnKey);
    o.key(Key::keypadEnter);
    ASSERT_EQ(o.confirmations.size(), 2u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::copy());
    EXPECT_EQ(o.confirmations[1].action, SelectionAction::copy());
    EXPECT_FALSE(o.key(Key::other));
}

TEST(SelectionModel, ToolTagsOutsideTheToolListAreIgnored)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(10, 10, 30, 30));
    o.model.editTool(-1);
    o.model.editTool(static_cast<int>(allAnnotationTools.size()));
    EXPECT_TRUE(o.confirmations.empty());
    o.model.editTool(SelectionModel::toolTag(AnnotationTool::number));
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].action, SelectionAction::annotate(AnnotationTool::number));
}

TEST(SelectionModel, AJitteryClickAwayFromEveryWindowKeepsTheRegionItFound)
{
    Overlay o(oneToOne);
    // No region yet: the click leaves none behind.
    o.click({300, 250}, {302, 251});
    EXPECT_TRUE(o.model.selection().isEmpty());
    EXPECT_FALSE(o.model.actionPanelShown());

    o.model.selectRegion(Rect(20, 20, 100, 80));
    o.model.press({300, 250});
    o.model.drag({301, 252});
    EXPECT_EQ(o.model.selection(), Rect(20, 20, 100, 80));
    o.model.release({302, 252});
    EXPECT_EQ(o.model.selection(), Rect(20, 20, 100, 80));
    EXPECT_TRUE(o.model.actionPanelShown());

    // In the capture flow the click confirms the region it kept.
    o.model.automaticallyEdit = true;
    o.click({300, 250}, {299, 248});
    ASSERT_EQ(o.confirmations.size(), 1u);
    EXPECT_EQ(o.confirmations[0].crop.size(), QSize(100, 80));

    // Past the click threshold the press draws a new region as before.
    o.model.automaticallyEdit = false;
    o.click({300, 250}, {304, 254});
    EXPECT_EQ(o.model.selection(), Rect(300, 250, 4, 4));
}

// A whole-screen copy is encoded and dropped at once, so it hands on the
// frozen image itself; any crop a window keeps has pixels of its own, so
// the frozen image's memory goes back with the overlay.
TEST(SelectionModel, OnlyAWholeScreenCopySharesTheFrozenImage)
{
    Overlay o(oneToOne);
    o.model.selectRegion(Rect(0, 0, 400, 300));
    o.key(Key::returnKey);
    o.model.automaticallyEdit = true;
    o.model.selectAll();
    o.model.selectRegion(Rect(10, 10, 30, 30));
    o.key(Key::returnKey);
    ASSERT_EQ(o.confirmations.size(), 3u);
    EXPECT_EQ(o.confirmations[0].crop.constBits(), o.image.constBits());
    EXPECT_EQ(o.confirmations[0].crop, o.image);
    EXPECT_NE(o.confirmations[1].crop.constBits(), o.image.constBits());
    EXPECT_EQ(o.confirmations[1].crop, o.image);
    EXPECT_EQ(o.confirmations[2].crop.size(), QSize(30, 30));
}
