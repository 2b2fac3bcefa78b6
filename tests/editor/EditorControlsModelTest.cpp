#include "editor/EditorControlsModel.h"

#include "tests/canvas/CanvasFixture.h"

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

// The controls over a real canvas model and document, with a status line
// whose routine text is "300 × 200 px".
class ControlsModel : public test::CanvasFixture {
protected:
    void SetUp() override
    {
        make();
        controls = makeControls(EditorMode::plain);
    }

    std::unique_ptr<EditorControlsModel> makeControls(EditorMode mode)
    {
        EditorStatusHooks hooks;
        hooks.text = [this] { return status; };
        hooks.set = [this](const QString& text) { status = text; };
        hooks.contextual = [] { return QStringLiteral("400 × 300 px"); };
        return std::make_unique<EditorControlsModel>(*model, mode, hooks);
    }

    void remake(bool compact)
    {
        make(400, 300, compact);
        controls = makeControls(compact ? EditorMode::screenshot : EditorMode::plain);
    }

    AnnotationObject rectangleAt(Rect box)
    {
        return AnnotationObject(AnnotationTool::rectangle,
                                AnnotationStyle::initial(AnnotationTool::rectangle, 1), box.origin,
                                {box.maxX(), box.maxY()});
    }

    QString status = QStringLiteral("400 × 300 px");
    std::unique_ptr<EditorControlsModel> controls;
};

const QString widthMessage = QStringLiteral("线宽须为 1–80 的整数");

} // namespace

TEST_F(ControlsModel, WidthFieldRefusesOutOfRangeAndRecoversWhenGivenAGoodValue)
{
    controls->chooseTool(AnnotationTool::pen);
    ASSERT_EQ(model->currentStyle().width, 4);
    for (const QString& text :
         {QStringLiteral("0"), QStringLiteral("81"), QStringLiteral("12px"), QString()}) {
        status = QStringLiteral("400 × 300 px");
        EXPECT_EQ(controls->commitField(StyleField::strokeWidth, text), QStringLiteral("4"))
            << text.toStdString();
        EXPECT_EQ(status, widthMessage);
        EXPECT_EQ(model->currentStyle().width, 4);
    }

    EXPECT_EQ(controls->commitField(StyleField::strokeWidth, QStringLiteral("80")),
              QStringLiteral("80"));
    EXPECT_EQ(model->currentStyle().width, 80);
    EXPECT_EQ(status, QStringLiteral("400 × 300 px")) << "the message gives way to the routine";

    status = QStringLiteral("图片已复制");
    EXPECT_EQ(controls->commitField(StyleField::strokeWidth, QStringLiteral("+12")),
              QStringLiteral("12"));
    EXPECT_EQ(model->currentStyle().width, 12);
    EXPECT_EQ(status, QStringLiteral("图片已复制")) << "other messages stay";
}

TEST_F(ControlsModel, FontSizeFieldTakesEightToTwoHundred)
{
    controls->chooseTool(AnnotationTool::text);
    const double before = model->currentStyle().fontSize;
    for (const QString& text : {QStringLiteral("7"), QStringLiteral("201")}) {
        controls->commitField(StyleField::fontSize, text);
        EXPECT_EQ(model->currentStyle().fontSize, before);
        EXPECT_EQ(status, QStringLiteral("字号须为 8–200 的整数"));
    }
    for (const int size : {8, 200}) {
        EXPECT_EQ(controls->commitField(StyleField::fontSize, QString::number(size)),
                  QString::number(size));
        EXPECT_EQ(model->currentStyle().fontSize, size);
    }
    EXPECT_EQ(status, QStringLiteral("400 × 300 px"));

    // The width field means nothing to the text tool.
    controls->commitField(StyleField::strokeWidth, QStringLiteral("0"));
    EXPECT_EQ(status, QStringLiteral("400 × 300 px"));
}

TEST_F(ControlsModel, NumberFieldSetsTheNextBadgeOrRenumbersTheSelectedOne)
{
    controls->chooseTool(AnnotationTool::number);
    EXPECT_EQ(controls->commitField(StyleField::number, QStringLiteral("5")), QStringLiteral("5"));
    model->pointerDown({100, 100}, 1);
    model->pointerUp();
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].number, 5);
    EXPECT_EQ(document->state().nextNumber, 6);

    // The placed badge is selected: the field now renumbers it, in one step.
    ASSERT_TRUE(model->selected());
    EXPECT_EQ(controls->state().numberTitle, QStringLiteral("编号"));
    const qsizetype steps = document->undoStates().size();
    controls->commitField(StyleField::number, QStringLiteral("42"));
    EXPECT_EQ(objects()[0].number, 42);
    EXPECT_EQ(document->state().nextNumber, 6);
    EXPECT_EQ(document->undoStates().size(), steps + 1);

    EXPECT_EQ(controls->commitField(StyleField::number, QStringLiteral("1000000")),
              QStringLiteral("42"));
    EXPECT_EQ(status, QStringLiteral("编号须为 1–999999 的整数"));
    EXPECT_EQ(objects()[0].number, 42);

    // Ignored while a gesture is in progress.
    controls->chooseTool(AnnotationTool::rectangle);
    model->pointerDown({300, 200}, 1);
    model->pointerDragged({340, 250}, false);
    ASSERT_TRUE(model->hasDraft());
    EXPECT_EQ(controls->commitField(StyleField::number, QStringLiteral("9")), QStringLiteral("6"));
    EXPECT_EQ(document->state().nextNumber, 6);
    model->pointerUp();
}

TEST_F(ControlsModel, OptionControlsRestyleTheSelectionWithoutTouchingOtherFields)
{
    AnnotationObject rect = rectangleAt(Rect(50, 50, 100, 80));
    rect.style.filled = true;
    rect.style.fillOpacity = 0.5;
    addObject(rect);
    model->select(rect.id());

    controls->changeDash(1);
    EXPECT_TRUE(objects()[0].style.dashed);
    EXPECT_EQ(objects()[0].style.fillOpacity, 0.5) << "the dash control leaves the fill alone";
    controls->changeFill(2);
    EXPECT_EQ(objects()[0].style.fillOpacity, 1);
    controls->changeCorner(20);
    EXPECT_EQ(objects()[0].style.cornerRadius, 20);
    controls->palette(4);
    EXPECT_EQ(objects()[0].style.color, AnnotationColor::palette[4]);

    // The brush mode is for new masks only.
    AnnotationObject mask(AnnotationTool::mask, AnnotationStyle::initial(AnnotationTool::mask, 1),
                          {200, 50}, {260, 90});
    addObject(mask);
    model->select(mask.id());
    controls->changeMaskMode(1);
    EXPECT_FALSE(objects()[1].style.maskBrush);
    controls->changeWidth(30);
    EXPECT_EQ(objects()[1].style.maskStrength, 16) << "a solid mask has no strength";
    controls->changeMaskEffect(1);
    controls->widthPreset(2);
    EXPECT_EQ(objects()[1].style.maskEffect, MaskEffect::pixelate);
    EXPECT_EQ(objects()[1].style.maskStrength, 4);
}

TEST_F(ControlsModel, SliderDragOnASelectedObjectIsOneUndoStep)
{
    const AnnotationObject rect = addObject(rectangleAt(Rect(50, 50, 100, 80)));
    model->select(rect.id());
    const qsizetype steps = document->undoStates().size();
    controls->beginTracking();
    for (int width = 5; width <= 25; ++width)
        controls->changeWidth(width);
    controls->endTracking();
    EXPECT_FALSE(document->inTransaction());
    EXPECT_EQ(document->undoStates().size(), steps + 1);
    EXPECT_EQ(objects()[0].style.width, 25);
    document->undo();
    EXPECT_EQ(objects()[0].style.width, rect.style.width);
}

TEST_F(ControlsModel, StyleKeysInThePlainEditor)
{
    controls->chooseTool(AnnotationTool::rectangle);
    controls->changeStyleKey(std::nullopt, 4);
    EXPECT_EQ(model->currentStyle().color, AnnotationColor::palette[4]);
    controls->changeStyleKey(1.0, std::nullopt);
    EXPECT_EQ(model->currentStyle().width, 5);
    EXPECT_EQ(styles.styles.at(AnnotationTool::rectangle).width, 5) << "remembered for the tool";

    const int writes = styles.writes;
    controls->chooseTool(AnnotationTool::select);
    controls->changeStyleKey(1.0, 2);
    EXPECT_EQ(styles.writes, writes);
}

TEST_F(ControlsModel, StyleKeysInTheCompactEditorsOnlyPickMarkupColours)
{
    remake(true);
    controls->chooseTool(AnnotationTool::arrow);
    const double width = model->currentStyle().width;
    controls->changeStyleKey(1.0, std::nullopt);
    EXPECT_EQ(model->currentStyle().width, width);
    controls->changeStyleKey(std::nullopt, 5);
    EXPECT_EQ(model->currentStyle().color, AnnotationColor::markupPalette[0]);
    controls->changeStyleKey(std::nullopt, 2);
    EXPECT_EQ(model->currentStyle().color, AnnotationColor::markupPalette[2]);
    EXPECT_TRUE(controls->markupColorOn(2));
    EXPECT_FALSE(controls->markupColorOn(0));
    EXPECT_TRUE(controls->markupRowVisible(true));
    EXPECT_FALSE(controls->markupRowVisible(false));

    controls->markupShape(0);
    EXPECT_TRUE(controls->markupShapeOn(0));
    EXPECT_FALSE(controls->markupShapeOn(1));
    drag({50, 50}, {{150, 120}});
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].style.color, AnnotationColor::markupPalette[2]);
    EXPECT_FALSE(objects()[0].curveControl) << "a straight arrow after the straight sample";

    controls->chooseTool(AnnotationTool::pen);
    EXPECT_FALSE(controls->markupRowVisible(true));
}
