#include "canvas/AnnotationCanvas.h"

#include "CanvasFixture.h"
#include "canvas/AnnotationTextView.h"
#include "canvas/AnnotationWindow.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>

#include <random>

namespace kelpie::test {
namespace {

void mouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::KeyboardModifiers modifiers = {})
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons
        = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = {}, const QString& text = {})
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &event);
}

class CanvasWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(230, 230, 230));
        document = std::make_unique<AnnotationDocument>(image);
        window = std::make_unique<AnnotationWindow>();
        canvas = new AnnotationCanvas(*document, styles, false, window.get());
        canvas->setGeometry(0, 0, 400, 300);
        window->resize(400, 300);
        window->show();
        window->activateWindow();
        QApplication::processEvents();
        canvas->setFocus();
    }

    void TearDown() override { window.reset(); }

    const AnnotationObjectList& objects() const { return document->state().objects; }

    MemoryStyleStore styles;
    std::unique_ptr<AnnotationDocument> document;
    std::unique_ptr<AnnotationWindow> window;
    AnnotationCanvas* canvas = nullptr;
};

TEST_F(CanvasWidget, WidgetEventsArriveInTheCanvasSpaceWithYUp)
{
    canvas->model().chooseTool(AnnotationTool::rectangle);
    mouse(canvas, QEvent::MouseButtonPress, {50, 250});
    mouse(canvas, QEvent::MouseMove, {100, 220});
    mouse(canvas, QEvent::MouseMove, {150, 200});
    mouse(canvas, QEvent::MouseButtonRelease, {150, 200});
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].bounds(), Rect(50, 50, 100, 50));

    // Shown at twice the size, centred: the same gesture lands at half the distance.
    canvas->resize(1000, 600);
    canvas->model().chooseTool(AnnotationTool::line);
    mouse(canvas, QEvent::MouseButtonPress, {100 + 20, 600 - 20});
    mouse(canvas, QEvent::MouseMove, {100 + 220, 600 - 21}, Qt::ShiftModifier);
    mouse(canvas, QEvent::MouseButtonRelease, {100 + 220, 600 - 21});
    ASSERT_EQ(objects().size(), 2);
    EXPECT_EQ(objects()[1].start, (Point{10, 10}));
    EXPECT_DOUBLE_EQ(objects()[1].end.y, 10) << "Shift snapped the line flat";
}

TEST_F(CanvasWidget, KeysReachTheCanvasThroughItsWindow)
{
    int confirms = 0;
    int copies = 0;
    canvas->model().onConfirm = [&] { ++confirms; };
    window->handleCanvasKey = [&](const QKeyEvent& event) { return canvas->handleKey(event); };
    window->copyScreenshotSelection = [&] { ++copies; };
    window->copiesScreenshotOnReturn = true;
    auto* button = new QPushButton(QStringLiteral("x"), window.get());
    button->show();
    button->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), button);

    press(button, Qt::Key_Return);
    EXPECT_EQ(confirms, 1) << "a screenshot Return goes to the canvas first";
    press(button, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copies, 1);
    press(button, Qt::Key_R, Qt::ShiftModifier, QStringLiteral("R"));
    EXPECT_EQ(canvas->model().tool(), AnnotationTool::rectangle) << "an unused key reaches it too";
}

TEST_F(CanvasWidget, ADoubleClickOpensATextWhereItIsDrawnAndEscapeRestoresIt)
{
    canvas->model().chooseTool(AnnotationTool::text);
    mouse(canvas, QEvent::MouseButtonPress, {40, 60});
    mouse(canvas, QEvent::MouseButtonRelease, {40, 60});
    AnnotationTextView* view = canvas->textEditor();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), view);
    view->setText(QStringLiteral("今天 hello"));
    press(view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(canvas->textEditor(), nullptr);
    ASSERT_EQ(objects().size(), 1);
    const AnnotationState committed = document->state();

    canvas->model().chooseTool(AnnotationTool::select);
    mouse(canvas, QEvent::MouseButtonPress, {45, 70});
    mouse(canvas, QEvent::MouseButtonRelease, {45, 70});
    mouse(canvas, QEvent::MouseButtonDblClick, {45, 70});
    view = canvas->textEditor();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->text(), QStringLiteral("今天 hello"));
    const auto layout = canvas->model().textEditorLayout();
    EXPECT_EQ(QRectF(view->geometry()), canvas->widgetRect(layout->frame).toAlignedRect());
    EXPECT_EQ(view->geometry().topLeft(), QPoint(40, 60)) << "the box's top-left corner";

    canvas->resize(800, 600);
    EXPECT_EQ(view->geometry().topLeft(), QPoint(80, 120)) << "still aligned after a zoom";

    view->setText(QStringLiteral("changed"));
    press(view, Qt::Key_Escape);
    EXPECT_EQ(canvas->textEditor(), nullptr);
    EXPECT_EQ(document->state(), committed);
}

TEST_F(CanvasWidget, CtrlReturnWaitsForTheInputMethodsCandidate)
{
    canvas->model().chooseTool(AnnotationTool::text);
    mouse(canvas, QEvent::MouseButtonPress, {40, 60});
    AnnotationTextView* view = canvas->textEditor();
    ASSERT_NE(view, nullptr);

    QInputMethodEvent composing(QStringLiteral("jintian"), {});
    QApplication::sendEvent(view, &composing);
    EXPECT_TRUE(view->composing());
    press(view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(canvas->textEditor(), view) << "still open";
    EXPECT_TRUE(objects().isEmpty());
    press(view, Qt::Key_Escape);
    EXPECT_EQ(canvas->textEditor(), view) << "Escape belongs to the input method";

    QInputMethodEvent confirmed;
    confirmed.setCommitString(QStringLiteral("今天"));
    QApplication::sendEvent(view, &confirmed);
    EXPECT_FALSE(view->composing());
    press(view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(canvas->textEditor(), nullptr);
    ASSERT_EQ(objects().size(), 1);
    EXPECT_EQ(objects()[0].text, QStringLiteral("今天"));
}

struct Lines {
    // Per paragraph, its lines as (start, length).
    QList<QList<std::pair<int, int>>> breaks;
    // The top of every line, from the top of the box.
    QList<double> tops;
};

TEST_F(CanvasWidget, ReturnInTheTextEditorIsALineBreak)
{
    int confirms = 0;
    canvas->model().onConfirm = [&] { ++confirms; };
    window->handleCanvasKey = [&](const QKeyEvent& event) { return canvas->handleKey(event); };
    window->copiesScreenshotOnReturn = true;
    canvas->model().chooseTool(AnnotationTool::text);
    mouse(canvas, QEvent::MouseButtonPress, {40, 60});
    AnnotationTextView* view = canvas->textEditor();
    ASSERT_NE(view, nullptr);
    press(view, Qt::Key_A, {}, QStringLiteral("a"));
    press(view, Qt::Key_Return, {}, QStringLiteral("\r"));
    press(view, Qt::Key_B, {}, QStringLiteral("b"));
    EXPECT_EQ(confirms, 0);
    EXPECT_EQ(view->text(), QStringLiteral("a\nb"));
}

// The device rows of `image` between columns `from` and `to` that hold
// `colour` along their whole length, and whether every other row there is
// free of it (a blurred line leaves a blend in the rows beside it).
std::pair<int, bool> solidRows(const QImage& image, int top, int bottom, int from, int to,
                               QRgb colour)
{
    int solid = 0;
    bool clean = true;
    for (int row = top; row <= bottom; ++row) {
        int hits = 0;
        bool blended = false;
        for (int x = from; x < to; ++x) {
            const QRgb pixel = image.pixel(x, row);
            if (pixel == colour)
                ++hits;
            else if (qBlue(pixel) > 235 && qRed(pixel) < 225)
                blended = true;
        }
        // The outline is dashed: about 4 of every 7 points are drawn.
        if (hits > (to - from) / 3)
            ++solid;
        else if (blended)
            clean = false;
    }
    return {solid, clean};
}

TEST_F(CanvasWidget, SelectionChromeIsCrispAtOneAndTwoTimes)
{
    AnnotationState state;
    AnnotationObject rect(AnnotationTool::rectangle,
                          AnnotationStyle::initial(AnnotationTool::rectangle, 1), {100, 100},
                          {300, 200});
    rect.style.color = AnnotationColor::palette[3];
    state.objects = {rect};
    document->commit(state);
    canvas->model().select(rect.id());
    const QRgb blue = qRgb(0, 122, 255);
    for (double ratio : {1.0, 2.0}) {
        const QImage image = canvas->grabAt(ratio).convertToFormat(QImage::Format_RGB32);
        // The outline's top edge lies 100 points from the top, one point
        // wide; looked at left of the handle in its middle.
        const int top = int(98 * ratio);
        const int bottom = int(102 * ratio);
        const auto [solid, clean]
            = solidRows(image, top, bottom, int(120 * ratio), int(190 * ratio), blue);
        EXPECT_EQ(solid, int(ratio)) << "one point of line at " << ratio << "x";
        EXPECT_TRUE(clean) << "no half-covered rows beside it at " << ratio << "x";
    }
}

// The lines the renderer's layout makes of each paragraph.
Lines renderedLines(const QString& text, const AnnotationStyle& style, double maxWidth)
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    const auto attributes = AnnotationTextLayout::attributes(style);
    Lines result;
    double top = AnnotationTextLayout::inset;
    for (const QString& paragraph : text.split(u'\n')) {
        QTextLayout layout(paragraph, attributes.font, &device);
        layout.setTextOption(attributes.option);
        layout.beginLayout();
        QList<std::pair<int, int>> lines;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(std::max(maxWidth - 2 * AnnotationTextLayout::inset, 1.0));
            lines.append({line.textStart(), line.textLength()});
            result.tops.append(top);
            top += line.height();
        }
        layout.endLayout();
        result.breaks.append(lines);
    }
    return result;
}

Lines editorLines(QTextDocument* document)
{
    QAbstractTextDocumentLayout* documentLayout = document->documentLayout();
    documentLayout->documentSize();
    Lines result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QList<std::pair<int, int>> lines;
        QTextLayout* layout = block.layout();
        const double blockTop = documentLayout->blockBoundingRect(block).top();
        for (int i = 0; i < layout->lineCount(); ++i) {
            lines.append({layout->lineAt(i).textStart(), layout->lineAt(i).textLength()});
            result.tops.append(blockTop + layout->lineAt(i).y());
        }
        result.breaks.append(lines);
    }
    return result;
}

TEST(AnnotationTextView, BreaksLinesExactlyWhereTheRendererDoes)
{
    std::mt19937 random(11);
    const QStringList words{QStringLiteral("今天"),     QStringLiteral("天气"),
                            QStringLiteral("hello"),    QStringLiteral("world,"),
                            QStringLiteral("截图标注"), QStringLiteral("WWWWWWWWWWWW"),
                            QStringLiteral("iii"),      QStringLiteral("1234567890"),
                            QStringLiteral("\n"),       QStringLiteral("。")};
    AnnotationTextView view;
    for (int trial = 0; trial < 200; ++trial) {
        QString text;
        const int count = int(random() % 25) + 1;
        for (int i = 0; i < count; ++i) {
            text += words[random() % words.size()];
            if (random() % 3 != 0)
                text += u' ';
        }
        AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::text, 1);
        style.fontSize = 8 + double(random() % 60);
        style.bold = random() % 2 == 0;
        // Lines at least as wide as the widest glyph: narrower ones put
        // every character on its own line in the renderer, which the
        // toolkit's editor does not copy for a word of digits.
        const double width = 8 + 1.2 * style.fontSize + double(random() % 450);
        const double scale = std::array{0.5, 1.0, 1.37, 2.0}[random() % 4];
        view.setText(text);
        view.setLayout(style, width, scale);
        const Lines editor = editorLines(view.document());
        const Lines rendered = renderedLines(text, style, width);
        ASSERT_EQ(editor.breaks, rendered.breaks) << "text \"" << text.toStdString() << "\" size "
                                                  << style.fontSize << " width " << width;
        ASSERT_EQ(editor.tops.size(), rendered.tops.size());
        for (qsizetype i = 0; i < editor.tops.size(); ++i)
            ASSERT_NEAR(editor.tops[i], rendered.tops[i], 0.25) << "line " << i;
    }
}

} // namespace
} // namespace kelpie::test
