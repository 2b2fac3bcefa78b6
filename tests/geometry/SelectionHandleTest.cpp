#include "geometry/SelectionHandle.h"

#include <gtest/gtest.h>

using kelpie::Point;
using kelpie::Rect;
using kelpie::SelectionHandle;
using kelpie::Size;

TEST(SelectionHandle, CasesRunCounterClockwiseFromBottomLeft)
{
    const Rect r(10, 20, 100, 50);
    const Point expected[]
        = {{10, 20}, {60, 20}, {110, 20}, {110, 45}, {110, 70}, {60, 70}, {10, 70}, {10, 45}};
    const auto cases = SelectionHandle::allCases();
    ASSERT_EQ(cases.size(), 8u);
    EXPECT_EQ(cases.front(), SelectionHandle::bottomLeft);
    EXPECT_EQ(cases.back(), SelectionHandle::left);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(cases[i].point(r), expected[i]) << "case " << i;
    EXPECT_EQ(SelectionHandle(SelectionHandle::top).axes(), (SelectionHandle::Axes{0.5, 1}));
}

TEST(SelectionHandle, CornerClampsBothMovingEdgesToTheCanvas)
{
    EXPECT_EQ(SelectionHandle(SelectionHandle::topRight)
                  .resize(Rect(10, 10, 100, 50), {200, 300}, {150, 100}, {1, 1}),
              Rect(10, 10, 140, 90));
}

TEST(SelectionHandle, DraggingPastTheOppositeEdgeFlips)
{
    EXPECT_EQ(SelectionHandle(SelectionHandle::left)
                  .resize(Rect(10, 10, 100, 50), {500, 20}, {150, 100}, {1, 1}),
              Rect(110, 10, 40, 50));
}

TEST(SelectionHandle, MinimumGoesBelowTheFixedEdgeWhenThePointerIsBelow)
{
    EXPECT_EQ(SelectionHandle(SelectionHandle::bottomLeft)
                  .resize(Rect(10, 10, 100, 50), {109.7, 60}, {150, 100}, {1, 1}),
              Rect(109, 59, 1, 1));
}

TEST(SelectionHandle, MinimumGoesAboveTheFixedEdgeWhenThePointerIsAbove)
{
    EXPECT_EQ(SelectionHandle(SelectionHandle::bottom)
                  .resize(Rect(10, 50, 100, 50), {20, 99.5}, {150, 100}, {10, 10}),
              Rect(10, 90, 100, 10));
}

TEST(SelectionHandle, MinimumFallsBackBelowWhenTheCanvasEndsTooSoon)
{
    const Rect result = SelectionHandle(SelectionHandle::top)
                            .resize(Rect(0, 95, 50, 4), {20, 96}, {100, 100}, {10, 10});
    EXPECT_EQ(result.minY(), 85);
    EXPECT_EQ(result.maxY(), 95);
    EXPECT_EQ(result.minX(), 0);
    EXPECT_EQ(result.maxX(), 50);
}

TEST(SelectionHandle, MinimumLargerThanTheCanvasShrinksToTheCanvas)
{
    const Rect result = SelectionHandle(SelectionHandle::right)
                            .resize(Rect(2, 0, 3, 5), {2.5, 0}, {8, 5}, {20, 20});
    EXPECT_EQ(result, Rect(0, 0, 2, 5));
}

TEST(SelectionHandle, EdgeHandlesLeaveTheOtherAxisAlone)
{
    const Rect start(10, 10, 100, 50);
    for (const SelectionHandle handle : SelectionHandle::allCases()) {
        const auto axes = handle.axes();
        const Rect result = handle.resize(start, {-40, 500}, {150, 100}, {1, 1});
        if (axes.x == 0.5) {
            EXPECT_EQ(result.minX(), start.minX());
            EXPECT_EQ(result.maxX(), start.maxX());
        }
        if (axes.y == 0.5) {
            EXPECT_EQ(result.minY(), start.minY());
            EXPECT_EQ(result.maxY(), start.maxY());
        }
        EXPECT_TRUE(Rect(0, 0, 150, 100).contains(result));
    }
}
