#include "annotation/AnnotationObject.h"

#include "FakeTextMeasurer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kelpie;

namespace {

AnnotationStyle styleWithWidth(double width)
{
    AnnotationStyle s;
    s.width = width;
    return s;
}

AnnotationObject make(AnnotationTool tool, Point start, Point end, double width = 4)
{
    return AnnotationObject(tool, styleWithWidth(width), start, end);
}

AnnotationObject curvedArrow(Point start, Point end, double width)
{
    AnnotationObject arrow = make(AnnotationTool::arrow, start, end, width);
    arrow.style.curvedArrow = true;
    arrow.applyPresetCurve(std::nullopt);
    return arrow;
}

void expectPointNear(Point actual, Point expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
}

} // namespace

TEST(AnnotationObject, InitialValuesAndIdentity)
{
    const AnnotationObject a = make(AnnotationTool::rectangle, {1, 2}, {3, 4});
    EXPECT_FALSE(a.id().isNull());
    EXPECT_EQ(a.tool(), AnnotationTool::rectangle);
    EXPECT_FALSE(a.curveControl);
    EXPECT_TRUE(a.points.isEmpty());
    EXPECT_TRUE(a.text.isEmpty());
    EXPECT_EQ(a.textLayoutWidth, 360);

    // Same fields, different identity: not equal.
    const AnnotationObject b = make(AnnotationTool::rectangle, {1, 2}, {3, 4});
    EXPECT_NE(a.id(), b.id());
    EXPECT_NE(a, b);
    const AnnotationObject sameId(AnnotationTool::rectangle, a.style, a.start, a.end, {}, 0, {},
                                  360, a.id());
    EXPECT_EQ(a, sameId);
    AnnotationObject changed = sameId;
    changed.textLayoutWidth = 200;
    EXPECT_NE(a, changed);
}

TEST(AnnotationObject, CurvePresetBowsToTheLeftOfTheDirection)
{
    // The worked example: length 100, width 6 gives a bend of 26.
    const AnnotationObject arrow = curvedArrow({0, 0}, {100, 0}, 6);
    ASSERT_TRUE(arrow.curveControl);
    expectPointNear(*arrow.curveControl, {50, 26});

    // A thin arrow bends by at most 16 widths.
    expectPointNear(*curvedArrow({0, 0}, {100, 0}, 1).curveControl, {50, 16});
    // Pointing down (y up), the left-hand normal points to +x.
    expectPointNear(*curvedArrow({0, 100}, {0, 0}, 6).curveControl, {26, 50});

    // An image size keeps the control point inside the image.
    AnnotationObject clamped = make(AnnotationTool::arrow, {0, 0}, {100, 0}, 6);
    clamped.style.curvedArrow = true;
    clamped.applyPresetCurve(Size{100, 20});
    expectPointNear(*clamped.curveControl, {50, 20});
}

TEST(AnnotationObject, CurvePresetRemovesTheControlWhenNotWanted)
{
    for (std::optional<bool> wanted : {std::optional<bool>(), std::optional<bool>(false)}) {
        AnnotationObject arrow = make(AnnotationTool::arrow, {0, 0}, {100, 0}, 6);
        arrow.curveControl = Point{1, 1};
        arrow.style.curvedArrow = wanted;
        arrow.applyPresetCurve(std::nullopt);
        EXPECT_FALSE(arrow.curveControl);
    }
    AnnotationObject zeroLength = make(AnnotationTool::arrow, {5, 5}, {5, 5}, 6);
    zeroLength.style.curvedArrow = true;
    zeroLength.curveControl = Point{1, 1};
    zeroLength.applyPresetCurve(std::nullopt);
    EXPECT_FALSE(zeroLength.curveControl);
}

TEST(AnnotationObject, StrokePathAndArrowPoints)
{
    const AnnotationObject straight = make(AnnotationTool::arrow, {0, 0}, {10, 20});
    EXPECT_EQ(straight.strokePath(),
              (AnnotationObject::StrokePath{{0, 0}, std::nullopt, {10, 20}}));
    expectPointNear(straight.arrowPoint(0.25), {2.5, 5});
    expectPointNear(straight.arrowMidpoint(), {5, 10});

    const AnnotationObject curved = curvedArrow({0, 0}, {100, 0}, 6);
    EXPECT_EQ(curved.strokePath().control, curved.curveControl);
    expectPointNear(curved.arrowPoint(0), {0, 0});
    expectPointNear(curved.arrowPoint(1), {100, 0});
    expectPointNear(curved.arrowMidpoint(), {50, 13});

    // Only arrows bend: a line ignores a stray control point.
    AnnotationObject line = make(AnnotationTool::line, {0, 0}, {10, 0});
    line.curveControl = Point{5, 50};
    EXPECT_FALSE(line.strokePath().control);
    EXPECT_EQ(line.bounds(), Rect(0, 0, 10, 1));
}

TEST(AnnotationObject, CurveBoundsFollowTheCurveNotItsControlPolygon)
{
    const AnnotationObject curved = curvedArrow({0, 0}, {100, 0}, 6);
    const Rect box = curved.bounds();
    EXPECT_DOUBLE_EQ(box.minY(), 0);
    EXPECT_DOUBLE_EQ(box.height(), 13);
    EXPECT_DOUBLE_EQ(box.width(), 100);

    // An overshooting control point: the curve reaches beyond both ends in x.
    AnnotationObject hook = make(AnnotationTool::arrow, {0, 0}, {0, 10});
    hook.curveControl = Point{40, 5};
    const Rect hookBox = hook.strokePath().boundingBox();
    EXPECT_DOUBLE_EQ(hookBox.maxX(), 20);
    EXPECT_DOUBLE_EQ(hookBox.height(), 10);
}

TEST(AnnotationObject, ArrowHeadLength)
{
    // Capped by the stroke width: min(0.7 × 100.84, max(18, 12)) = 18.
    EXPECT_DOUBLE_EQ(curvedArrow({0, 0}, {100, 0}, 6).arrowHeadLength(), 18);

    // Short and thick, so the box decides. The curve rises 20, half of what
    // its control polygon does.
    AnnotationObject arrow = make(AnnotationTool::arrow, {0, 0}, {40, 0}, 20);
    arrow.curveControl = Point{20, 40};
    EXPECT_NEAR(arrow.arrowHeadLength(), 0.7 * std::hypot(40, 20), 1e-9);
    arrow.style.arrowHead = ArrowHead::double_;
    EXPECT_NEAR(arrow.arrowHeadLength(), 0.45 * std::hypot(40, 20), 1e-9);

    // Thin arrows still get a 12-pixel head.
    EXPECT_DOUBLE_EQ(make(AnnotationTool::arrow, {0, 0}, {300, 0}, 1).arrowHeadLength(), 12);
    EXPECT_EQ(make(AnnotationTool::arrow, {7, 7}, {7, 7}, 6).arrowHeadLength(), 0);
}

TEST(AnnotationObject, BoundsAreAtLeastOnePixel)
{
    EXPECT_EQ(make(AnnotationTool::line, {5, 7}, {5, 7}).bounds(), Rect(5, 7, 1, 1));
    EXPECT_EQ(make(AnnotationTool::rectangle, {30, 40}, {10, 0}).bounds(), Rect(10, 0, 20, 40));
    EXPECT_EQ(make(AnnotationTool::line, {0, 3}, {50, 3}).bounds(), Rect(0, 3, 50, 1));

    // A path decides the bounds over start and end.
    AnnotationObject pen = make(AnnotationTool::pen, {0, 0}, {1000, 1000});
    pen.points = {{10, 10}, {30, 5}, {20, 40}};
    EXPECT_EQ(pen.bounds(), Rect(10, 5, 20, 35));
}

TEST(AnnotationObject, Occlusion)
{
    AnnotationObject badge = make(AnnotationTool::number, {0, 0}, {30, 30});
    badge.style.color.alpha = 0;
    EXPECT_EQ(badge.occlusion(), Rect(0, 0, 30, 30));

    AnnotationObject rect = make(AnnotationTool::rectangle, {0, 0}, {30, 30});
    EXPECT_FALSE(rect.occlusion());
    rect.style.filled = true;
    EXPECT_EQ(rect.occlusion(), Rect(0, 0, 30, 30));
    rect.style.fillOpacity = 0;
    EXPECT_FALSE(rect.occlusion());
    rect.style.fillOpacity = 1;
    rect.style.color.alpha = 0;
    EXPECT_FALSE(rect.occlusion());

    AnnotationObject mask = make(AnnotationTool::mask, {10, 10}, {20, 20}, 24);
    EXPECT_EQ(mask.occlusion(), Rect(9, 9, 12, 12));
    mask.style.maskBrush = true;
    mask.points = {{10, 10}, {20, 10}};
    EXPECT_EQ(mask.occlusion(), Rect(-2, -2, 34, 25));

    AnnotationObject text = make(AnnotationTool::text, {0, 0}, {50, 20});
    EXPECT_FALSE(text.occlusion());
    text.style.textBackground = true;
    EXPECT_EQ(text.occlusion(), Rect(0, 0, 50, 20));
    text.style.backgroundColor.alpha = 0;
    EXPECT_FALSE(text.occlusion());

    for (AnnotationTool tool :
         {AnnotationTool::ellipse, AnnotationTool::arrow, AnnotationTool::line, AnnotationTool::pen,
          AnnotationTool::highlight, AnnotationTool::select})
        EXPECT_FALSE(make(tool, {0, 0}, {30, 30}).occlusion());
}

TEST(AnnotationObject, HitRectanglesAndEllipses)
{
    // Width 4, tolerance 2: r = 4.
    AnnotationObject rect = make(AnnotationTool::rectangle, {0, 0}, {100, 60});
    EXPECT_FALSE(rect.hit({50, 30}, 2));
    EXPECT_TRUE(rect.hit({3, 30}, 2));
    EXPECT_TRUE(rect.hit({-3.9, 30}, 2));
    EXPECT_FALSE(rect.hit({-4.1, 30}, 2));
    EXPECT_FALSE(rect.hit({5, 30}, 2));
    rect.style.filled = true;
    EXPECT_TRUE(rect.hit({50, 30}, 2));
    // A rectangle thinner than the band is hit all across.
    AnnotationObject thin = make(AnnotationTool::rectangle, {0, 0}, {100, 6});
    EXPECT_TRUE(thin.hit({50, 3}, 2));

    AnnotationObject ellipse = make(AnnotationTool::ellipse, {0, 0}, {100, 60});
    EXPECT_FALSE(ellipse.hit({50, 30}, 0));
    EXPECT_TRUE(ellipse.hit({101, 30}, 0));
    EXPECT_TRUE(ellipse.hit({50, 61}, 0));
    EXPECT_FALSE(ellipse.hit({2, 2}, 0)); // the box's corner lies outside the ellipse
    ellipse.style.filled = true;
    EXPECT_TRUE(ellipse.hit({50, 30}, 0));
    EXPECT_FALSE(ellipse.hit({2, 2}, 0));

    // Badges are always solid discs.
    const AnnotationObject badge = make(AnnotationTool::number, {0, 0}, {40, 40});
    EXPECT_TRUE(badge.hit({20, 20}, 0));
    EXPECT_FALSE(badge.hit({1, 1}, 0));

    EXPECT_FALSE(make(AnnotationTool::select, {0, 0}, {40, 40}).hit({20, 20}, 100));
}

TEST(AnnotationObject, HitLinesTextAndMasks)
{
    const AnnotationObject line = make(AnnotationTool::line, {0, 0}, {100, 0}, 4);
    EXPECT_TRUE(line.hit({50, 3.9}, 2));
    EXPECT_FALSE(line.hit({50, 4.1}, 2));
    EXPECT_TRUE(line.hit({103, 0}, 2)); // round end
    EXPECT_FALSE(line.hit({103, 3}, 2));

    // Text uses the tolerance alone, however thick its stroke width.
    const AnnotationObject text = make(AnnotationTool::text, {0, 0}, {50, 20}, 40);
    EXPECT_TRUE(text.hit({25, 10}, 0));
    EXPECT_TRUE(text.hit({-2, 10}, 3));
    EXPECT_FALSE(text.hit({-4, 10}, 3));

    AnnotationObject mask = make(AnnotationTool::mask, {0, 0}, {50, 20}, 24);
    EXPECT_TRUE(mask.hit({25, 10}, 0));
    EXPECT_FALSE(mask.hit({-4, 10}, 3));
    mask.style.maskBrush = true;
    EXPECT_FALSE(mask.hit({25, 10}, 0)); // a brush with no path covers nothing
    mask.points = {{0, 0}, {50, 0}};
    EXPECT_TRUE(mask.hit({25, 11}, 0));
    EXPECT_FALSE(mask.hit({25, 13}, 0));
}

TEST(AnnotationObject, HitFreehandPaths)
{
    AnnotationObject pen = make(AnnotationTool::pen, {0, 0}, {0, 0}, 6);
    EXPECT_FALSE(pen.hit({0, 0}, 10));
    pen.points = {{10, 10}};
    EXPECT_TRUE(pen.hit({13, 14}, 2)); // distance 5 = r
    EXPECT_FALSE(pen.hit({14, 14}, 2));
    pen.points = {{0, 0}, {100, 0}, {100, 100}};
    EXPECT_TRUE(pen.hit({50, 2}, 0));
    EXPECT_TRUE(pen.hit({102, 50}, 0));
    EXPECT_FALSE(pen.hit({50, 50}, 0)); // inside the turn, far from both pieces

    AnnotationObject highlight = pen;
    EXPECT_TRUE(highlight.hit({50, 2}, 0));
}

TEST(AnnotationObject, HitCurvedArrowsSampleTheCurve)
{
    const AnnotationObject arrow = curvedArrow({0, 0}, {100, 0}, 2);
    // Width 2: head length min(0.7 × diag, 12) = 12, the control at (50, 26).
    ASSERT_TRUE(arrow.curveControl);
    expectPointNear(*arrow.curveControl, {50, 26});
    EXPECT_TRUE(arrow.hit({50, 13}, 1));   // the apex of the curve
    EXPECT_TRUE(arrow.hit({25, 9.75}, 1)); // B(0.25)
    EXPECT_FALSE(arrow.hit({50, 0}, 1));   // the straight chord is not the arrow
    EXPECT_FALSE(arrow.hit({50, 26}, 1));  // nor is the control point
    EXPECT_FALSE(arrow.hit({25, 13}, 1));  // nor the control polygon

    // The head area: within 12 of the tip, but not of the tail.
    EXPECT_TRUE(arrow.hit({100, -11}, 0));
    EXPECT_FALSE(arrow.hit({0, -11}, 0));
    AnnotationObject doubled = arrow;
    doubled.style.arrowHead = ArrowHead::double_;
    const double h = doubled.arrowHeadLength();
    EXPECT_TRUE(doubled.hit({0, -(h - 0.5)}, 0));

    const AnnotationObject straight = make(AnnotationTool::arrow, {0, 0}, {100, 0}, 2);
    EXPECT_TRUE(straight.hit({50, 1.5}, 1));
    EXPECT_FALSE(straight.hit({50, 2.5}, 1));
    // A zero-length arrow is still hit at its point.
    EXPECT_TRUE(make(AnnotationTool::arrow, {5, 5}, {5, 5}, 2).hit({5.5, 5}, 0));
}

TEST(AnnotationObject, MovedShiftsEveryDefiningPoint)
{
    AnnotationObject arrow = curvedArrow({0, 0}, {100, 0}, 6);
    arrow.points = {{1, 1}, {2, 2}};
    const AnnotationObject moved = arrow.moved(10, -5);
    EXPECT_EQ(moved.id(), arrow.id());
    EXPECT_EQ(moved.start, (Point{10, -5}));
    EXPECT_EQ(moved.end, (Point{110, -5}));
    expectPointNear(*moved.curveControl, {60, 21});
    EXPECT_EQ(moved.points, (QList<Point>{{11, -4}, {12, -3}}));
    // The original is untouched although the two shared the path.
    EXPECT_EQ(arrow.points, (QList<Point>{{1, 1}, {2, 2}}));
}

TEST(AnnotationObject, ResizedMapsShapesAffinely)
{
    const test::FakeTextMeasurer measurer;
    const AnnotationObject rect = make(AnnotationTool::rectangle, {10, 20}, {30, 60});
    const AnnotationObject resized = rect.resized(Rect(100, 100, 40, 20), measurer);
    EXPECT_EQ(resized.start, (Point{100, 100}));
    EXPECT_EQ(resized.end, (Point{140, 120}));
    EXPECT_EQ(resized.bounds(), Rect(100, 100, 40, 20));
    EXPECT_EQ(resized.id(), rect.id());

    AnnotationObject pen = make(AnnotationTool::pen, {0, 0}, {0, 0});
    pen.points = {{0, 0}, {10, 10}, {20, 0}};
    const AnnotationObject stretched = pen.resized(Rect(0, 0, 40, 5), measurer);
    EXPECT_EQ(stretched.points, (QList<Point>{{0, 0}, {20, 5}, {40, 0}}));

    // A curved arrow's control point travels with its ends, so the curve
    // fills the new box exactly.
    const AnnotationObject arrow = curvedArrow({0, 0}, {100, 0}, 6);
    const AnnotationObject bent = arrow.resized(Rect(0, 0, 50, 26), measurer);
    expectPointNear(*bent.curveControl, {25, 52});
    const Rect bentBox = bent.bounds();
    EXPECT_NEAR(bentBox.width(), 50, 1e-9);
    EXPECT_NEAR(bentBox.height(), 26, 1e-9);

    // A zero-length line (bounds raised to 1 × 1) resizes without dividing by 0.
    const AnnotationObject dot = make(AnnotationTool::line, {5, 5}, {5, 5});
    const AnnotationObject grown = dot.resized(Rect(0, 0, 10, 10), measurer);
    EXPECT_EQ(grown.start, (Point{0, 0}));
    EXPECT_EQ(measurer.calls, 0);
}

TEST(AnnotationObject, ResizedTextScalesItsFontAndMeasures)
{
    test::FakeTextMeasurer measurer;
    AnnotationObject text = make(AnnotationTool::text, {10, 10}, {110, 50});
    text.style.fontSize = 24;
    text.text = QStringLiteral("你好 world");

    // 100 × 40 into 50 × 40: k = 0.5.
    const AnnotationObject smaller = text.resized(Rect(200, 300, 50, 40), measurer);
    EXPECT_EQ(smaller.style.fontSize, 12);
    EXPECT_EQ(smaller.textLayoutWidth, 180);
    EXPECT_EQ(measurer.calls, 1);
    EXPECT_EQ(measurer.lastText, text.text);
    EXPECT_EQ(measurer.lastStyle.fontSize, 12);
    EXPECT_EQ(measurer.lastMaxWidth, 180);
    const Size measured = measurer.size(text.text, smaller.style, 180);
    EXPECT_EQ(smaller.start, (Point{200, 300}));
    EXPECT_EQ(smaller.end, (Point{200 + measured.width, 300 + measured.height}));

    // The font stays within 8…200 and the wrapping width follows the font
    // actually chosen.
    const AnnotationObject tiny = text.resized(Rect(0, 0, 1, 1), measurer);
    EXPECT_EQ(tiny.style.fontSize, 8);
    EXPECT_EQ(tiny.textLayoutWidth, 120);
    const AnnotationObject huge = text.resized(Rect(0, 0, 10000, 10000), measurer);
    EXPECT_EQ(huge.style.fontSize, 200);
    EXPECT_EQ(huge.textLayoutWidth, 3000);

    // The wrapping width never drops below the two insets plus one pixel.
    text.textLayoutWidth = 10;
    EXPECT_EQ(text.resized(Rect(0, 0, 1, 1), measurer).textLayoutWidth, 9);
}
