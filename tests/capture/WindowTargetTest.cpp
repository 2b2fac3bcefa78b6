#include "capture/WindowTarget.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using kelpie::Point;
using kelpie::Rect;
using kelpie::WindowTarget;

TEST(WindowTarget, EditorRectOnASecondDisplay)
{
    // Primary 1440 × 900 at the origin; the second display sits to its right
    // and 180 points lower in global desktop space.
    const Rect second(1440, -180, 1920, 1080);
    EXPECT_EQ(WindowTarget::editorRect(Rect(1540, 300, 800, 600), second, 900),
              Rect(100, 180, 800, 600));
}

TEST(WindowTarget, AWindowOverTheEdgeIsClippedOnlyByLocalRect)
{
    const Rect screen(0, 0, 1440, 900);
    // 200 points hang off the left edge, 100 off the top.
    const Rect quartz(-200, -100, 600, 400);
    EXPECT_EQ(WindowTarget::editorRect(quartz, screen, 900), Rect(-200, 600, 600, 400));
    EXPECT_EQ(WindowTarget::localRect(quartz, screen, 900), Rect(0, 600, 400, 300));
}

TEST(WindowTarget, WindowsOfOtherDisplaysAndBadFramesGiveNothing)
{
    const Rect primary(0, 0, 1440, 900);
    EXPECT_FALSE(WindowTarget::localRect(Rect(1540, 300, 800, 600), primary, 900));
    EXPECT_FALSE(WindowTarget::localRect(Rect(1440, 0, 100, 100), primary, 900))
        << "sharing only an edge is not meeting the display";
    EXPECT_FALSE(WindowTarget::editorRect(Rect(10, 10, 0, 100), primary, 900));
    EXPECT_FALSE(WindowTarget::editorRect(Rect(10, 10, 100, 100), Rect(0, 0, 0, 900), 900));
    EXPECT_FALSE(WindowTarget::editorRect(Rect(10, 10, 100, 100), primary,
                                          std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(WindowTarget::editorRect(
        Rect(std::numeric_limits<double>::infinity(), 10, 100, 100), primary, 900));
}

TEST(WindowTarget, HitTakesTheFrontMostNonEmptyTarget)
{
    const std::vector<WindowTarget> targets{
        {1, 100, Rect(50, 50, 0, 100)},   // empty: never hit
        {2, 100, Rect(0, 0, 100, 100)},   // front
        {3, 200, Rect(50, 50, 100, 100)}, // behind, overlapping
    };
    EXPECT_EQ(WindowTarget::hit(Point{60, 60}, targets)->id, 2u);
    EXPECT_EQ(WindowTarget::hit(Point{120, 120}, targets)->id, 3u);
    EXPECT_EQ(WindowTarget::hit(Point{100, 20}, targets), std::nullopt) << "max edge is outside";
    EXPECT_EQ(WindowTarget::hit(Point{10, 10}, {}), std::nullopt);
}

TEST(WindowTarget, EqualityComparesEveryField)
{
    const WindowTarget a{7, 42, Rect(1, 2, 3, 4)};
    EXPECT_EQ(a, (WindowTarget{7, 42, Rect(1, 2, 3, 4)}));
    EXPECT_NE(a, (WindowTarget{8, 42, Rect(1, 2, 3, 4)}));
    EXPECT_NE(a, (WindowTarget{7, 43, Rect(1, 2, 3, 4)}));
    EXPECT_NE(a, (WindowTarget{7, 42, Rect(1, 2, 3, 5)}));
}
