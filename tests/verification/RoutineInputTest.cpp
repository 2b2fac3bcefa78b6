// What the routines build their scripts from: synthetic pointer, key and
// input-method events that must reach the real canvas at the right picture
// pixels, the probe that draws masks and reads composites, and the fixture
// pictures whose line boxes the checks rely on.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationTextView.h"
#include "editor/ImageWindow.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/settings/ScratchHome.h"
#include "verification/CanvasInput.h"
#include "verification/SyntheticInput.h"
#include "verification/EditorProbe.h"
#include "verification/FixturePicture.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace kelpie::test {
namespace {

class RoutineInput : public ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        auto store = PreferencesStore::suite(QStringLiteral("com.kelpie.routine-input-tests.1"));
        ASSERT_NE(store, nullptr);
        preferences = std::make_shared<AppPreferences>(store);
    }
    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    // A plain editor on a white picture, shown zoomed so that picture
    // pixels and widget points differ.
    void open(QSize size)
    {
        QImage picture(size, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::white);
        window = std::make_unique<ImageWindow>(picture, false, preferences);
        QCoreApplication::processEvents();
    }
    AnnotationCanvas& canvas() { return *window->canvas(); }
    const AnnotationDocument& document() { return window->document(); }

    std::shared_ptr<AppPreferences> preferences;
    std::unique_ptr<ImageWindow> window;
};

TEST_F(RoutineInput, DragOnPictureDrawsAtThePicturePixels)
{
    open(QSize(400, 300));
    window->zoom(1.5);
    QCoreApplication::processEvents();
    canvas().model().chooseTool(AnnotationTool::rectangle);
    // y down in the picture; the document keeps y up.
    CanvasInput::dragOnPicture(canvas(), QPointF(40, 30), QPointF(200, 110));
    ASSERT_EQ(document().state().objects.size(), 1);
    const EditorProbe probe(*window);
    const QRectF drawn = probe.pictureRect(document().state().objects.front().bounds());
    EXPECT_NEAR(drawn.left(), 40, 1);
    EXPECT_NEAR(drawn.top(), 30, 1);
    EXPECT_NEAR(drawn.right(), 200, 1);
    EXPECT_NEAR(drawn.bottom(), 110, 1);
}

TEST_F(RoutineInput, PreeditIsMarkedUntilCommitted)
{
    open(QSize(400, 300));
    canvas().model().chooseTool(AnnotationTool::text);
    CanvasInput::clickOnPicture(canvas(), QPointF(20, 40));
    AnnotationTextView* view = canvas().textEditor();
    ASSERT_NE(view, nullptr);

    CanvasInput::compose(*view, QStringLiteral("jintian"));
    EXPECT_TRUE(view->composing());
    EXPECT_EQ(view->document()->firstBlock().layout()->preeditAreaText(),
              QStringLiteral("jintian"));
    EXPECT_TRUE(view->text().isEmpty());

    CanvasInput::commit(*view, QStringLiteral("今天"));
    EXPECT_FALSE(view->composing());
    EXPECT_EQ(view->text(), QStringLiteral("今天"));

    // Keys carry their text, and Return breaks the line.
    CanvasInput::type(*view, QStringLiteral("\nAB 7"));
    EXPECT_EQ(view->text(), QStringLiteral("今天\nAB 7"));
    SyntheticInput::key(view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(canvas().textEditor(), nullptr);
    ASSERT_EQ(document().state().objects.size(), 1);
    EXPECT_EQ(document().state().objects.front().text, QStringLiteral("今天\nAB 7"));
}

TEST_F(RoutineInput, MaskOverUsesTheEffectAndChangesOnlyItsArea)
{
    const FixturePicture fixture = FixturePicture::textLines(
        QSize(500, 200), {QStringLiteral("PRIVATE CODE 4832")}, QPoint(20, 30), 32, 10);
    window = std::make_unique<ImageWindow>(fixture.image, false, preferences);
    QCoreApplication::processEvents();
    const EditorProbe probe(*window);
    const QImage before = *window->composite();
    const QRectF line = QRectF(fixture.lines.front()).adjusted(-2, -2, 2, 2);

    probe.maskOver(line, MaskEffect::pixelate, 12);
    ASSERT_EQ(document().state().objects.size(), 1);
    const AnnotationObject& mask = document().state().objects.front();
    EXPECT_EQ(mask.tool(), AnnotationTool::mask);
    EXPECT_EQ(mask.style.maskEffect, MaskEffect::pixelate);
    EXPECT_EQ(mask.style.maskStrength, 12);
    EXPECT_GT(probe.changedPixels(before, line), 100);
    EXPECT_EQ(probe.changedPixels(before, QRectF(20, 120, 400, 60)), 0);
    // The solid colour of a fresh mask is nowhere in the untouched picture.
    EXPECT_EQ(probe.pixelsOfColour(QRectF(0, 0, 500, 200), Qt::red), 0);
}

// A child that counts what the pointer sends it.
class PointerLog : public QWidget {
public:
    using QWidget::QWidget;
    int presses = 0;
    int moves = 0;
    int releases = 0;
    QPointF lastMove;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        ++moves;
        lastMove = event->position();
    }
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

// The widget pressed keeps the pointer for the whole drag, as the window
// system's grab does, even over a neighbour; positions arrive in its own
// coordinates.
TEST(CanvasInputPointer, PressedWidgetKeepsTheDrag)
{
    QWidget window;
    window.resize(300, 100);
    auto* left = new PointerLog(&window);
    left->setGeometry(0, 0, 150, 100);
    auto* right = new PointerLog(&window);
    right->setGeometry(150, 0, 150, 100);
    window.show();

    SyntheticInput::drag(&window, QPointF(20, 50), QPointF(250, 60), 4);
    EXPECT_EQ(left->presses, 1);
    EXPECT_EQ(left->moves, 4);
    EXPECT_EQ(left->releases, 1);
    EXPECT_EQ(left->lastMove, QPointF(250, 60));
    EXPECT_EQ(right->presses + right->moves + right->releases, 0);

    // A click on the right one reaches it only.
    SyntheticInput::click(&window, QPointF(200, 20));
    EXPECT_EQ(right->presses, 1);
    EXPECT_EQ(right->releases, 1);
    EXPECT_EQ(left->presses, 1);
}

TEST(FixturePictureLines, BoxesHoldTheirInkAndDoNotOverlap)
{
    const FixturePicture picture = FixturePicture::textLines(
        QSize(600, 240),
        {QStringLiteral("ORIGINAL PRIVATE 4832"), QStringLiteral("PUBLIC BASE ABCD")},
        QPoint(40, 40), 32, 30);
    ASSERT_EQ(picture.lines.size(), 2);
    // A span is the part of its line's box that its characters take.
    const QRect code = picture.span(0, 9, 7);
    EXPECT_TRUE(picture.lines[0].contains(code));
    EXPECT_GT(code.left(), picture.lines[0].left());
    EXPECT_LT(code.right(), picture.lines[0].right());
    EXPECT_FALSE(picture.lines[0].intersects(picture.lines[1]));
    const QImage image = picture.image.convertToFormat(QImage::Format_ARGB32);
    for (const QRect& box : picture.lines) {
        EXPECT_TRUE(image.rect().contains(box));
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    ink += box.contains(x, y) ? 1 : 0;
        EXPECT_GT(ink, 200);
    }
    int outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128 && !picture.lines[0].contains(x, y)
                && !picture.lines[1].contains(x, y))
                ++outside;
    EXPECT_EQ(outside, 0);
}

} // namespace
} // namespace kelpie::test
