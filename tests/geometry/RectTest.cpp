#include "geometry/Rect.h"

#include <gtest/gtest.h>

#include <limits>

using kelpie::Point;
using kelpie::Rect;

TEST(Rect, DerivedValuesReadTheStandardisedForm)
{
    const Rect flipped(110, 60, -100, -50);
    EXPECT_EQ(flipped.minX(), 10);
    EXPECT_EQ(flipped.maxX(), 110);
    EXPECT_EQ(flipped.minY(), 10);
    EXPECT_EQ(flipped.maxY(), 60);
    EXPECT_EQ(flipped.width(), 100);
    EXPECT_EQ(flipped.height(), 50);
    EXPECT_EQ(flipped.standardized(), Rect(10, 10, 100, 50));
}

TEST(Rect, IntersectionDistinguishesGapsFromTouchingEdges)
{
    const Rect a(0, 0, 10, 10);
    EXPECT_EQ(a.intersected(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));

    const Rect touching = a.intersected(Rect(10, 0, 10, 10));
    EXPECT_FALSE(touching.isNull());
    EXPECT_TRUE(touching.isEmpty());
    EXPECT_EQ(touching, Rect(10, 0, 0, 10));
    EXPECT_FALSE(a.intersects(Rect(10, 0, 10, 10)));

    const Rect apart = a.intersected(Rect(11, 0, 10, 10));
    EXPECT_TRUE(apart.isNull());
    EXPECT_TRUE(apart.isEmpty());
    EXPECT_TRUE(Rect::null().intersected(a).isNull());
    // A negative size is standardised before intersecting.
    EXPECT_EQ(a.intersected(Rect(15, 15, -10, -10)), Rect(5, 5, 5, 5));
}

TEST(Rect, ContainmentExcludesTheMaximumEdges)
{
    const Rect r(0, 0, 10, 10);
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_TRUE(r.contains(Point{9.999, 9.999}));
    EXPECT_FALSE(r.contains(Point{10, 5}));
    EXPECT_FALSE(r.contains(Point{5, 10}));
    EXPECT_FALSE(Rect(5, 5, 0, 10).contains(Point{5, 6}));
    EXPECT_FALSE(Rect::null().contains(Point{0, 0}));
    EXPECT_TRUE(r.contains(Rect(0, 0, 10, 10)));
    EXPECT_FALSE(r.contains(Rect(1, 1, 10, 1)));
}

TEST(Rect, IntegralRoundsOutward)
{
    EXPECT_EQ(Rect(0.5, 1.2, 2.0, 3.9).integral(), Rect(0, 1, 3, 5));
    EXPECT_EQ(Rect(-0.5, -1.5, 1, 1).integral(), Rect(-1, -2, 2, 2));
    EXPECT_EQ(Rect(3, 4, -2.5, 1).integral(), Rect(0, 4, 3, 1));
    EXPECT_TRUE(Rect::null().integral().isNull());
}

TEST(Rect, UnionInsetAndOffset)
{
    EXPECT_EQ(Rect(0, 0, 1, 1).united(Rect(5, 5, 1, 1)), Rect(0, 0, 6, 6));
    EXPECT_EQ(Rect::null().united(Rect(2, 3, -1, 1)), Rect(1, 3, 1, 1));
    EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(2, 3), Rect(2, 3, 6, 4));
    EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(-1, -1), Rect(-1, -1, 12, 12));
    EXPECT_TRUE(Rect(0, 0, 2, 2).insetBy(2, 0).isEmpty());
    EXPECT_TRUE(Rect(0, 0, 2, 2).insetBy(3, 0).isNull());
    EXPECT_EQ(Rect(1, 1, 2, 2).offsetBy(-1, 4), Rect(0, 5, 2, 2));
}

TEST(Rect, FinitenessCoversEveryComponent)
{
    EXPECT_TRUE(Rect(0, 0, 1, 1).isFinite());
    EXPECT_FALSE(Rect(0, 0, std::numeric_limits<double>::quiet_NaN(), 1).isFinite());
    EXPECT_FALSE(Rect::null().isFinite());
}
