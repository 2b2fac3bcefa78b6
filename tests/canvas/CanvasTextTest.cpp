#include "CanvasFixture.h"

#include <Qt>

namespace kelpie::test {
namespace {

using TextEditing = CanvasFixture;

TEST_F(TextEditing, NewBoxesKeepRoomBelowAndBesideThem)
{
    make(400, 300);
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 10}, 1);
    ASSERT_TRUE(model->textEditing());
    EXPECT_EQ(model->textTopLeft(), (Point{50, 100})) << "100 pixels of room below the top";
    EXPECT_EQ(model->currentTool(), AnnotationTool::text);
    EXPECT_TRUE(model->hasDraft());
    model->cancelTextEditing();

    make(500, 300);
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({495, 150}, 1);
    EXPECT_EQ(model->textTopLeft(), (Point{460, 150}));
    EXPECT_EQ(model->textMaximumWidth(), 40);

    make(39, 300);
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({10, 150}, 1);
    EXPECT_FALSE(model->textEditing());
    EXPECT_EQ(errors.back(), QStringLiteral("截图太小，无法放入文字"));
}

TEST_F(TextEditing, ATypedTextIsOneUndoStepHangingFromItsTopLeftCorner)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 250}, 1);
    editor.text_ = QStringLiteral("今天 hello");
    EXPECT_TRUE(model->finishTextEditing());
    EXPECT_FALSE(editor.isOpen);
    ASSERT_EQ(objects().size(), 1);
    const AnnotationObject& text = objects()[0];
    EXPECT_EQ(text.text, QStringLiteral("今天 hello"));
    EXPECT_EQ(text.bounds().minX(), 50);
    EXPECT_EQ(text.bounds().maxY(), 250);
    EXPECT_EQ(text.textLayoutWidth, 350) << "440 wide, limited by the image";
    EXPECT_EQ(document->undoStates().size(), 1);
    EXPECT_EQ(model->selectedID(), text.id());
    EXPECT_EQ(styles.styles.count(AnnotationTool::text), 1u) << "remembered as the text default";
}

TEST_F(TextEditing, BlankTextAddsNothingAndAnEmptiedTextIsDeleted)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 250}, 1);
    editor.text_ = QStringLiteral("  \n ");
    EXPECT_TRUE(model->finishTextEditing());
    EXPECT_TRUE(objects().isEmpty());
    EXPECT_FALSE(document->canUndo());

    model->pointerDown({50, 250}, 1);
    editor.text_ = QStringLiteral("hi");
    model->finishTextEditing();
    ASSERT_EQ(objects().size(), 1);

    model->chooseTool(AnnotationTool::select);
    model->pointerDown({60, 240}, 2);
    ASSERT_TRUE(model->textEditing()) << "a double click opens the text";
    EXPECT_EQ(editor.text_, QStringLiteral("hi"));
    EXPECT_TRUE(model->draft()->text.isEmpty()) << "the text moves into the editor while typed";
    editor.text_.clear();
    EXPECT_TRUE(model->finishTextEditing());
    EXPECT_TRUE(objects().isEmpty());
    document->undo();
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].text, QStringLiteral("hi"));
}

TEST_F(TextEditing, EscapeRestoresAnOpenedTextUnchanged)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 250}, 1);
    editor.text_ = QStringLiteral("hi");
    model->finishTextEditing();
    const AnnotationState before = document->state();
    const qsizetype steps = document->undoStates().size();

    model->chooseTool(AnnotationTool::select);
    model->pointerDown({60, 240}, 2);
    editor.text_ = QStringLiteral("changed");
    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_FALSE(model->textEditing());
    EXPECT_FALSE(editor.isOpen);
    EXPECT_EQ(document->state(), before);
    EXPECT_EQ(document->undoStates().size(), steps);
    EXPECT_EQ(model->tool(), AnnotationTool::select) << "Escape only closed the editor";
}

TEST_F(TextEditing, NothingCommitsWhileAnInputMethodComposes)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 250}, 1);
    editor.preedit = QStringLiteral("jintian");
    EXPECT_FALSE(model->finishTextEditing());
    EXPECT_EQ(errors.back(), QStringLiteral("请先确认当前中文候选"));
    EXPECT_TRUE(model->textEditing());
    AnnotationStyle bold = model->currentStyle();
    bold.bold = true;
    model->changeStyle(bold);
    EXPECT_FALSE(model->currentStyle().bold) << "no restyling during composition";
    model->chooseTool(AnnotationTool::rectangle);
    EXPECT_EQ(model->tool(), AnnotationTool::text) << "a tool change waits for the candidate";
    EXPECT_TRUE(objects().isEmpty());

    editor.preedit.clear();
    editor.text_ = QStringLiteral("今天");
    model->changeStyle(bold);
    EXPECT_TRUE(model->currentStyle().bold);
    EXPECT_TRUE(model->finishTextEditing());
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].text, QStringLiteral("今天"));
    EXPECT_TRUE(objects()[0].style.bold);
}

TEST_F(TextEditing, TextThatWouldLeaveTheImageStaysEditable)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 40}, 1);
    editor.text_ = QStringLiteral("1\n2\n3\n4\n5");
    EXPECT_FALSE(model->finishTextEditing());
    EXPECT_EQ(errors.back(), QStringLiteral("文字超出截图，请缩短内容或调小字号"));
    EXPECT_TRUE(model->textEditing());
    EXPECT_TRUE(editor.isOpen);
    // A click elsewhere only tries to finish again.
    model->pointerDown({300, 200}, 1);
    EXPECT_TRUE(model->textEditing());
    EXPECT_TRUE(objects().isEmpty());

    editor.text_ = QStringLiteral("1\n");
    const Size oneLine
        = AnnotationTextLayout::size(QStringLiteral("1"), model->currentStyle(), 350);
    EXPECT_TRUE(model->finishTextEditing());
    EXPECT_GT(objects()[0].bounds().height(), oneLine.height) << "a final line break adds a line";
}

TEST_F(TextEditing, TheEditorFollowsTheZoom)
{
    model->chooseTool(AnnotationTool::text);
    model->pointerDown({50, 250}, 1);
    const auto atOne = model->textEditorLayout();
    ASSERT_TRUE(atOne);
    EXPECT_EQ(atOne->frame, Rect(50, 70, 350, 180));
    const int relayouts = editor.relayouts;
    model->setViewSize({800, 600});
    EXPECT_GT(editor.relayouts, relayouts);
    const auto atTwo = model->textEditorLayout();
    EXPECT_EQ(atTwo->scale, 2);
    EXPECT_EQ(atTwo->frame, Rect(100, 140, 700, 360));
}

} // namespace
} // namespace kelpie::test
