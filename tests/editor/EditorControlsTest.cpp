#include "editor/EditorControls.h"

#include "canvas/AnnotationCanvas.h"
#include "editor/ControlIcon.h"
#include "editor/ScreenshotColorWell.h"
#include "editor/SegmentedControl.h"
#include "editor/StyleSlider.h"
#include "editor/ToolbarButton.h"
#include "tests/canvas/CanvasFixture.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

void mouse(QWidget* widget, QEvent::Type type, QPoint at)
{
    const Qt::MouseButtons buttons
        = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The widgets of one editor over a real canvas and document: a window
// holding the canvas and the four rows, and the status line as a string.
class Controls : public ::testing::Test {
protected:
    void open(EditorMode mode)
    {
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(200, 200, 200));
        document = std::make_unique<AnnotationDocument>(image);
        window = std::make_unique<QWidget>();
        canvas = new AnnotationCanvas(*document, styles, mode != EditorMode::plain, window.get());
        canvas->setGeometry(0, 200, 400, 300);
        EditorStatusHooks hooks;
        hooks.text = [this] { return status; };
        hooks.set = [this](const QString& text) { status = text; };
        hooks.contextual = [] { return QStringLiteral("400 × 300 px"); };
        controls = std::make_unique<EditorControls>(*canvas, *document, mode, hooks, window.get());
        controls->buildStyles();
        int y = 0;
        for (QWidget* row : {controls->toolRow(), controls->styleRow(), controls->optionRow(),
                             controls->markupRow()}) {
            row->move(0, y);
            row->resize(row->sizeHint().expandedTo(QSize(900, 36)));
            y += 40;
        }
        window->resize(1000, 520);
        window->show();
    }

    void chooseTool(AnnotationTool tool) { controls->toolButton(tool)->click(); }

    AnnotationObject addRectangle()
    {
        AnnotationObject rect(AnnotationTool::rectangle,
                              AnnotationStyle::initial(AnnotationTool::rectangle, 1), {50, 50},
                              {150, 120});
        AnnotationState state = document->state();
        state.objects.append(rect);
        document->commit(state);
        return rect;
    }

    test::MemoryStyleStore styles;
    std::unique_ptr<AnnotationDocument> document;
    std::unique_ptr<QWidget> window;
    AnnotationCanvas* canvas = nullptr;
    std::unique_ptr<EditorControls> controls;
    QString status = QStringLiteral("400 × 300 px");
};

} // namespace

TEST_F(Controls, OneSliderDragOnASelectedObjectIsOneUndoStep)
{
    open(EditorMode::plain);
    const AnnotationObject rect = addRectangle();
    canvas->model().select(rect.id());
    controls->update();
    StyleSlider* slider = controls->widthSlider();
    ASSERT_FALSE(slider->isHidden());
    ASSERT_EQ(slider->value(), int(rect.style.width));

    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    const qsizetype steps = document->undoStates().size();
    QPoint at = handle.center();
    mouse(slider, QEvent::MouseButtonPress, at);
    EXPECT_TRUE(document->inTransaction());
    for (int i = 0; i < 6; ++i) {
        at += QPoint(8, 0);
        mouse(slider, QEvent::MouseMove, at);
    }
    mouse(slider, QEvent::MouseButtonRelease, at);

    EXPECT_FALSE(document->inTransaction());
    EXPECT_EQ(document->undoStates().size(), steps + 1);
    const double width = document->state().objects[0].style.width;
    EXPECT_GT(width, rect.style.width);
    EXPECT_EQ(controls->widthLabel()->text(), QStringLiteral("%1 px").arg(width));
    document->undo();
    EXPECT_EQ(document->state().objects[0].style.width, rect.style.width);
}

TEST_F(Controls, RefusedFieldSnapsBackAndExplainsItself)
{
    open(EditorMode::plain);
    chooseTool(AnnotationTool::pen);
    QLineEdit* width = controls->field(StyleField::strokeWidth);
    ASSERT_FALSE(width->isHidden());
    width->setText(QStringLiteral("81"));
    Q_EMIT width->editingFinished();
    EXPECT_EQ(width->text(), QStringLiteral("4"));
    EXPECT_EQ(status, QStringLiteral("线宽须为 1–80 的整数"));

    width->setText(QStringLiteral("+12"));
    Q_EMIT width->editingFinished();
    EXPECT_EQ(width->text(), QStringLiteral("12"));
    EXPECT_EQ(controls->widthSlider()->value(), 12);
    EXPECT_EQ(status, QStringLiteral("400 × 300 px"));
}

TEST_F(Controls, EachToolShowsItsOwnControls)
{
    open(EditorMode::plain);
    EXPECT_FALSE(controls->styleRowVisible());
    EXPECT_TRUE(controls->styleRow()->isHidden());
    EXPECT_TRUE(controls->markupRow()->isHidden()) << "the plain editor never shows it";

    chooseTool(AnnotationTool::rectangle);
    EXPECT_TRUE(controls->toolButton(AnnotationTool::rectangle)->isChecked());
    EXPECT_FALSE(controls->toolButton(AnnotationTool::select)->isChecked());
    EXPECT_FALSE(controls->styleRow()->isHidden());
    EXPECT_FALSE(controls->optionRow()->isHidden());
    const auto& presets = controls->presetButtons();
    EXPECT_TRUE(presets[0]->text().isEmpty()) << "stroke presets show a sample line";
    EXPECT_FALSE(presets[0]->icon().isNull());
    EXPECT_TRUE(presets[3]->isHidden());
    EXPECT_FALSE(controls->fillButton()->isHidden());
    EXPECT_TRUE(controls->arrowPicker()->isHidden());

    // A fill segment restyles the tool's default.
    controls->fillButton()->setFocus();
    const QRectF solid = controls->fillButton()->segmentRect(2);
    mouse(controls->fillButton(), QEvent::MouseButtonPress, solid.center().toPoint());
    EXPECT_TRUE(canvas->model().currentStyle().filled);
    EXPECT_TRUE(controls->dashButton()->isHidden()) << "no dash on a filled rectangle";

    // Every option shows its own drawing, named by its tooltip.
    QSet<QString> drawings;
    for (SegmentedControl* picker :
         {controls->fillButton(), controls->dashButton(), controls->arrowPicker()}) {
        EXPECT_FALSE(picker->accessibleName().isEmpty());
        for (int i = 0; i < picker->count(); ++i) {
            EXPECT_TRUE(picker->label(i).isEmpty());
            EXPECT_FALSE(picker->segmentToolTip(i).isEmpty());
            EXPECT_EQ(picker->segmentWidth(i), 48);
            const QImage drawn
                = ControlIcon::render(picker->segmentImage(i), QSizeF(44, 24), Qt::black, 1);
            QByteArray bytes(reinterpret_cast<const char*>(drawn.constBits()), drawn.sizeInBytes());
            EXPECT_NE(drawn.pixelColor(0, 0), QColor(Qt::black)) << "drawn inside a margin";
            drawings.insert(QString::fromLatin1(bytes.toBase64()));
        }
    }
    EXPECT_EQ(drawings.size(), 8) << "eight different option drawings";

    chooseTool(AnnotationTool::mask);
    EXPECT_TRUE(controls->widthSlider()->isHidden());
    EXPECT_FALSE(controls->maskPicker()->isHidden());
    EXPECT_FALSE(controls->paletteTray()->isHidden());
    mouse(controls->maskPicker(), QEvent::MouseButtonPress,
          controls->maskPicker()->segmentRect(1).center().toPoint());
    EXPECT_EQ(canvas->model().currentStyle().maskEffect, MaskEffect::pixelate);
    EXPECT_FALSE(controls->widthSlider()->isHidden());
    EXPECT_EQ(controls->widthTitle()->text(), QStringLiteral("强度"));
    EXPECT_TRUE(controls->paletteTray()->isHidden());
    EXPECT_EQ(presets[0]->text(), QStringLiteral("8"));
    presets[0]->click();
    EXPECT_EQ(canvas->model().currentStyle().maskStrength, 8);

    chooseTool(AnnotationTool::highlight);
    EXPECT_TRUE(controls->optionRow()->isHidden());
    EXPECT_EQ(presets[0]->toolTip(), QStringLiteral("粗细 12 px"));
    EXPECT_EQ(presets[0]->objectName(), QStringLiteral("style-width-12"));

    chooseTool(AnnotationTool::number);
    EXPECT_EQ(controls->numberLabel()->text(), QStringLiteral("下一号"));
    EXPECT_FALSE(controls->field(StyleField::number)->isHidden());
}

TEST_F(Controls, FloatingToolBarTakesTheWindowsButtonsInOrder)
{
    open(EditorMode::screenshot);
    QWidget* holder = controls->toolRow()->parentWidget();
    auto* extra = new QPushButton(QStringLiteral("完成文字"), holder);
    controls->appendToToolRow(extra);
    FloatingToolButtons buttons;
    auto* undo = new ToolbarButton(QString(), controls->toolRow());
    auto* redo = new ToolbarButton(QString(), controls->toolRow());
    auto* pin = new ToolbarButton(QStringLiteral("钉住"), controls->toolRow());
    auto* save = new ToolbarButton(QStringLiteral("保存"), controls->toolRow());
    auto* copy = new ToolbarButton(QStringLiteral("复制"), controls->toolRow());
    copy->setMinimumTitle(QStringLiteral("复制文字"));
    auto* close = new ToolbarButton(QString(), controls->toolRow());
    buttons = {undo, redo, pin, save, copy, close};
    controls->configureFloatingTools(buttons);

    QHBoxLayout* row = static_cast<QHBoxLayout*>(controls->toolRow()->layout());
    QList<QWidget*> order;
    for (int i = 0; i < row->count(); ++i)
        if (QWidget* widget = row->itemAt(i)->widget())
            order.append(widget);
    ASSERT_EQ(order.size(), 16);
    EXPECT_EQ(order[0], controls->toolButton(AnnotationTool::arrow));
    EXPECT_EQ(order[7], controls->toolButton(AnnotationTool::select));
    EXPECT_EQ(order[9], undo);
    EXPECT_EQ(order[10], redo);
    EXPECT_EQ(order.mid(12), (QList<QWidget*>{pin, save, copy, close}));
    EXPECT_FALSE(order.contains(extra));
    EXPECT_TRUE(extra->isHidden());
    extra->show();
    EXPECT_FALSE(extra->isVisible()) << "a dropped widget cannot reappear in the window";

    EXPECT_EQ(controls->toolButton(AnnotationTool::select)->accessibleName(),
              QStringLiteral("选择文字或对象"));
    EXPECT_TRUE(controls->toolButton(AnnotationTool::pen)->text().isEmpty());
    EXPECT_TRUE(pin->text().isEmpty());
    EXPECT_EQ(pin->toolTip(), QStringLiteral("钉住"));
    EXPECT_EQ(copy->text(), QStringLiteral("完成"));
    EXPECT_TRUE(copy->primary());
    EXPECT_TRUE(copy->minimumTitle().isEmpty());
    EXPECT_FALSE(copy->image().isNull());
    EXPECT_EQ(close->toolTip(), QStringLiteral("关闭（Esc）"));
}

TEST_F(Controls, CompactMarkupRowFollowsToolAndKeys)
{
    open(EditorMode::pinned);
    controls->buildMarkupOptions();
    ASSERT_EQ(controls->markupSwatches().size(), 3);
    ASSERT_EQ(controls->arrowSamples().size(), 2);
    EXPECT_EQ(controls->markupSwatches()[1]->toolTip(), QStringLiteral("琥珀黄"));
    EXPECT_TRUE(controls->arrowSamples()[0]->sample());

    controls->updateMarkupOptions(true);
    EXPECT_TRUE(controls->markupRow()->isHidden()) << "select tool";
    chooseTool(AnnotationTool::arrow);
    controls->updateMarkupOptions(true);
    EXPECT_FALSE(controls->markupRow()->isHidden());
    EXPECT_TRUE(controls->markupSwatches()[0]->isChecked());
    EXPECT_TRUE(controls->arrowSamples()[1]->isChecked()) << "arrows start curved";

    const auto lit = [](QAbstractButton* button) {
        return static_cast<ToolbarButton*>(button)->backgroundColor().alpha() > 0;
    };
    EXPECT_TRUE(lit(controls->toolButton(AnnotationTool::arrow)));
    EXPECT_FALSE(lit(controls->toolButton(AnnotationTool::select))) << "the tint follows the tool";

    controls->changeStyleKey(1.0, 2);
    EXPECT_TRUE(controls->markupSwatches()[2]->isChecked());
    EXPECT_TRUE(lit(controls->markupSwatches()[2]));
    EXPECT_FALSE(controls->markupSwatches()[0]->isChecked());
    EXPECT_FALSE(lit(controls->markupSwatches()[0]));
    controls->arrowSamples()[0]->click();
    EXPECT_TRUE(controls->arrowSamples()[0]->isChecked());
    EXPECT_FALSE(canvas->model().curvedArrow());

    controls->updateMarkupOptions(false);
    EXPECT_TRUE(controls->markupRow()->isHidden()) << "a pin that is only viewed";
    EXPECT_FALSE(controls->styleRowVisible());
}
