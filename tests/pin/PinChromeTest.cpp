#include "pin/PinChrome.h"

#include "editor/FloatingControls.h"
#include "pin/PinPanel.h"
#include "pin/PinSurface.h"
#include "tests/pin/FakeDelayScheduler.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace kelpie;
using namespace std::chrono_literals;

namespace {

// A pin window with its surface, two primary rows and two secondary rows,
// on Qt's offscreen platform. Frames are Qt's (y down).
class PinChromeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pin.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool);
        auto* fill = new QVBoxLayout(&pin);
        fill->setContentsMargins(0, 0, 0, 0);
        root = new PinSurface(&pin);
        fill->addWidget(root);
        for (QLabel*& row : rows)
            row = new QLabel(QStringLiteral("row"), &pin);
        rows[0]->setFixedSize(280, 28);
        rows[2]->setFixedSize(200, 22);
        rows[3]->setFixedSize(120, 16);
        screen = QGuiApplication::primaryScreen()->availableGeometry();
        pin.setGeometry(screen.x() + 200, screen.y() + 200, 300, 200);
        chrome = std::make_unique<PinChrome>(&pin, root, std::vector<QWidget*>{rows[0], rows[1]},
                                             std::vector<QWidget*>{rows[2], rows[3]}, clock);
        primaryPanel = chrome->primary();
        secondaryPanel = chrome->secondary();
        ASSERT_NE(primaryPanel, nullptr);
        ASSERT_NE(secondaryPanel, nullptr);
        pin.show();
    }

    void TearDown() override
    {
        chrome.reset();
        QApplication::setActiveWindow(nullptr);
    }

    void hover(PinSurface* surface, bool inside)
    {
        if (inside) {
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QApplication::sendEvent(surface, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(surface, &leave);
        }
    }

    QWidget pin;
    PinSurface* root = nullptr;
    QLabel* rows[4] = {};
    QRect screen;
    std::shared_ptr<test::FakeDelayScheduler> clock = std::make_shared<test::FakeDelayScheduler>();
    std::unique_ptr<PinChrome> chrome;
    // The chrome's panels, read once: they live as long as the chrome.
    PinPanel* primaryPanel = nullptr;
    PinPanel* secondaryPanel = nullptr;
};

} // namespace

TEST_F(PinChromeTest, PanelsAreFloatingToolWindowsOfThePinThatShowWithoutTakingTheKeyboard)
{
    for (PinPanel* panel : {primaryPanel, secondaryPanel}) {
        EXPECT_TRUE(panel->isWindow());
        EXPECT_EQ(panel->parentWidget(), &pin) << "kept above the pin, as its transient";
        EXPECT_EQ(panel->windowType(), Qt::Tool);
        EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_TRUE(panel->surface()->paintsBackground());
        EXPECT_EQ(panel->surface()->cornerRadius(), 20);
    }
    EXPECT_FALSE(primaryPanel->acceptsKey());
    EXPECT_TRUE(primaryPanel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(secondaryPanel->acceptsKey());
    EXPECT_FALSE(secondaryPanel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_EQ(rows[0]->window(), primaryPanel);
    EXPECT_EQ(rows[3]->window(), secondaryPanel);
}

TEST_F(PinChromeTest, HoverShowsThePanelsNextToThePinAndTheyFollowItsMoves)
{
    chrome->layout(false);
    EXPECT_FALSE(primaryPanel->isVisible()) << "neither key nor hovered";
    hover(root, true);
    ASSERT_TRUE(primaryPanel->isVisible());
    ASSERT_TRUE(secondaryPanel->isVisible());

    // Right-aligned 4 points above the pin; left-aligned 8 points below it.
    const QRect primary = primaryPanel->geometry();
    EXPECT_EQ(primary.right(), pin.geometry().right());
    EXPECT_EQ(primary.bottom() + 1 + 4, pin.geometry().top());
    EXPECT_EQ(primary.size(), chrome->primaryContent()->panelSize(10000).toSize());
    const QRect secondary = secondaryPanel->geometry();
    EXPECT_EQ(secondary.left(), pin.geometry().left());
    EXPECT_EQ(secondary.top(), pin.geometry().bottom() + 1 + 8);
    EXPECT_EQ(chrome->secondaryContent()->geometry(), secondaryPanel->rect());

    pin.move(pin.pos() + QPoint(30, 40));
    chrome->layout(false);
    EXPECT_EQ(primaryPanel->geometry(), primary.translated(30, 40));
    EXPECT_EQ(secondaryPanel->geometry(), secondary.translated(30, 40));

    // Leaving the pin for the panel across the gap keeps them.
    hover(root, false);
    clock->advance(120ms);
    hover(primaryPanel->surface(), true);
    clock->advance(500ms);
    EXPECT_TRUE(primaryPanel->isVisible());
    hover(primaryPanel->surface(), false);
    clock->advance(180ms);
    EXPECT_FALSE(primaryPanel->isVisible());
    EXPECT_FALSE(secondaryPanel->isVisible());
}

TEST_F(PinChromeTest, PinAtTheTopOfTheScreenHasItsPrimaryPanelInsideItsTopEdge)
{
    pin.move(pin.x(), screen.y());
    chrome->layout(false);
    EXPECT_EQ(primaryPanel->geometry().top(), pin.geometry().top() + 6);
}

TEST_F(PinChromeTest, SecondaryPanelWithEveryRowHiddenIsOrderedOutAndNotLaidOut)
{
    hover(root, true);
    chrome->layout(false);
    ASSERT_TRUE(secondaryPanel->isVisible());
    rows[2]->hide();
    rows[3]->hide();
    const QRect before = secondaryPanel->geometry();
    pin.move(pin.pos() + QPoint(10, 10));
    chrome->layout(false);
    EXPECT_FALSE(chrome->hasSecondary());
    EXPECT_FALSE(secondaryPanel->isVisible());
    EXPECT_TRUE(primaryPanel->isVisible());
    EXPECT_EQ(secondaryPanel->geometry(), before);

    rows[3]->show();
    chrome->layout(false);
    EXPECT_TRUE(secondaryPanel->isVisible());
}

TEST_F(PinChromeTest, KeyPinShowsTheChromeAndNothingShowsAfterClose)
{
    chrome->layout(false);
    QApplication::setActiveWindow(&pin);
    chrome->refreshVisibility();
    EXPECT_TRUE(primaryPanel->isVisible());

    chrome->close();
    EXPECT_FALSE(primaryPanel->isVisible());
    EXPECT_FALSE(secondaryPanel->isVisible());
    hover(root, true);
    hover(primaryPanel->surface(), true);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(&pin);
    chrome->refreshVisibility();
    chrome->layout(true);
    clock->advance(1000ms);
    EXPECT_FALSE(primaryPanel->isVisible());
    EXPECT_FALSE(secondaryPanel->isVisible());
    EXPECT_FALSE(root->onHover) << "the pin's surface is no longer observed";
}

TEST_F(PinChromeTest, GoingAwayGivesTheRowsBackToThePin)
{
    chrome.reset();
    for (QLabel* row : rows)
        EXPECT_EQ(row->window(), &pin);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rows[0]->text(), QStringLiteral("row"));
}

TEST(PinChromeParent, PanelsDieWithAPinWindowThatGoesFirst)
{
    auto pin = std::make_unique<QWidget>();
    auto* root = new PinSurface(pin.get());
    auto* row = new QLabel(QStringLiteral("row"), pin.get());
    PinChrome chrome(pin.get(), root, {row}, {}, std::make_shared<test::FakeDelayScheduler>());
    pin.reset();
    EXPECT_FALSE(chrome.primary());
    chrome.layout(false);
    chrome.refreshVisibility();
    EXPECT_FALSE(chrome.state().shouldShow());
}
