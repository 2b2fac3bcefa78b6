#include "CanvasFixture.h"
#include "canvas/CanvasGeometry.h"

#include <cmath>
#include <numbers>

namespace kelpie::test {
namespace {

using Gesture = CanvasFixture;

TEST_F(Gesture, DrawingCommitsOnceAndOnlyShapesWithASize)
{
    model->chooseTool(AnnotationTool::rectangle);
    drag({50, 50}, {});
    EXPECT_TRUE(objects().isEmpty()) << "a click draws nothing";
    EXPECT_FALSE(model->selectedID());
    drag({50, 50}, {{50.5, 70}});
    EXPECT_TRUE(objects().isEmpty()) << "half a pixel wide is no rectangle";
    EXPECT_FALSE(model->hasDraft());

    drag({50, 50}, {{60, 60}, {90, 80}, {120, 100}});
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(document->undoStates().size(), 1) << "one undo step for the whole drag";
    EXPECT_EQ(objects()[0].bounds(), Rect(50, 50, 70, 50));
    EXPECT_EQ(model->selectedID(), objects()[0].id());

    model->chooseTool(AnnotationTool::line);
    drag({200, 200}, {{200.8, 200}});
    EXPECT_EQ(objects().size(), 1) << "a 0.8-pixel line is dropped";
    model->chooseTool(AnnotationTool::pen);
    drag({300, 200}, {});
    ASSERT_EQ(objects().size(), 2) << "a pen dot stays";
    EXPECT_EQ(objects()[1].points, QList<Point>{(Point{300, 200})});
}

TEST_F(Gesture, DragsClampIntoTheImageAndShiftSnapsLines)
{
    model->chooseTool(AnnotationTool::line);
    drag({100, 100}, {{500, 130}}, true);
    ASSERT_EQ(objects().size(), 1);
    EXPECT_DOUBLE_EQ(objects()[0].end.y, 100) << "snapped to 0°";
    EXPECT_DOUBLE_EQ(objects()[0].end.x, 400) << "clamped at the right edge";

    model->chooseTool(AnnotationTool::select);
    const AnnotationObject line = objects()[0];
    drag({250, 100}, {{250, -900}});
    EXPECT_DOUBLE_EQ(objects()[0].bounds().minY(), 0) << "a move stops at the bottom";
    EXPECT_DOUBLE_EQ(objects()[0].start.x, line.start.x);
}

TEST_F(Gesture, AnArrowEndDraggedPastTheEdgeStopsWithoutAJump)
{
    AnnotationObject arrow(AnnotationTool::arrow,
                           AnnotationStyle::initial(AnnotationTool::arrow, 1), {100, 200},
                           {300, 200});
    arrow.curveControl = Point{200, 280};
    addObject(arrow);
    model->select(arrow.id());

    model->pointerDown({300, 200}, 1);
    ASSERT_EQ(model->drag()->kind, CanvasDrag::Kind::endpoint);
    double previousAngle = 0;
    for (int step = 1; step <= 40; ++step) {
        model->pointerDragged({300, 200 + 2.5 * step}, false);
        const AnnotationObject& draft = *model->draft();
        const Rect box = draft.strokePath().boundingBox();
        EXPECT_LE(box.maxY(), 300 + 1e-9) << "step " << step;
        const double angle = std::atan2(draft.end.y - draft.start.y, draft.end.x - draft.start.x);
        EXPECT_LT(std::abs(angle - previousAngle), 2 * std::numbers::pi / 180) << "step " << step;
        previousAngle = angle;
    }
    model->pointerUp();
    EXPECT_LT(objects()[0].end.y, 300) << "the pointer went further than the arrow could";
    EXPECT_GT(objects()[0].end.y, 280);
}

TEST_F(Gesture, BendingKeepsTheCurvesMiddleUnderThePointer)
{
    const AnnotationObject arrow = addObject(
        AnnotationObject(AnnotationTool::arrow, AnnotationStyle::initial(AnnotationTool::arrow, 1),
                         {100, 100}, {300, 100}));
    model->select(arrow.id());
    model->pointerDown({202, 101}, 1);
    ASSERT_EQ(model->drag()->kind, CanvasDrag::Kind::bend);
    model->pointerDragged({232, 161}, false);
    const Point middle = model->draft()->arrowMidpoint();
    EXPECT_NEAR(middle.x, 230, 1e-9);
    EXPECT_NEAR(middle.y, 160, 1e-9);
    model->pointerUp();
    ASSERT_TRUE(objects()[0].curveControl);
    EXPECT_NEAR(objects()[0].arrowMidpoint().y, 160, 1e-9);
}

TEST_F(Gesture, ADrawingToolMovesTheSelectedObjectItHits)
{
    AnnotationObject ellipse(AnnotationTool::ellipse,
                             AnnotationStyle::initial(AnnotationTool::ellipse, 1), {100, 100},
                             {200, 200});
    addObject(ellipse);
    model->chooseTool(AnnotationTool::rectangle);
    model->select(ellipse.id());
    const double d = 50 / std::numbers::sqrt2;
    drag({150 + d, 150 + d}, {{170 + d, 150 + d}});
    ASSERT_EQ(objects().size(), 1) << "moved, not drawn";
    EXPECT_EQ(objects()[0].bounds(), Rect(120, 100, 100, 100));
}

TEST_F(Gesture, HandlesResizeBoxes)
{
    const AnnotationObject rect = addObject(AnnotationObject(
        AnnotationTool::rectangle, AnnotationStyle::initial(AnnotationTool::rectangle, 1),
        {100, 100}, {200, 200}));
    model->select(rect.id());
    drag({200, 200}, {{250, 260}});
    EXPECT_EQ(objects()[0].bounds(), Rect(100, 100, 150, 160));
    EXPECT_EQ(objects()[0].id(), rect.id());
}

TEST_F(Gesture, BadgesAreNumberedByTheDocumentAndKeptInside)
{
    model->chooseTool(AnnotationTool::number);
    model->pointerDown({399, 299}, 1);
    model->pointerUp();
    ASSERT_EQ(objects().size(), 1);
    const Rect corner = objects()[0].bounds();
    EXPECT_EQ(corner.maxX(), 400);
    EXPECT_EQ(corner.maxY(), 300);
    EXPECT_GE(corner.minX(), 0);
    model->pointerDown({100, 100}, 1);
    model->pointerDown({200, 100}, 1);
    ASSERT_EQ(objects().size(), 3);
    EXPECT_EQ(objects()[2].number, 3);
    EXPECT_EQ(model->selectedID(), objects()[2].id());
    document->undo();
    EXPECT_FALSE(model->selectedID()) << "the undone badge is no longer selected";
    model->pointerDown({300, 100}, 1);
    EXPECT_EQ(objects().back().number, 3);
}

TEST_F(Gesture, ReleasingAMoveWithoutMovingKeepsTheSelectionAndHistory)
{
    const AnnotationObject rect = addObject(AnnotationObject(
        AnnotationTool::rectangle, AnnotationStyle::initial(AnnotationTool::rectangle, 1),
        {100, 100}, {200, 200}));
    const qsizetype undoSteps = document->undoStates().size();
    int changes = 0;
    model->onDocumentChanged = [&] { ++changes; };
    drag({150, 100}, {{170, 130}, {150, 100}});
    EXPECT_EQ(document->undoStates().size(), undoSteps);
    EXPECT_EQ(model->selectedID(), rect.id());
    EXPECT_EQ(objects()[0], rect);
    EXPECT_GE(changes, 1) << "still notified";
}

TEST_F(Gesture, PressesOutsideTheImageAndDisabledEditingDoNothing)
{
    make(400, 200);
    model->setViewSize({400, 400}); // the image sits in the middle band
    model->chooseTool(AnnotationTool::rectangle);
    drag({10, 20}, {{100, 150}});
    EXPECT_TRUE(objects().isEmpty());
    model->setEditingEnabled(false);
    EXPECT_FALSE(model->pointerDown({100, 200}, 1)) << "the host may drag its window";
    EXPECT_FALSE(model->hasDraft());
}

TEST_F(Gesture, TextSelectionTakesThePointerOnlyWhereNothingElseWould)
{
    addObject(AnnotationObject(AnnotationTool::rectangle,
                               AnnotationStyle::initial(AnnotationTool::rectangle, 1), {100, 100},
                               {200, 200}));
    EXPECT_TRUE(model->canSelectText({50, 50}));
    EXPECT_FALSE(model->canSelectText({100, 150})) << "an object lies there";
    EXPECT_TRUE(model->takesPointer({100, 150}));
    EXPECT_FALSE(model->takesPointer({50, 50}));
    model->setEditingEnabled(false);
    EXPECT_TRUE(model->canSelectText({100, 150})) << "viewing: objects do not count";
    model->setEditingEnabled(true);
    model->chooseTool(AnnotationTool::pen);
    EXPECT_FALSE(model->canSelectText({50, 50}));
    EXPECT_TRUE(model->takesPointer({50, 50}));
}

} // namespace
} // namespace kelpie::test
