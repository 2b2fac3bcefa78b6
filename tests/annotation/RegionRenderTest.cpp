// Rendering part of a composite: the part must be the same pixels as the
// whole composite shows there, and the rectangles that say what a change
// touches must hold every pixel it touches.
#include "RendererSamples.h"
#include "annotation/AnnotationRenderer.h"

#include <QColorSpace>

#include <gtest/gtest.h>

#include <random>

using namespace kelpie;

namespace {

QRect randomRect(std::mt19937& random, QSize size)
{
    const auto coordinate
        = [&](int extent) { return std::uniform_int_distribution<int>(-20, extent + 20)(random); };
    const QPoint a(coordinate(size.width()), coordinate(size.height()));
    const QPoint b(coordinate(size.width()), coordinate(size.height()));
    return QRect(a, b).normalized();
}

// The pixels where two images of one size differ, as their bounding box.
QRect differences(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

TEST(RegionRender, APartIsThatPartOfTheWholeComposite)
{
    std::mt19937 random(99);
    const QSize size(240, 160);
    const QImage base = test::sampleScreenshot(QSize(800, 500)).copy(QRect(QPoint(300, 200), size));
    for (int round = 0; round < 100; ++round) {
        const AnnotationObjectList objects(test::randomObjects(random, size, 1 + round % 12));
        const std::optional<QImage> whole = AnnotationRenderer::render(base, objects);
        ASSERT_TRUE(whole);
        QImage repainted = *whole;
        for (int i = 0; i < 4; ++i) {
            const QRect rect = randomRect(random, size);
            const std::optional<QImage> part
                = AnnotationRenderer::renderRegion(base, objects, rect);
            ASSERT_TRUE(part);
            const QRect cut = rect & base.rect();
            if (cut.isEmpty()) {
                EXPECT_TRUE(part->isNull());
                continue;
            }
            EXPECT_EQ(part->format(), whole->format());
            EXPECT_EQ(part->colorSpace(), whole->colorSpace());
            ASSERT_EQ(*part, whole->copy(cut))
                << "round " << round << ", rect " << rect.x() << "," << rect.y() << " "
                << rect.width() << "×" << rect.height();
            // Written into a composite whose part is stale, it mends that part.
            repainted.fill(Qt::magenta);
            repainted.convertTo(whole->format());
            ASSERT_TRUE(AnnotationRenderer::repaintRegion(repainted, base, objects, rect));
            EXPECT_EQ(repainted.copy(cut), whole->copy(cut));
            EXPECT_EQ(repainted.pixelColor(cut.left() > 0 ? 0 : size.width() - 1,
                                           cut.top() > 0 ? 0 : size.height() - 1),
                      QColor(Qt::magenta));
        }
    }
}

TEST(RegionRender, FailsWhenTheWholeWouldAndRefusesAForeignComposite)
{
    const QImage base = test::sampleScreenshot(QSize(200, 100));
    std::mt19937 random(3);
    AnnotationObjectList objects(test::randomObjects(random, base.size(), 3));
    QImage composite = *AnnotationRenderer::render(base, objects);
    AnnotationObject broken = objects[0];
    broken.style.width = 0.5;
    // Even an invalid object far from the rectangle spoils it.
    broken = broken.moved(5000, 5000);
    AnnotationObjectList spoiled = objects;
    spoiled.append(broken);
    EXPECT_FALSE(AnnotationRenderer::renderRegion(base, spoiled, QRect(0, 0, 10, 10)));
    EXPECT_FALSE(AnnotationRenderer::repaintRegion(composite, base, spoiled, QRect(0, 0, 10, 10)));
    EXPECT_FALSE(AnnotationRenderer::renderRegion(QImage(), objects, QRect(0, 0, 10, 10)));

    const QImage before = composite;
    QImage wrongSize = composite.copy(0, 0, 100, 100);
    EXPECT_FALSE(AnnotationRenderer::repaintRegion(wrongSize, base, objects, QRect(0, 0, 10, 10)));
    QImage wrongFormat = composite.convertToFormat(QImage::Format_ARGB32);
    EXPECT_FALSE(
        AnnotationRenderer::repaintRegion(wrongFormat, base, objects, QRect(0, 0, 10, 10)));
    EXPECT_EQ(composite, before);
}

TEST(RegionRender, ChangesStayInsideThePaintedRectSpreadThroughFilters)
{
    // Changing one object (here: adding it somewhere in the list) alters the
    // composite only inside its painted rectangle, grown through the filter
    // masks of the document.
    std::mt19937 random(11);
    const QSize size(200, 140);
    const QImage base = test::sampleScreenshot(QSize(800, 500)).copy(QRect(QPoint(200, 100), size));
    int nonEmpty = 0;
    for (int round = 0; round < 150; ++round) {
        const QList<AnnotationObject> others = test::randomObjects(random, size, round % 6);
        const AnnotationObject added = test::randomObjects(random, size, 1).front();
        QList<AnnotationObject> with = others;
        with.insert(std::uniform_int_distribution<qsizetype>(0, others.size())(random), added);
        const QImage before = *AnnotationRenderer::render(base, others);
        const QImage after = *AnnotationRenderer::render(base, with);

        const QRect painted = AnnotationRenderer::paintedRect(added, size);
        const QRect alone = differences(*AnnotationRenderer::render(base, {added}),
                                        *AnnotationRenderer::render(base, {}));
        EXPECT_TRUE(painted.contains(alone) || alone.isEmpty())
            << rawValue(added.tool()).toStdString() << " round " << round;
        const QRect spread
            = AnnotationRenderer::spreadThroughFilters(AnnotationObjectList(with), painted, size);
        const QRect changed = differences(before, after);
        EXPECT_TRUE(spread.contains(changed) || changed.isEmpty())
            << rawValue(added.tool()).toStdString() << " round " << round;
        nonEmpty += !changed.isEmpty();
    }
    EXPECT_GT(nonEmpty, 100);
}
