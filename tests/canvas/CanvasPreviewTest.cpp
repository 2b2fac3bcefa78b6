#include "CanvasFixture.h"
#include "annotation/AnnotationRenderer.h"
#include "canvas/CanvasPreview.h"

#include <QColorSpace>
#include <QPainter>

#include <cmath>

namespace kelpie::test {
namespace {

// A busy picture, so that a filter or a misplaced pixel shows.
QImage busyImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 7 + y * 3) % 256, (x * x + y) % 256, ((x ^ y) * 5) % 256));
    }
    return image;
}

AnnotationObject shape(AnnotationTool tool, Rect box)
{
    AnnotationStyle style = AnnotationStyle::initial(tool, 1);
    style.width = 5;
    return AnnotationObject(tool, style, box.origin, {box.maxX(), box.maxY()});
}

AnnotationObject mask(MaskEffect effect, Rect box, double strength)
{
    AnnotationObject object = shape(AnnotationTool::mask, box);
    object.style.maskEffect = effect;
    object.style.maskStrength = strength;
    return object;
}

class Preview : public CanvasFixture {
protected:
    void SetUp() override
    {
        document = std::make_unique<AnnotationDocument>(busyImage(320, 240));
        model = std::make_unique<CanvasModel>(*document, styles, false,
                                              AnnotationTextLayout::measurer());
        model->setViewSize({320, 240});
        model->setTextEditor(&editor);
    }

    void setObjects(std::initializer_list<AnnotationObject> list)
    {
        AnnotationState state;
        state.objects = AnnotationObjectList(list);
        document->commit(state);
    }

    // A full render of the document with the draft in its place (or added).
    QImage fullRender() const
    {
        AnnotationObjectList shown = objects();
        if (const auto& draft = model->draft()) {
            const qsizetype i = shown.indexOf(draft->id());
            if (i >= 0)
                shown.replace(i, *draft);
            else
                shown.append(*draft);
        }
        const std::optional<QImage> composite
            = AnnotationRenderer::render(document->baseImage(), shown);
        return composite ? composite->convertToFormat(QImage::Format_ARGB32_Premultiplied)
                         : QImage();
    }

    // Drags from `from` along a wavy path, comparing after every event.
    void dragAndCompare(Point from, int steps)
    {
        model->pointerDown(from, 1);
        ASSERT_TRUE(model->hasDraft());
        ASSERT_EQ(model->previewImage(), fullRender()) << "at the press";
        for (int i = 1; i <= steps; ++i) {
            const Point p{from.x + 3.7 * i, from.y + 12 * std::sin(i * 0.7) - 1.3 * i};
            model->pointerDragged(p, false);
            ASSERT_EQ(model->previewImage(), fullRender()) << "after drag event " << i;
        }
        model->pointerUp();
        EXPECT_EQ(model->previewImage(), fullRender()) << "after the release";
    }
};

TEST_F(Preview, AMovingShapeShowsWhatAFullRenderShows)
{
    AnnotationObject text = shape(AnnotationTool::text, Rect(150, 100, 120, 40));
    text.text = QStringLiteral("文字 text");
    setObjects({shape(AnnotationTool::rectangle, Rect(40, 40, 80, 60)),
                shape(AnnotationTool::ellipse, Rect(60, 60, 90, 70)), text,
                shape(AnnotationTool::arrow, Rect(20, 200, 150, -120))});
    dragAndCompare({40, 70}, 25);
    EXPECT_EQ(objects()[0].bounds().minX(), 40 + 3.7 * 25);
}

TEST_F(Preview, AMovingMaskShowsWhatAFullRenderShows)
{
    setObjects({shape(AnnotationTool::rectangle, Rect(40, 40, 80, 60)),
                mask(MaskEffect::pixelate, Rect(100, 80, 90, 70), 11),
                mask(MaskEffect::blur, Rect(150, 20, 100, 100), 14)});
    dragAndCompare({100, 100}, 20);
    dragAndCompare({150, 50}, 20);
}

TEST_F(Preview, AShapeMovingUnderMasksIsCoveredLive)
{
    setObjects({shape(AnnotationTool::rectangle, Rect(40, 40, 80, 60)),
                shape(AnnotationTool::line, Rect(10, 10, 60, 200)),
                mask(MaskEffect::pixelate, Rect(90, 50, 100, 90), 13),
                mask(MaskEffect::blur, Rect(130, 70, 90, 90), 20),
                mask(MaskEffect::solid, Rect(200, 30, 40, 40), 16)});
    model->pointerDown({40, 70}, 1);
    EXPECT_TRUE(model->fullDraftPreview());
    model->pointerUp();
    dragAndCompare({40, 70}, 30);
    dragAndCompare({40, 110}, 30);
}

TEST_F(Preview, DrawingOverMasksShowsWhatAFullRenderShows)
{
    setObjects({mask(MaskEffect::blur, Rect(100, 50, 120, 120), 30)});
    model->chooseTool(AnnotationTool::pen);
    dragAndCompare({60, 60}, 30);
    model->chooseTool(AnnotationTool::mask);
    dragAndCompare({60, 200}, 30);
}

TEST_F(Preview, TextCutByTheChangeOrTheImageEdgeShowsWhatAFullRenderShows)
{
    AnnotationObject edge = shape(AnnotationTool::text, Rect(250, 120, 120, 50));
    edge.text = QStringLiteral("边缘 runs off the image");
    edge.style.fontSize = 22;
    AnnotationObject above = shape(AnnotationTool::text, Rect(60, 60, 200, 40));
    above.text = QStringLiteral("上面 text above");
    AnnotationObject badge = shape(AnnotationTool::number, Rect(90, 30, 40, 40));
    badge.number = 7;
    setObjects({shape(AnnotationTool::rectangle, Rect(40, 40, 80, 60)), edge, above, badge});
    dragAndCompare({40, 70}, 25);
    dragAndCompare({255, 145}, 20);
}

TEST_F(Preview, AFailedRenderShowsNothing)
{
    AnnotationObject broken = shape(AnnotationTool::rectangle, Rect(10, 10, 50, 50));
    broken.style.width = 0;
    setObjects({broken});
    EXPECT_TRUE(model->previewImage().isNull());
}

// A picture with no objects is shown from the base's own pixels, so a
// pin at rest holds one copy of them; drawing on it never reaches the base.
TEST(PreviewOfTheBase, SharesThePixelsAndDrawingLeavesTheBaseAlone)
{
    QImage opaqueCapture = busyImage(64, 48).convertToFormat(QImage::Format_RGB32);
    for (const QImage& base : {busyImage(64, 48), opaqueCapture}) {
        const QImage pristine = base.copy();
        CanvasPreview preview;
        preview.show(base, {});
        ASSERT_FALSE(preview.image().isNull());
        EXPECT_EQ(preview.image().constBits(), base.constBits()) << base.format();
        EXPECT_EQ(preview.image().format(), QImage::Format_ARGB32_Premultiplied);
        const std::optional<QImage> full = AnnotationRenderer::render(base, AnnotationObjectList{});
        ASSERT_TRUE(full);
        // The same pixels; the base's colour space stays untagged.
        QImage shown = preview.image().copy();
        shown.setColorSpace(full->colorSpace());
        EXPECT_EQ(shown, full->convertToFormat(QImage::Format_ARGB32_Premultiplied));

        const AnnotationObject box = shape(AnnotationTool::rectangle, Rect(5, 5, 30, 20));
        preview.showDraft(base, {}, box, {});
        preview.moveDraft(shape(AnnotationTool::rectangle, Rect(8, 6, 30, 20)));
        EXPECT_NE(preview.image().constBits(), base.constBits());
        EXPECT_EQ(base, pristine) << base.format();
        preview.show(base, {box});
        EXPECT_EQ(base, pristine);
        EXPECT_NE(preview.image(), pristine.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

// Pixels that are not what a render gives (an RGB32 picture whose alpha
// bytes were left at zero, a picture at another scale) are rendered.
TEST(PreviewOfTheBase, RendersPixelsThatCannotBeShownAsTheyAre)
{
    QImage zeroAlpha = busyImage(32, 24).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < zeroAlpha.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(zeroAlpha.scanLine(y));
        for (int x = 0; x < zeroAlpha.width(); ++x)
            line[x] &= 0x00ffffff;
    }
    QImage scaled = busyImage(32, 24);
    scaled.setDevicePixelRatio(2);
    for (const QImage& base : {zeroAlpha, scaled}) {
        CanvasPreview preview;
        preview.show(base, {});
        ASSERT_FALSE(preview.image().isNull());
        EXPECT_NE(preview.image().constBits(), base.constBits());
        EXPECT_EQ(qAlpha(preview.image().pixel(3, 3)), 255);
        EXPECT_EQ(preview.image().devicePixelRatio(), 1.0);
    }
}

} // namespace
} // namespace kelpie::test
