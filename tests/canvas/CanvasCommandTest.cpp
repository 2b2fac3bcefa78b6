#include "CanvasFixture.h"

#include <Qt>

namespace kelpie::test {
namespace {

using Command = CanvasFixture;

AnnotationObject rectangleAt(Rect box)
{
    return AnnotationObject(AnnotationTool::rectangle,
                            AnnotationStyle::initial(AnnotationTool::rectangle, 1), box.origin,
                            {box.maxX(), box.maxY()});
}

TEST_F(Command, EscapeCancelsTheDragThenLeavesTheToolThenTheSelectionThenExits)
{
    model->chooseTool(AnnotationTool::ellipse);
    model->pointerDown({100, 100}, 1);
    model->pointerDragged({200, 180}, false);
    ASSERT_TRUE(model->pointerUp());
    ASSERT_EQ(objects().size(), 1);
    const std::optional<QUuid> drawn = model->selectedID();
    ASSERT_TRUE(drawn) << "a drawn object is selected";

    model->pointerDown({300, 250}, 1);
    model->pointerDragged({350, 280}, false);
    ASSERT_TRUE(model->hasDraft());

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_FALSE(model->hasDraft());
    EXPECT_EQ(model->tool(), AnnotationTool::ellipse) << "only the drag was cancelled";
    EXPECT_EQ(objects().size(), 1);

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_EQ(model->tool(), AnnotationTool::select);
    EXPECT_EQ(model->selectedID(), drawn) << "leaving the tool keeps what was drawn selected";

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_FALSE(model->selectedID());
    EXPECT_EQ(exits, 0);

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_EQ(exits, 1);
}

TEST_F(Command, ToolLettersIgnoreCaseButNotCommandKeys)
{
    EXPECT_TRUE(key(Qt::Key_R, true));
    EXPECT_EQ(model->tool(), AnnotationTool::rectangle);
    EXPECT_FALSE(key(Qt::Key_A, false, true)) << "Ctrl+A belongs to the host";
    EXPECT_EQ(model->tool(), AnnotationTool::rectangle);
    EXPECT_TRUE(key(Qt::Key_N));
    EXPECT_EQ(model->tool(), AnnotationTool::number);
    EXPECT_FALSE(key(Qt::Key_Q));

    make(400, 300, true);
    EXPECT_FALSE(key(Qt::Key_O)) << "compact mode has no ellipse";
    EXPECT_FALSE(key(Qt::Key_L)) << "nor line";
    EXPECT_TRUE(key(Qt::Key_A));
    EXPECT_EQ(model->tool(), AnnotationTool::arrow);

    model->setEditingEnabled(false);
    EXPECT_FALSE(key(Qt::Key_R));
    int spaces = 0;
    model->onSpace = [&] { ++spaces; };
    EXPECT_TRUE(key(Qt::Key_Space)) << "Space still reaches the host";
    EXPECT_EQ(spaces, 1);
}

TEST_F(Command, DeleteAndArrowsActOnlyOnASelection)
{
    EXPECT_FALSE(key(Qt::Key_Delete));
    EXPECT_FALSE(key(Qt::Key_Up));
    const AnnotationObject rect = addObject(rectangleAt(Rect(100, 100, 100, 100)));
    model->select(rect.id());

    EXPECT_TRUE(key(Qt::Key_Up));
    EXPECT_EQ(objects()[0].bounds(), Rect(100, 101, 100, 100)) << "up is +y";
    EXPECT_TRUE(key(Qt::Key_Left, true));
    EXPECT_EQ(objects()[0].bounds(), Rect(90, 101, 100, 100));
    const qsizetype steps = document->undoStates().size();
    for (int i = 0; i < 20; ++i)
        key(Qt::Key_Up, true);
    EXPECT_EQ(objects()[0].bounds().maxY(), 300) << "never out of the image";
    EXPECT_EQ(document->undoStates().size(), steps + 10)
        << "a press that moves nothing adds nothing";

    EXPECT_TRUE(key(Qt::Key_Backspace));
    EXPECT_TRUE(objects().isEmpty());
    EXPECT_FALSE(model->selectedID());
    document->undo();
    EXPECT_EQ(objects().size(), 1);
}

TEST_F(Command, StyleKeysAndTheWheelReachTheHost)
{
    std::vector<std::pair<std::optional<double>, std::optional<int>>> calls;
    model->onStyleKey = [&](std::optional<double> step, std::optional<int> index) {
        calls.emplace_back(step, index);
    };
    double zoom = 0;
    model->onZoom = [&](double factor) { zoom = factor; };
    EXPECT_TRUE(key(Qt::Key_BracketRight));
    EXPECT_TRUE(key(Qt::Key_3));
    EXPECT_FALSE(key(Qt::Key_9));
    model->scroll(-1);
    EXPECT_DOUBLE_EQ(zoom, 0.95) << "select tool, nothing selected: the wheel zooms";
    model->chooseTool(AnnotationTool::pen);
    model->scroll(2);
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].first, 1.0);
    EXPECT_EQ(calls[1].second, 2);
    EXPECT_EQ(calls[2].first, 1.0);
}

TEST_F(Command, StyleChangesReachTheSelectionOrTheToolsDefault)
{
    model->chooseTool(AnnotationTool::rectangle);
    AnnotationStyle thick = model->currentStyle();
    thick.width = 12;
    model->changeStyle(thick);
    EXPECT_EQ(styles.styles.at(AnnotationTool::rectangle).width, 12);
    drag({10, 10}, {{60, 60}});
    EXPECT_EQ(objects()[0].style.width, 12) << "new objects take the stored default";

    AnnotationStyle invalid = thick;
    invalid.width = 0.5;
    model->changeStyle(invalid);
    EXPECT_EQ(objects()[0].style.width, 12) << "an invalid style is ignored";

    AnnotationStyle red = thick;
    red.color = AnnotationColor::palette[4];
    model->changeStyle(red);
    EXPECT_EQ(objects()[0].style.color, AnnotationColor::palette[4]);
    EXPECT_EQ(document->undoStates().size(), 2);
}

TEST_F(Command, ASliderDragIsOneUndoStepAndOneStoredWrite)
{
    model->chooseTool(AnnotationTool::pen);
    const int writes = styles.writes;
    model->beginStyleAdjustment();
    AnnotationStyle style = model->currentStyle();
    for (double w = 5; w <= 30; w += 1) {
        style.width = w;
        model->changeStyle(style);
    }
    EXPECT_EQ(styles.writes, writes) << "nothing written while the slider moves";
    EXPECT_EQ(model->currentStyle().width, 30) << "but the new default is in use at once";
    model->endStyleAdjustment();
    EXPECT_EQ(styles.writes, writes + 1);
    EXPECT_EQ(styles.styles.at(AnnotationTool::pen).width, 30);

    const AnnotationObject rect = addObject(rectangleAt(Rect(100, 100, 50, 50)));
    model->select(rect.id());
    const qsizetype steps = document->undoStates().size();
    model->beginStyleAdjustment();
    style = model->currentStyle();
    for (double w = 5; w <= 30; w += 1) {
        style.width = w;
        model->changeStyle(style);
    }
    model->endStyleAdjustment();
    EXPECT_EQ(document->undoStates().size(), steps + 1);
    EXPECT_EQ(objects()[0].style.width, 30);
}

TEST_F(Command, RestyledBadgesAndTextsStayInside)
{
    model->chooseTool(AnnotationTool::number);
    model->pointerDown({399, 299}, 1);
    AnnotationStyle wide = model->currentStyle();
    wide.width = 20;
    model->changeStyle(wide);
    const Rect badge = objects()[0].bounds();
    EXPECT_EQ(badge, Rect(240, 140, 160, 160)) << "grown, and moved back inside";

    AnnotationStyle textStyle = AnnotationStyle::initial(AnnotationTool::text, 1);
    AnnotationObject text(AnnotationTool::text, textStyle, {50, 200}, {150, 240}, {}, 0,
                          QStringLiteral("hello"));
    text.end = Point{50 + 100, 200 + 40};
    addObject(text);
    model->select(text.id());
    AnnotationStyle larger = textStyle;
    larger.fontSize = 40;
    model->changeStyle(larger);
    EXPECT_EQ(objects()[1].bounds().minX(), 50);
    EXPECT_EQ(objects()[1].bounds().maxY(), 240) << "the top-left corner stays";
    EXPECT_GT(objects()[1].bounds().height(), 40);

    larger.fontSize = 200;
    AnnotationObject longText = objects()[1];
    const qsizetype steps = document->undoStates().size();
    AnnotationState state = document->state();
    longText.text = QStringLiteral("a\nb\nc");
    state.objects.replace(1, longText);
    document->commit(state);
    model->select(longText.id());
    model->changeStyle(larger);
    EXPECT_EQ(errors.back(), QStringLiteral("文字超出截图，请调小字号"));
    EXPECT_EQ(document->undoStates().size(), steps + 1) << "the refused style changed nothing";
}

TEST_F(Command, CompactMarkupRecoloursTheLatestObjectOfTheTool)
{
    make(400, 300, true);
    model->chooseTool(AnnotationTool::arrow);
    drag({50, 50}, {{150, 60}});
    drag({50, 150}, {{150, 160}});
    ASSERT_EQ(objects().size(), 2);
    EXPECT_TRUE(objects()[1].curveControl) << "compact arrows are bent";
    EXPECT_EQ(objects()[0].style.color, AnnotationColor::markupPalette[0]);
    model->deselect();

    const AnnotationColor blue = AnnotationColor::markupPalette[2];
    model->chooseMarkup(blue, std::nullopt);
    EXPECT_EQ(objects()[1].style.color, blue);
    EXPECT_EQ(objects()[0].style.color, AnnotationColor::markupPalette[0]);
    drag({50, 250}, {{150, 260}});
    EXPECT_EQ(objects()[2].style.color, blue) << "later arrows are blue";

    model->chooseMarkup(std::nullopt, false);
    EXPECT_FALSE(objects()[2].curveControl) << "the selected arrow is straightened";
    drag({250, 50}, {{350, 60}});
    EXPECT_FALSE(objects()[3].curveControl);
    EXPECT_EQ(styles.writes, 0) << "compact mode never touches the stored styles";
}

TEST_F(Command, CompactLineHandlesAnswerOnlyToTheSelectTool)
{
    make(400, 300, true);
    model->chooseTool(AnnotationTool::arrow);
    drag({100, 100}, {{300, 100}});
    const AnnotationObject arrow = objects()[0];
    // The arrow tool's press on the selected arrow's end moves the whole arrow.
    drag({300, 100}, {{310, 110}});
    EXPECT_EQ(objects()[0].start.x, arrow.start.x + 10);
}

} // namespace
} // namespace kelpie::test
