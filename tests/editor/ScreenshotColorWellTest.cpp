#include "editor/ScreenshotColorWell.h"

#include "editor/WindowLevel.h"

#include <QColorDialog>

#include <gtest/gtest.h>

#include <memory>

using namespace kelpie;

namespace {

struct Host {
    explicit Host(int level, QWidget* parent = nullptr)
        : window(std::make_unique<QWidget>(parent, parent ? Qt::Tool : Qt::Window))
    {
        window->setAttribute(Qt::WA_DontShowOnScreen);
        WindowLevel::set(window.get(), level);
        well = new ScreenshotColorWell(window.get());
    }
    std::unique_ptr<QWidget> window;
    ScreenshotColorWell* well;
};

QColorDialog* panel() { return ScreenshotColorWell::sharedColorPanel(); }

void resetPanel()
{
    panel()->setAttribute(Qt::WA_DontShowOnScreen);
    panel()->hide();
    WindowLevel::set(panel(), WindowLevel::normal);
}

} // namespace

TEST(ScreenshotColorWell, PanelFloatsAboveTheScreenshotEditorAndReturnsWhenItCloses)
{
    resetPanel();
    Host editor(WindowLevel::screenSaver);
    editor.well->activate();
    EXPECT_TRUE(editor.well->isActive());
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(WindowLevel::of(panel()), 1001);
    EXPECT_EQ(editor.well->previousLevel(), WindowLevel::normal);
    // Activating again does not forget the level of before.
    editor.well->activate();
    EXPECT_EQ(editor.well->previousLevel(), WindowLevel::normal);

    editor.well->suspend();
    EXPECT_FALSE(editor.well->isActive());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(WindowLevel::of(panel()), WindowLevel::normal);
    EXPECT_FALSE(editor.well->previousLevel());
}

TEST(ScreenshotColorWell, OnlyCoveringOrChildWindowsRaiseThePanel)
{
    resetPanel();
    Host plain(WindowLevel::normal);
    plain.well->activate();
    EXPECT_EQ(WindowLevel::of(panel()), WindowLevel::normal);
    EXPECT_FALSE(plain.well->previousLevel());

    // A pin's panel: a floating window that is the child of another.
    Host pin(WindowLevel::floating);
    Host pinPanel(WindowLevel::floating, pin.window.get());
    pinPanel.well->activate();
    EXPECT_FALSE(plain.well->isActive());
    EXPECT_EQ(WindowLevel::of(panel()), WindowLevel::floating + 1);

    // The choice reaches the active well only.
    panel()->setCurrentColor(QColor(10, 200, 30));
    EXPECT_EQ(pinPanel.well->color(), QColor(10, 200, 30));
    EXPECT_NE(plain.well->color(), QColor(10, 200, 30));
    pinPanel.well->deactivate();
    EXPECT_EQ(WindowLevel::of(panel()), WindowLevel::normal);
}

TEST(ScreenshotColorWell, AWellThatGoesAwayGivesThePanelItsLevelBack)
{
    resetPanel();
    {
        Host editor(WindowLevel::screenSaver);
        editor.well->activate();
        ASSERT_EQ(WindowLevel::of(panel()), 1001);
    }
    EXPECT_EQ(WindowLevel::of(panel()), WindowLevel::normal);
    EXPECT_FALSE(panel()->isVisible());
    // A colour chosen afterwards reaches no destroyed well.
    panel()->setCurrentColor(QColor(1, 2, 3));
}
