#include "annotation/AnnotationRenderer.h"

#include "RendererSamples.h"
#include "annotation/AnnotationTextLayout.h"
#include "annotation/MaskFilter.h"

#include <QColorSpace>
#include <QFontMetricsF>
#include <QPainter>
#include <QPicture>

#include <gtest/gtest.h>

#include <cmath>

using namespace kelpie;

namespace {

QImage plainBase(int width, int height, QColor color = Qt::white)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A base whose every pixel differs from its neighbours, so that filters
// show what they did.
QImage busyBase(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixelColor(
                x, y,
                QColor((x * 37 + y * 11) % 256, (x * 5 + y * 23) % 256, (x * y * 7 + 40) % 256));
    }
    return image;
}

// The pixel of `image` holding the annotation-space point (x, y), y up.
QColor at(const QImage& image, double x, double y)
{
    return image.pixelColor(static_cast<int>(std::floor(x)),
                            static_cast<int>(std::floor(image.height() - y)));
}

// `over` blended onto `under` at `alpha`.
QColor blend(QColor over, QColor under, double alpha)
{
    const auto mix
        = [&](int a, int b) { return static_cast<int>(std::lround(a * alpha + b * (1 - alpha))); };
    return QColor(mix(over.red(), under.red()), mix(over.green(), under.green()),
                  mix(over.blue(), under.blue()));
}

::testing::AssertionResult near(QColor actual, QColor expected, int tolerance = 2)
{
    if (std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance
        && std::abs(actual.alpha() - expected.alpha()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << "got (" << actual.red() << ", " << actual.green() << ", " << actual.blue() << ", "
        << actual.alpha() << "), expected (" << expected.red() << ", " << expected.green() << ", "
        << expected.blue() << ", " << expected.alpha() << ")";
}

AnnotationStyle styleOf(AnnotationTool tool, AnnotationColor color, double width)
{
    AnnotationStyle style = AnnotationStyle::initial(tool, 1);
    style.color = color;
    style.width = width;
    return style;
}

AnnotationObject object(AnnotationTool tool, const AnnotationStyle& style, Point a, Point b,
                        QList<Point> points = {})
{
    return AnnotationObject(tool, style, a, b, std::move(points));
}

QImage rendered(const QImage& base, const QList<AnnotationObject>& objects)
{
    const std::optional<QImage> composite = AnnotationRenderer::render(base, objects);
    EXPECT_TRUE(composite.has_value());
    return composite.value_or(QImage());
}

const AnnotationColor red(1, 0, 0);
const AnnotationColor black(0, 0, 0);

} // namespace

TEST(AnnotationRenderer, EmptyListGivesTheBaseAsPremultipliedSrgbRgba)
{
    QImage base(4, 3, QImage::Format_ARGB32);
    base.fill(QColor(10, 200, 30));
    base.setPixelColor(1, 1, QColor(255, 0, 0, 128));
    base.setPixelColor(3, 2, QColor(0, 0, 0, 0));
    const QImage composite = rendered(base, {});
    EXPECT_EQ(composite.size(), base.size());
    EXPECT_EQ(composite.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(composite.colorSpace(), QColorSpace(QColorSpace::SRgb));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x)
            EXPECT_TRUE(near(composite.pixelColor(x, y), base.pixelColor(x, y), 1))
                << x << "," << y;
    }
    EXPECT_FALSE(AnnotationRenderer::render(QImage(), {}));
}

TEST(AnnotationRenderer, AnnotationSpaceHasItsOriginAtTheBottomLeft)
{
    AnnotationStyle style = styleOf(AnnotationTool::rectangle, red, 1);
    style.filled = true;
    const QImage composite = rendered(plainBase(100, 50),
                                      {object(AnnotationTool::rectangle, style, {0, 0}, {10, 10})});
    EXPECT_EQ(composite.pixelColor(5, 45), QColor(255, 0, 0));
    EXPECT_EQ(composite.pixelColor(5, 5), QColor(Qt::white));
}

TEST(AnnotationRenderer, AnObjectThatCannotBeDrawnSpoilsTheWholeComposite)
{
    const AnnotationObject good
        = object(AnnotationTool::line, styleOf(AnnotationTool::line, red, 4), {1, 1}, {20, 20});
    AnnotationObject thin = good;
    thin.style.width = 0.5;
    AnnotationObject hugeText(AnnotationTool::text,
                              AnnotationStyle::initial(AnnotationTool::text, 1), {0, 0}, {50, 30},
                              {}, 0, QStringLiteral("x"));
    hugeText.style.fontSize = 201;
    AnnotationObject nanColour = good;
    nanColour.style.color.red = std::nan("");
    for (const AnnotationObject& bad : {thin, hugeText, nanColour}) {
        EXPECT_FALSE(AnnotationRenderer::render(plainBase(40, 40), {good, bad}));
        EXPECT_FALSE(AnnotationRenderer::render(plainBase(40, 40), {bad, good}));
    }
    EXPECT_TRUE(AnnotationRenderer::render(plainBase(40, 40), {good, good}));
}

TEST(AnnotationRenderer, DrawLeavesThePainterAsItFoundIt)
{
    QImage image = plainBase(200, 200).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    QPainter painter(&image);
    painter.setTransform(AnnotationRenderer::annotationToImage(200));
    const QPen pen(Qt::green, 3);
    painter.setPen(pen);
    painter.setBrush(Qt::cyan);
    painter.setOpacity(0.9);

    AnnotationStyle dashed = styleOf(AnnotationTool::arrow, red, 6);
    dashed.dashed = true;
    dashed.arrowHead = ArrowHead::double_;
    AnnotationStyle blur = AnnotationStyle::initial(AnnotationTool::mask, 1);
    blur.maskEffect = MaskEffect::blur;
    blur.maskBrush = true;
    const QList<AnnotationObject> objects = {
        object(AnnotationTool::arrow, dashed, {10, 10}, {150, 90}),
        AnnotationObject(AnnotationTool::text, AnnotationStyle::initial(AnnotationTool::text, 1),
                         {10, 100}, {150, 150}, {}, 0, QStringLiteral("文字")),
        AnnotationObject(AnnotationTool::number, styleOf(AnnotationTool::number, red, 4),
                         {160, 160}, {190, 190}, {}, 7),
        object(AnnotationTool::mask, blur, {20, 20}, {60, 20}, {{20, 20}, {60, 20}}),
    };
    for (const AnnotationObject& o : objects) {
        ASSERT_TRUE(AnnotationRenderer::draw(o, painter)) << rawValue(o.tool()).toStdString();
        EXPECT_EQ(painter.pen(), pen);
        EXPECT_EQ(painter.brush(), QBrush(Qt::cyan));
        EXPECT_EQ(painter.transform(), AnnotationRenderer::annotationToImage(200));
        EXPECT_FALSE(painter.hasClipping());
        EXPECT_EQ(painter.opacity(), 0.9);
    }
}

TEST(AnnotationRenderer, RectanglesAreFilledOrStrokedNeverBoth)
{
    // Fill opacity 0.5 times colour alpha 0.8: the fill covers at 0.4, and
    // no outline reaches past or darkens the edge.
    AnnotationStyle fill = styleOf(AnnotationTool::rectangle, AnnotationColor(0, 0, 1, 0.8), 10);
    fill.filled = true;
    fill.fillOpacity = 0.5;
    const QImage filled = rendered(plainBase(100, 100),
                                   {object(AnnotationTool::rectangle, fill, {20, 20}, {80, 80})});
    const QColor expected = blend(Qt::blue, Qt::white, 0.4);
    EXPECT_TRUE(near(at(filled, 50, 50), expected));
    EXPECT_TRUE(near(at(filled, 20.5, 50.5), expected));
    EXPECT_TRUE(near(at(filled, 18.5, 50.5), Qt::white));

    // Outlined: the colour's own alpha, fill opacity ignored, inside left alone.
    AnnotationStyle outline = fill;
    outline.filled = false;
    const QImage stroked = rendered(
        plainBase(100, 100), {object(AnnotationTool::rectangle, outline, {20, 20}, {80, 80})});
    EXPECT_TRUE(near(at(stroked, 50, 50), Qt::white));
    EXPECT_TRUE(near(at(stroked, 20.5, 50.5), blend(Qt::blue, Qt::white, 0.8)));
    EXPECT_TRUE(near(at(stroked, 16.5, 50.5), blend(Qt::blue, Qt::white, 0.8)));

    // Sharp corners without a radius, rounded ones with.
    AnnotationStyle sharp = styleOf(AnnotationTool::rectangle, red, 2);
    sharp.cornerRadius = 0;
    AnnotationStyle round = sharp;
    round.cornerRadius = 12;
    const QImage corners = rendered(plainBase(100, 100),
                                    {object(AnnotationTool::rectangle, sharp, {10, 10}, {40, 40}),
                                     object(AnnotationTool::rectangle, round, {50, 50}, {90, 90})});
    EXPECT_TRUE(near(at(corners, 10.5, 10.5), Qt::red));
    EXPECT_TRUE(near(at(corners, 50.5, 50.5), Qt::white));
    EXPECT_TRUE(near(at(corners, 50.5, 70.5), Qt::red));
}

TEST(AnnotationRenderer, EllipsesFillOrStrokeTheInscribedEllipse)
{
    AnnotationStyle style = styleOf(AnnotationTool::ellipse, red, 2);
    AnnotationStyle filled = style;
    filled.filled = true;
    const QImage composite
        = rendered(plainBase(200, 100),
                   {object(AnnotationTool::ellipse, style, {10, 10}, {90, 90}),
                    object(AnnotationTool::ellipse, filled, {110, 10}, {190, 90})});
    EXPECT_TRUE(near(at(composite, 50, 50), Qt::white));
    EXPECT_TRUE(near(at(composite, 10.5, 50.5), Qt::red));
    EXPECT_TRUE(near(at(composite, 12, 12), Qt::white)); // the bounds' corner is outside
    EXPECT_TRUE(near(at(composite, 150, 50), Qt::red));
}

TEST(AnnotationRenderer, HighlightsLetTheImageThroughAtSeventyPercent)
{
    // Opaque yellow over blue covers at 30 %, also where the stroke runs
    // over itself.
    const AnnotationStyle style = styleOf(AnnotationTool::highlight, AnnotationColor(1, 1, 0), 20);
    const QImage composite = rendered(plainBase(100, 100, Qt::blue),
                                      {object(AnnotationTool::highlight, style, {10, 50}, {10, 52},
                                              {{10, 50}, {90, 50}, {90, 52}, {10, 52}})});
    EXPECT_TRUE(near(at(composite, 50, 51), blend(Qt::yellow, Qt::blue, 0.3)));
    EXPECT_TRUE(near(at(composite, 50, 75), Qt::blue));
}

TEST(AnnotationRenderer, PenStrokesAreSmoothedAndASinglePointIsADot)
{
    const AnnotationStyle thick = styleOf(AnnotationTool::pen, black, 10);
    const QImage dot = rendered(
        plainBase(100, 100),
        {object(AnnotationTool::pen, thick, {50.5, 50.5}, {50.5, 50.5}, {{50.5, 50.5}})});
    // A round dot of diameter 10 around the point.
    for (double angle = 0; angle < 6.28; angle += 0.5) {
        EXPECT_TRUE(near(at(dot, 50.5 + 3.8 * std::cos(angle), 50.5 + 3.8 * std::sin(angle)),
                         Qt::black, 30))
            << angle;
        EXPECT_TRUE(
            near(at(dot, 50.5 + 6.5 * std::cos(angle), 50.5 + 6.5 * std::sin(angle)), Qt::white))
            << angle;
    }

    // Through (10, 10), (50, 90), (90, 10): straight to the first midpoint,
    // a curve to the next one controlled by the corner, straight to the end.
    // The corner itself is cut.
    const AnnotationStyle pen = styleOf(AnnotationTool::pen, black, 4);
    const QImage v = rendered(
        plainBase(100, 100),
        {object(AnnotationTool::pen, pen, {10, 10}, {90, 10}, {{10, 10}, {50, 90}, {90, 10}})});
    EXPECT_TRUE(near(at(v, 20, 30), Qt::black, 60));
    EXPECT_TRUE(near(at(v, 50, 70), Qt::black, 60));
    EXPECT_TRUE(near(at(v, 80, 30), Qt::black, 60));
    EXPECT_TRUE(near(at(v, 50, 86), Qt::white));

    // No points, nothing drawn.
    EXPECT_EQ(rendered(plainBase(20, 20), {object(AnnotationTool::pen, pen, {5, 5}, {9, 9})}),
              rendered(plainBase(20, 20), {}));
}

TEST(AnnotationRenderer, DashesAreThreeWidthsOnAndTwoOff)
{
    // Width 4: dashes of 12 with round caps of 2 on each end, gaps of 8.
    AnnotationStyle style = styleOf(AnnotationTool::line, black, 4);
    style.dashed = true;
    const QImage composite = rendered(
        plainBase(240, 100), {object(AnnotationTool::line, style, {10, 50.5}, {210, 50.5})});
    EXPECT_TRUE(near(at(composite, 16, 50.5), Qt::black));
    EXPECT_TRUE(near(at(composite, 26, 50.5), Qt::white));
    EXPECT_TRUE(near(at(composite, 36, 50.5), Qt::black));
    EXPECT_TRUE(near(at(composite, 46, 50.5), Qt::white));
}

// Straight arrows along y = 50.5 from x = 20 to x = 280, width 20 and half
// transparent, so that where shaft and head overlap the colour is denser.
// Head length min(0.7 × 260, 3 × 20) = 60, shaft width min(0.55 × 60, 20)
// = 20. The shaft ends where its round cap, 10 in radius, just fits between
// the sides of a filled head (half-angle 0.45): 10 / sin 0.45 ≈ 23 before the
// tip, so the cap reaches to 13 before it.
TEST(AnnotationRenderer, ArrowShaftsStopShortOfTheirHeads)
{
    const AnnotationColor halfRed(1, 0, 0, 0.5);
    const QColor once = blend(Qt::red, Qt::white, 0.5);
    const QColor twice = blend(Qt::red, Qt::white, 0.75);

    AnnotationStyle filled = styleOf(AnnotationTool::arrow, halfRed, 20);
    filled.arrowHead = ArrowHead::filled;
    const QImage single = rendered(
        plainBase(300, 100), {object(AnnotationTool::arrow, filled, {20, 50.5}, {280, 50.5})});
    EXPECT_TRUE(near(at(single, 277.5, 50.5), once));
    EXPECT_TRUE(near(at(single, 269.5, 50.5), once));
    EXPECT_TRUE(near(at(single, 264.5, 50.5), twice));
    EXPECT_TRUE(near(at(single, 22.5, 50.5), once)); // no head at the start

    AnnotationStyle both = filled;
    both.arrowHead = ArrowHead::double_;
    const QImage shortened = rendered(
        plainBase(300, 100), {object(AnnotationTool::arrow, both, {20, 50.5}, {280, 50.5})});
    EXPECT_TRUE(near(at(shortened, 277.5, 50.5), once));
    EXPECT_TRUE(near(at(shortened, 269.5, 50.5), once));
    EXPECT_TRUE(near(at(shortened, 264.5, 50.5), twice));
    EXPECT_TRUE(near(at(shortened, 22.5, 50.5), once));
    EXPECT_TRUE(near(at(shortened, 30.5, 50.5), once));
    EXPECT_TRUE(near(at(shortened, 35.5, 50.5), twice));

    // A short, wide arrow: head min(0.7 × 40, 90) = 28, so the shaft is
    // 0.55 × 28 = 15.4 wide, not 30.
    const QImage narrow
        = rendered(plainBase(100, 100),
                   {object(AnnotationTool::arrow, styleOf(AnnotationTool::arrow, red, 30),
                           {20, 50.5}, {60, 50.5})});
    EXPECT_TRUE(near(at(narrow, 25.5, 50.5 + 6), Qt::red));
    EXPECT_TRUE(near(at(narrow, 25.5, 50.5 + 9.5), Qt::white));
}

TEST(AnnotationRenderer, NoShaftShowsBesideAFilledHead)
{
    // Opaque black arrows along y = 100.5 with filled heads at both ends,
    // long enough that the heads are 3 widths long. Beside a head (between
    // its base and its tip) every inked pixel lies inside the head's
    // triangle, give or take antialiasing: the shaft's round end never
    // bulges out of the head's sides, however wide the stroke.
    for (double width : {4.0, 9.0, 20.0, 40.0}) {
        AnnotationStyle style = styleOf(AnnotationTool::arrow, black, width);
        style.arrowHead = ArrowHead::double_;
        const Point start{30, 100.5};
        const Point tip{370, 100.5};
        const AnnotationObject arrow = object(AnnotationTool::arrow, style, start, tip);
        const double head = arrow.arrowHeadLength();
        ASSERT_EQ(head, std::max(3 * width, 12.0));
        const QImage composite = rendered(plainBase(400, 200), {arrow});

        const double half = 0.45;
        const double along = head * std::cos(half);
        int beside = 0;
        for (int row = 0; row < 200; ++row) {
            for (int column = 0; column < 400; ++column) {
                const double x = column + 0.5;
                const double y = 200 - row - 0.5;
                // Distance from the nearer tip, back along the shaft.
                const double back = std::min(tip.x - x, x - start.x);
                if (back < 0 || back > along)
                    continue;
                const double outside
                    = (std::abs(y - tip.y) - back * std::tan(half)) * std::cos(half);
                if (outside <= 0.75)
                    continue;
                ++beside;
                ASSERT_GE(composite.pixelColor(column, row).lightness(), 250)
                    << "width " << width << " at " << x << ", " << y;
            }
        }
        EXPECT_GT(beside, 100) << width;
    }
}

TEST(AnnotationRenderer, OpenHeadsAreStrokedAtTheShaftWidth)
{
    AnnotationStyle open = styleOf(AnnotationTool::arrow, red, 20);
    open.arrowHead = ArrowHead::open;
    const QImage composite = rendered(
        plainBase(320, 100), {object(AnnotationTool::arrow, open, {20, 50.5}, {280, 50.5})});
    // The round join at the tip reaches half the shaft width beyond it.
    EXPECT_TRUE(near(at(composite, 287.5, 50.5), Qt::red));
    EXPECT_TRUE(near(at(composite, 292.5, 50.5), Qt::white));
    // Between shaft and arm, inside the V, nothing is filled.
    EXPECT_TRUE(near(at(composite, 235.5, 64.5), Qt::white));
    EXPECT_TRUE(near(at(composite, 235.5, 50.5 + 29), Qt::red));
}

TEST(AnnotationRenderer, ArrowsWithoutLengthDrawNothing)
{
    const AnnotationStyle style = styleOf(AnnotationTool::arrow, red, 6);
    AnnotationObject curved = object(AnnotationTool::arrow, style, {30, 30}, {30, 30});
    curved.curveControl = Point{30, 30};
    const QImage base = plainBase(60, 60);
    EXPECT_EQ(rendered(base, {object(AnnotationTool::arrow, style, {30, 30}, {30, 30}), curved}),
              rendered(base, {}));
}

TEST(AnnotationRenderer, CurvedArrowsFollowTheirCurve)
{
    // start (20, 20), control (100, 100), end (180, 20): B(0.5) = (100, 60).
    for (ArrowHead head : {ArrowHead::open, ArrowHead::double_}) {
        AnnotationStyle style = styleOf(AnnotationTool::arrow, black, 4);
        style.arrowHead = head;
        AnnotationObject arrow = object(AnnotationTool::arrow, style, {20, 20}, {180, 20});
        arrow.curveControl = Point{100, 100};
        const QImage composite = rendered(plainBase(200, 120), {arrow});
        for (double t : {0.2, 0.35, 0.5, 0.65, 0.8}) {
            const Point p = arrow.arrowPoint(t);
            EXPECT_TRUE(near(at(composite, p.x, p.y), Qt::black, 60)) << t;
        }
        EXPECT_TRUE(near(at(composite, 100, 20), Qt::white));
        EXPECT_TRUE(near(at(composite, 100, 66), Qt::white));
    }
}

TEST(AnnotationRenderer, BadgeLabelsAreWhiteCentredAndSizedByDigitCount)
{
    // Bounds 60 × 60: one digit min(66, 36) = 36, two min(33, 36) = 33,
    // three min(22, 36) = 22.
    const std::pair<std::int64_t, double> cases[] = {{7, 36}, {12, 33}, {123, 22}};
    for (const auto& [number, fontSize] : cases) {
        const AnnotationObject badge(AnnotationTool::number,
                                     styleOf(AnnotationTool::number, red, 4), {20, 20}, {80, 80},
                                     {}, number);
        const QImage composite = rendered(plainBase(100, 100, Qt::black), {badge});
        // The label's ink: near-white pixels inside the red disc.
        int top = 100, bottom = -1, left = 100, right = -1;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                const QColor c = composite.pixelColor(x, y);
                if (c.green() > 160 && c.blue() > 160) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        ASSERT_GE(bottom, 0) << number;
        const QString label = QString::number(number);
        const QRectF ink = QFontMetricsF(AnnotationTextLayout::fontOfPixelSize(fontSize, true))
                               .tightBoundingRect(label);
        EXPECT_NEAR(bottom - top + 1, ink.height(), 1.5) << number;
        EXPECT_NEAR(right - left + 1, ink.width(), 2) << number;
        EXPECT_NEAR((left + right + 1) / 2.0, 50, 1.5) << number;
        EXPECT_NEAR((top + bottom + 1) / 2.0, 50, 0.15 * fontSize) << number;
        EXPECT_TRUE(near(at(composite, 22, 50), Qt::red));
    }
}

TEST(AnnotationRenderer, TextSitsOnItsBackgroundBoxAndChineseRenders)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::text, 1);
    style.color = black;
    style.fontSize = 30;
    style.textBackground = true;
    const AnnotationObject text(AnnotationTool::text, style, {10, 10}, {130, 60}, {}, 0,
                                QStringLiteral("中文"));
    const QImage composite = rendered(plainBase(150, 80, Qt::blue), {text});
    const QColor pale = style.backgroundColor.qColor().toRgb();
    EXPECT_TRUE(near(at(composite, 10.5, 10.5), pale));
    EXPECT_TRUE(near(at(composite, 129.5, 59.5), pale));
    EXPECT_TRUE(near(at(composite, 9.5, 30), Qt::blue));
    EXPECT_TRUE(near(at(composite, 130.5, 30), Qt::blue));
    int dark = 0;
    for (int y = 20; y < 70; ++y) {
        for (int x = 10; x < 130; ++x)
            dark += composite.pixelColor(x, y).lightness() < 60;
    }
    EXPECT_GT(dark, 100); // two filled-in ideographs, not empty boxes or nothing
}

TEST(AnnotationRenderer, SolidMasksAreOpaqueAndCoverWholePixels)
{
    AnnotationStyle style = styleOf(AnnotationTool::mask, AnnotationColor(0, 0, 0, 0.2), 10);
    const QImage box = rendered(plainBase(40, 40),
                                {object(AnnotationTool::mask, style, {10.3, 10.3}, {20.6, 20.6})});
    EXPECT_EQ(at(box, 10.1, 10.1), QColor(Qt::black));
    EXPECT_EQ(at(box, 20.9, 20.9), QColor(Qt::black));
    EXPECT_EQ(at(box, 21.1, 15), QColor(Qt::white));
    EXPECT_EQ(at(box, 9.9, 15), QColor(Qt::white));

    // A brush mask covers its stroked polyline, round ends included.
    style.maskBrush = true;
    const QImage brush = rendered(
        plainBase(60, 60),
        {object(AnnotationTool::mask, style, {10, 30.5}, {30, 30.5}, {{10, 30.5}, {30, 30.5}})});
    EXPECT_EQ(at(brush, 20, 30.5), QColor(Qt::black));
    EXPECT_EQ(at(brush, 20, 33.5), QColor(Qt::black));
    EXPECT_TRUE(near(at(brush, 20, 37.5), Qt::white));
    EXPECT_EQ(at(brush, 33.5, 30.5), QColor(Qt::black));
    EXPECT_TRUE(near(at(brush, 37.5, 30.5), Qt::white));
    // Without points a brush mask hides nothing.
    EXPECT_EQ(
        rendered(plainBase(60, 60), {object(AnnotationTool::mask, style, {10, 10}, {30, 30})}),
        rendered(plainBase(60, 60), {}));
}

TEST(AnnotationRenderer, PixelateMasksUseCellsOfTheStrengthOnTheImageGrid)
{
    const QImage base = busyBase(100, 60);
    AnnotationStyle style = styleOf(AnnotationTool::mask, black, 10);
    style.maskEffect = MaskEffect::pixelate;
    style.maskStrength = 8;
    const QImage composite
        = rendered(base, {object(AnnotationTool::mask, style, {20, 8}, {60, 40})});
    // Cells start at the annotation origin: x 24…31 and y 16…23 form one.
    EXPECT_EQ(at(composite, 24.5, 16.5), at(composite, 31.5, 23.5));
    EXPECT_EQ(at(composite, 24.5, 23.5), at(composite, 31.5, 16.5));
    EXPECT_NE(at(composite, 31.5, 20), at(composite, 32.5, 20));
    EXPECT_NE(at(composite, 28, 23.5), at(composite, 28, 24.5));
    // Outside the mask the image is untouched.
    EXPECT_EQ(at(composite, 19.5, 20), at(base, 19.5, 20));
    EXPECT_EQ(at(composite, 40, 40.5), at(base, 40, 40.5));
}

TEST(AnnotationRenderer, OverlappingFilterMasksCompound)
{
    // The second mask filters the composite as drawn so far: where it
    // overlaps the first, it pixelates already pixelated pixels.
    const QImage base = busyBase(100, 80);
    AnnotationStyle fine = styleOf(AnnotationTool::mask, black, 10);
    fine.maskEffect = MaskEffect::pixelate;
    fine.maskStrength = 6;
    AnnotationStyle coarse = fine;
    coarse.maskStrength = 10;
    const AnnotationObject first = object(AnnotationTool::mask, fine, {10, 10}, {50, 50});
    const AnnotationObject second = object(AnnotationTool::mask, coarse, {30, 30}, {70, 70});

    const QImage afterFirst = rendered(base, {first});
    const QImage afterBoth = rendered(base, {first, second});
    const QRect region(30, 80 - 70, 40, 40); // the second mask, in image rows
    const QImage expected = MaskFilter::pixelate(afterFirst, 10, QPointF(0, 80), region);
    EXPECT_EQ(afterBoth.copy(region), expected);
    // And that is not what pixelating the untouched base would give.
    const QImage fromBase = MaskFilter::pixelate(
        base.convertToFormat(QImage::Format_RGBA8888_Premultiplied), 10, QPointF(0, 80), region);
    EXPECT_NE(afterBoth.copy(region), fromBase);
}

TEST(AnnotationRenderer, BlurMasksAtTheBorderShowNoFringe)
{
    // A one-pixel checkerboard framed in mid grey blurs to an even grey
    // right up to the border: neither a dark rim (edges read as black) nor
    // the sharp original showing through (edges read as transparent).
    QImage checker(120, 80, QImage::Format_RGB32);
    checker.fill(QColor(128, 128, 128));
    for (int y = 1; y < 79; ++y) {
        for (int x = 1; x < 119; ++x)
            checker.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
    }
    AnnotationStyle style = styleOf(AnnotationTool::mask, black, 10);
    style.maskEffect = MaskEffect::blur;
    style.maskStrength = 80;
    const QImage whole = rendered(checker,
                                  {object(AnnotationTool::mask, style, {0, 0}, {120, 80}),
                                   object(AnnotationTool::mask, style, {-10, 60}, {20, 90})});
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x)
            ASSERT_TRUE(near(whole.pixelColor(x, y), QColor(128, 128, 128), 3)) << x << "," << y;
    }

    // It does blur: a hard black-to-white edge turns to a ramp, mid grey at
    // the edge, untouched beyond the kernel's reach (strength 8: sigma 4).
    QImage edge = plainBase(120, 40);
    QPainter(&edge).fillRect(0, 0, 60, 40, Qt::black);
    style.maskStrength = 8;
    const QImage ramp = rendered(edge, {object(AnnotationTool::mask, style, {0, 0}, {120, 40})});
    EXPECT_NEAR(ramp.pixelColor(59, 20).red() + ramp.pixelColor(60, 20).red(), 255, 6);
    EXPECT_GT(ramp.pixelColor(57, 20).red(), 10);
    EXPECT_LT(ramp.pixelColor(62, 20).red(), 245);
    EXPECT_EQ(ramp.pixelColor(40, 20), QColor(Qt::black));
    EXPECT_EQ(ramp.pixelColor(80, 20), QColor(Qt::white));
}

TEST(AnnotationRenderer, FilterMasksNeedAnImageToFilter)
{
    // Drawing into a recording (or any device that is not an image) has no
    // pixels to filter: such masks cannot be drawn, solid ones can.
    QPicture picture;
    QPainter painter(&picture);
    AnnotationStyle style = styleOf(AnnotationTool::mask, black, 10);
    for (MaskEffect effect : {MaskEffect::pixelate, MaskEffect::blur}) {
        style.maskEffect = effect;
        EXPECT_FALSE(AnnotationRenderer::draw(object(AnnotationTool::mask, style, {0, 0}, {20, 20}),
                                              painter));
    }
    style.maskEffect = MaskEffect::solid;
    EXPECT_TRUE(
        AnnotationRenderer::draw(object(AnnotationTool::mask, style, {0, 0}, {20, 20}), painter));
}

TEST(AnnotationRenderer, EverySampleObjectLeavesAMark)
{
    // The developer sample uses every tool and mask kind; each object, drawn
    // on top of those before it, must change the picture.
    const QSize size(1200, 800);
    const QImage base = test::sampleScreenshot(size);
    const QList<AnnotationObject> objects = test::sampleObjects(size);
    QImage previous = rendered(base, {});
    for (qsizetype i = 0; i < objects.size(); ++i) {
        const QImage next = rendered(base, objects.first(i + 1));
        ASSERT_FALSE(next.isNull());
        EXPECT_NE(next, previous) << i << ": " << rawValue(objects[i].tool()).toStdString();
        previous = next;
    }
}

TEST(AnnotationRenderer, MasksFarBeyondTheImageStillCoverIt)
{
    // Corners billions of pixels away (past the range of a pixel index)
    // still mean "the whole image": a mask must cover what it claims to,
    // never be skipped while the render reports success.
    const QImage base = busyBase(90, 70);
    QImage converted = base.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    converted.setColorSpace(QColorSpace::SRgb);
    AnnotationStyle style = styleOf(AnnotationTool::mask, black, 10);
    style.maskStrength = 8;
    for (MaskEffect effect : {MaskEffect::solid, MaskEffect::pixelate, MaskEffect::blur}) {
        style.maskEffect = effect;
        QImage expected = converted;
        if (effect == MaskEffect::solid)
            expected.fill(Qt::black);
        else if (effect == MaskEffect::pixelate)
            expected = MaskFilter::pixelate(converted, 8, QPointF(0, 70), converted.rect());
        else
            expected = MaskFilter::gaussianBlur(converted, 4, converted.rect());
        for (double far : {3e9, 1e300}) {
            const QImage whole
                = rendered(base, {object(AnnotationTool::mask, style, {-far, -far}, {far, far})});
            EXPECT_EQ(whole, expected) << rawValue(effect).toStdString() << " " << far;
        }

        // A brush stroke from far left to far right across the middle row.
        AnnotationStyle brush = style;
        brush.maskBrush = true;
        for (double far : {3e9, 1e15}) {
            const QImage band = rendered(base,
                                         {object(AnnotationTool::mask, brush, {-far, 35}, {far, 35},
                                                 {{-far, 35}, {far, 35}})});
            for (int x = 0; x < 90; ++x) {
                ASSERT_EQ(band.pixelColor(x, 35), expected.pixelColor(x, 35)) << x << " " << far;
                ASSERT_EQ(band.pixelColor(x, 5), converted.pixelColor(x, 5)) << x << " " << far;
            }
        }
    }
}
