#include "editor/LiveTextOverlay.h"

#include "LiveTextFixture.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

// Stands in for the annotation canvas: white, and remembers the pointer
// events that reach it.
class CanvasStandIn : public QWidget {
public:
    CanvasStandIn() { resize(400, 300); }

    int presses = 0;
    int doubleClicks = 0;
    int releases = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseDoubleClickEvent(QMouseEvent*) override { ++doubleClicks; }
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

// Collects the areas the overlay repaints.
class PaintLog : public QObject {
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

class LiveTextOverlayTest : public testing::Test {
protected:
    void SetUp() override
    {
        QPalette palette = overlay->palette();
        palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0, 0, 255));
        overlay->setPalette(palette);
        // The image, 200 × 150 pixels, is shown at twice its size.
        overlay->setAnalysis(test::recognisedLines({QStringLiteral("Copy to clipboard"),
                                                    QStringLiteral("Pin image above"),
                                                    QStringLiteral("今天下午三点半")}),
                             QSize(200, 150));
    }

    // The middle of character `index` of line `line`, in overlay points.
    static QPointF at(int line, double index)
    {
        return {2 * (10 + 10 * index + 5), 2 * (10 + 30.0 * line + 10)};
    }

    void send(QEvent::Type type, QPointF point, ulong time, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons buttons
            = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
            ? Qt::NoButton
            : Qt::MouseButtons(button);
        QMouseEvent event(type, point, overlay->mapToGlobal(point),
                          type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                          Qt::NoModifier);
        event.setTimestamp(time);
        QApplication::sendEvent(overlay, &event);
    }

    void click(QPointF point, ulong time)
    {
        send(QEvent::MouseButtonPress, point, time);
        send(QEvent::MouseButtonRelease, point, time + 10);
    }

    CanvasStandIn canvas;
    LiveTextOverlay* overlay = new LiveTextOverlay(&canvas);
};

TEST_F(LiveTextOverlayTest, CoversTheCanvasAndFollowsItsContentsRectangle)
{
    EXPECT_EQ(overlay->geometry(), canvas.rect());
    canvas.show();
    canvas.resize(640, 480);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 640, 480));

    // Zoomed to one image pixel per point, 50 points in from the left.
    overlay->contentsRect = [] { return QRectF(50, 25, 200, 150); };
    overlay->setContentsRectNeedsUpdate();
    EXPECT_TRUE(overlay->analysisHasText({50 + 15, 25 + 20}));
    EXPECT_FALSE(overlay->analysisHasText({15, 20}));
    EXPECT_EQ(overlay->imagePoint({50 + 15, 25 + 20}), QPointF(15, 20));
    EXPECT_EQ(overlay->widgetRect(Rect(10, 10, 20, 20)), QRectF(60, 35, 20, 20));
}

TEST_F(LiveTextOverlayTest, DragSelectsInReadingOrderAndKeepsThePointer)
{
    int changes = 0;
    QObject::connect(overlay, &LiveTextOverlay::textSelectionChanged, [&] { ++changes; });
    send(QEvent::MouseButtonPress, at(0, 4.6), 1000); // before "to"
    send(QEvent::MouseMove, at(1, 2.2), 1020);
    send(QEvent::MouseMove, at(2, 1.6), 1040); // after "今天"
    send(QEvent::MouseButtonRelease, at(2, 1.6), 1060);
    EXPECT_EQ(overlay->selectedText(), QStringLiteral("to clipboard\nPin image above\n今天"));
    EXPECT_TRUE(overlay->hasActiveTextSelection());
    EXPECT_GE(changes, 2);
    EXPECT_EQ(canvas.presses + canvas.releases, 0) << "the canvas saw the selection's events";
}

TEST_F(LiveTextOverlayTest, DoubleAndTripleClicksTakeWordAndLine)
{
    click(at(0, 10), 1000);
    send(QEvent::MouseButtonPress, at(0, 10), 1100);
    send(QEvent::MouseButtonDblClick, at(0, 10), 1100);
    send(QEvent::MouseButtonRelease, at(0, 10), 1110);
    EXPECT_EQ(overlay->selectedText(), QStringLiteral("clipboard"));
    click(at(0, 10), 1200);
    EXPECT_EQ(overlay->selectedText(), QStringLiteral("Copy to clipboard"));
    EXPECT_EQ(canvas.doubleClicks, 0);

    // Long after, a click starts over with a caret.
    click(at(0, 10), 9000);
    EXPECT_FALSE(overlay->hasActiveTextSelection());
}

TEST_F(LiveTextOverlayTest, PressesAwayFromTextGoToTheCanvasAndEndTheSelection)
{
    overlay->setSelectedRanges({{0, 4}});
    // A right press, on the selection or not, keeps it for the menu.
    send(QEvent::MouseButtonPress, at(0, 1), 500, Qt::RightButton);
    send(QEvent::MouseButtonPress, {380, 280}, 600, Qt::RightButton);
    EXPECT_EQ(overlay->selectedText(), QStringLiteral("Copy"));
    EXPECT_EQ(canvas.presses, 2);
    canvas.presses = 0;

    click({380, 280}, 1000);
    EXPECT_EQ(canvas.presses, 1);
    EXPECT_EQ(canvas.releases, 1);
    EXPECT_FALSE(overlay->hasActiveTextSelection());

    // The window may refuse a selection over text (an object lies there).
    overlay->shouldBegin = [](QPointF) { return false; };
    click(at(1, 2), 5000);
    EXPECT_EQ(canvas.presses, 2);
    EXPECT_FALSE(overlay->hasActiveTextSelection());
}

TEST_F(LiveTextOverlayTest, IBeamOnlyOverText)
{
    send(QEvent::MouseMove, at(1, 3), 1000);
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(overlay->cursor().shape(), Qt::IBeamCursor);
    send(QEvent::MouseMove, {390, 290}, 1010);
    EXPECT_FALSE(overlay->testAttribute(Qt::WA_SetCursor)) << "the canvas's cursor shows through";
}

TEST_F(LiveTextOverlayTest, SelectionIsPaintedInTheHighlightColour)
{
    overlay->setSelectedRanges({{0, 4}}); // "Copy"
    const QImage shown = canvas.grab().toImage();
    const QColor selected = shown.pixelColor(at(0, 1).toPoint());
    const QColor plain = shown.pixelColor(at(0, 10).toPoint());
    // Pure blue over white at 0.15 × 2.6 = 0.39 opacity: the text under it
    // shows through, and the tint is strong enough to see.
    EXPECT_EQ(selected.blue(), 255);
    EXPECT_NEAR(selected.red(), 255 * (1 - 0.39), 3);
    EXPECT_EQ(plain, QColor(Qt::white));
}

TEST_F(LiveTextOverlayTest, ADragStepRepaintsOnlyTheLineThatChanged)
{
    canvas.show();
    QApplication::processEvents();
    send(QEvent::MouseButtonPress, at(0, 1), 1000);
    send(QEvent::MouseMove, at(2, 2), 1020);
    QApplication::processEvents();

    PaintLog log;
    overlay->installEventFilter(&log);
    send(QEvent::MouseMove, at(2, 4), 1040);
    QApplication::processEvents();
    ASSERT_FALSE(log.painted.isEmpty());
    const QRect bounds = log.painted.boundingRect();
    EXPECT_GE(bounds.top(), 2 * 70 - 2) << "lines above the moved end were repainted";
    EXPECT_LE(bounds.bottom(), 2 * 90 + 2);
    send(QEvent::MouseButtonRelease, at(2, 4), 1060);
}

TEST_F(LiveTextOverlayTest, ANewAnalysisClearsTheSelectionAndSaysSo)
{
    overlay->setSelectedRanges({{0, 4}});
    int changes = 0;
    QObject::connect(overlay, &LiveTextOverlay::textSelectionChanged, [&] { ++changes; });
    overlay->setAnalysis(nullptr, {});
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(overlay->text().isEmpty());
    EXPECT_FALSE(overlay->analysisHasText(at(0, 1)));
    click(at(0, 1), 1000);
    EXPECT_EQ(canvas.presses, 1);
}

} // namespace
