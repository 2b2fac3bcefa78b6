#include "text/SafeTextImage.h"

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationRenderer.h"
#include "annotation/MaskEffect.h"

#include "tests/text/TerminalScreen.h"
#include "tests/text/TextFixture.h"
#include "text/TextLayout.h"

#include <QColorSpace>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;
namespace Safe = kelpie::SafeTextImage;

// A text region 20 × 10 at (10, 10) in bottom-left pixel space and an
// occlusion of the same height `gap` pixels to its right.
QList<Rect> suppressedAtGap(double gap)
{
    const Rect region(10, 10, 20, 10);
    const Rect mask(region.maxX() + gap, 10, 30, 10);
    return Safe::regionsToSuppress({region}, {mask}, Size{200, 100});
}

// Whether every pixel of `rect` (top-left pixel space) is opaque white.
bool allWhite(const QImage& image, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixelColor(x, y) != QColor(Qt::white))
                return false;
        }
    }
    return true;
}

// Whether every pixel of `rect` has one colour: nothing is left to read.
bool uniform(const QImage& image, const QRect& rect)
{
    const QRgb first = image.pixel(rect.topLeft());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

int darkPixels(const QImage& image, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixelColor(x, y).lightness() < 128;
    }
    return count;
}

// A rectangle in top-left image space as the bottom-left one the
// occlusions use.
Rect flipped(const QRect& rect, int imageHeight)
{
    return Rect(rect.x(), imageHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

TEST(SafeTextImage, RegionsReachThreePixelsTowardsAnOcclusion)
{
    EXPECT_EQ(suppressedAtGap(2).size(), 1);
    EXPECT_EQ(suppressedAtGap(3).size(), 1); // the grown region touches the mask
    EXPECT_TRUE(suppressedAtGap(4).isEmpty());
    EXPECT_TRUE(suppressedAtGap(-5).size() == 1); // overlapping

    // The same below the region, and the kept rectangle is the grown one.
    const QList<Rect> below
        = Safe::regionsToSuppress({Rect(10, 10, 20, 10)}, {Rect(10, 0, 20, 8)}, Size{200, 100});
    ASSERT_EQ(below.size(), 1);
    EXPECT_EQ(below[0], Rect(7, 7, 26, 16));
    EXPECT_TRUE(
        Safe::regionsToSuppress({Rect(10, 10, 20, 10)}, {Rect(10, 0, 20, 6)}, Size{200, 100})
            .isEmpty());
}

TEST(SafeTextImage, SuppressedRegionsAreClippedAndKeepTheirOrder)
{
    const QList<Rect> regions{Rect(190, 50, 20, 10), Rect(-5, -5, 10, 10), Rect(50, 50, 10, 10),
                              Rect(300, 300, 10, 10), Rect(40, 80, -10, -10)};
    const QList<Rect> occlusions{Rect(0, 0, 200, 100)};
    const QList<Rect> suppress = Safe::regionsToSuppress(regions, occlusions, Size{200, 100});
    // The region outside the image is dropped; the others stay in order,
    // clipped to the image and standardised.
    ASSERT_EQ(suppress.size(), 4);
    EXPECT_EQ(suppress[0], Rect(187, 47, 13, 16));
    EXPECT_EQ(suppress[1], Rect(0, 0, 8, 8));
    EXPECT_EQ(suppress[2], Rect(47, 47, 16, 16));
    EXPECT_EQ(suppress[3], Rect(27, 67, 16, 16));

    EXPECT_TRUE(Safe::regionsToSuppress(regions, {}, Size{200, 100}).isEmpty());
}

TEST(SafeTextImage, WithoutOcclusionsTheImageIsReturnedUntouched)
{
    const QImage image = TextFixture::englishInterface().image;
    const QImage prepared
        = Safe::prepare(image, {Rect(0, 0, 50, 50)}, {}, RecognitionCancellation());
    EXPECT_EQ(prepared.constBits(), image.constBits());
    EXPECT_EQ(prepared, image);
    EXPECT_EQ(prepared.format(), image.format());
}

TEST(SafeTextImage, TextRegionsAreWordsInBottomLeftPixelSpace)
{
    // Terminal type: each word is found on its own, in reading order.
    const TerminalScreen screen = TerminalScreen::draw(
        {QStringLiteral("alice@desk:~$ ls -l"), QStringLiteral("total 52 README.md")}, false);
    const int height = screen.image.height();
    const QList<Rect> regions = Safe::textRegions(screen.image, RecognitionCancellation());
    ASSERT_EQ(regions.size(), qsizetype(screen.words.size()));
    for (qsizetype i = 0; i < regions.size(); ++i) {
        const TerminalScreen::Word& word = screen.words[std::size_t(i)];
        const Rect drawn = flipped(word.box, height);
        EXPECT_TRUE(drawn.insetBy(-1, -1).contains(regions[i])) << word.text.toStdString();
        EXPECT_GT(regions[i].width(), drawn.width() * 0.7) << word.text.toStdString();
    }

    // Proportional type leaves about as much blank between some letters as
    // between words; where the two cannot be told apart, words stay joined
    // (suppressing a little more, never less), but lines never merge.
    const TextFixture fixture = TextFixture::englishInterface();
    const QList<Rect> proportional = Safe::textRegions(fixture.image, RecognitionCancellation());
    EXPECT_GT(proportional.size(), qsizetype(fixture.lines.size()));
    for (const Rect& region : proportional) {
        int lines = 0;
        for (const TextFixture::Line& line : fixture.lines)
            lines += flipped(line.box, fixture.image.height()).insetBy(-1, -1).contains(region);
        EXPECT_EQ(lines, 1);
    }
}

// Dense terminal rows (3 pixels of blank between them), light and dark: a
// masked word and every word whose box comes within 3 pixels of the mask
// turn into flat background; every other word keeps its pixels, and
// nothing is painted a colour that was not there (no white blocks on a
// dark panel).
TEST(SafeTextImage, OnlyWordsNearAMaskAreSuppressed)
{
    for (const bool dark : {false, true}) {
        const TerminalScreen screen = TerminalScreen::draw({QStringLiteral("alpha bravo charlie"),
                                                            QStringLiteral("delta secret echo"),
                                                            QStringLiteral("foxtrot golf hotel")},
                                                           dark);
        const int height = screen.image.height();
        const QRect secret = screen.word(QStringLiteral("secret")).box.adjusted(0, 2, 0, -2);
        QImage composite = screen.image.copy();
        QPainter(&composite).fillRect(secret, Qt::black);
        const QList<Rect> occlusions{flipped(secret, height)};
        const QList<Rect> base = Safe::textRegions(screen.image, RecognitionCancellation());
        const QImage prepared
            = Safe::prepare(composite, base, occlusions, RecognitionCancellation());

        const QImage original = composite.convertToFormat(prepared.format());
        int kept = 0;
        for (const Rect& word : Safe::textRegions(composite, RecognitionCancellation())) {
            const Rect reach = word.insetBy(-3, -3);
            const QRect pixels(int(word.minX()), height - int(word.maxY()), int(word.width()),
                               int(word.height()));
            if (!reach.intersected(occlusions[0]).isNull())
                continue;
            ++kept;
            for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
                for (int x = pixels.left(); x <= pixels.right(); ++x)
                    ASSERT_EQ(prepared.pixel(x, y), original.pixel(x, y))
                        << (dark ? "dark " : "light ") << x << ", " << y;
            }
        }
        // alpha, charlie, delta, echo, foxtrot, hotel at least.
        EXPECT_GE(kept, 6) << (dark ? "dark" : "light");
        // The base image's word under the mask is gone with its margin.
        for (const Rect& word : base) {
            if (!word.intersected(occlusions[0]).isNull()) {
                EXPECT_TRUE(uniform(prepared,
                                    QRect(int(word.minX()) - 3, height - int(word.maxY()) - 3,
                                          int(word.width()) + 6, int(word.height()) + 6)));
            }
        }
        // Every changed pixel took a colour the screen already had around it.
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < prepared.width(); ++x) {
                if (prepared.pixel(x, y) != original.pixel(x, y)) {
                    ASSERT_TRUE(prepared.pixelColor(x, y) == screen.background
                                || prepared.pixelColor(x, y) == QColor(Qt::black))
                        << x << ", " << y;
                }
            }
        }
    }
}

// The colour space is converted once, the same way with or without masks,
// so text away from a mask reads from the same grey values either way.
TEST(SafeTextImage, ImagesInAnotherColourSpaceReadTheSameWithOrWithoutMasks)
{
    QImage image = TextFixture::darkPanel().image.convertToFormat(QImage::Format_ARGB32);
    image.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    const QImage prepared = Safe::prepare(image, {}, {Rect(image.width() - 10, 0, 10, 10)},
                                          RecognitionCancellation());
    const QImage direct = TextLayout::grey(image);
    const QImage masked = TextLayout::grey(prepared);
    ASSERT_EQ(direct.size(), masked.size());
    const QRect away(0, 0, image.width() - 20, image.height() - 20);
    for (int y = away.top(); y <= away.bottom(); ++y) {
        for (int x = away.left(); x <= away.right(); ++x)
            ASSERT_EQ(direct.pixelColor(x, y), masked.pixelColor(x, y)) << x << ", " << y;
    }
    // And it is a real conversion: the grey differs from the unconverted one.
    QImage untagged = image;
    untagged.setColorSpace(QColorSpace());
    EXPECT_NE(TextLayout::grey(untagged), direct);
}

// The composite the editor recognises starts from the base converted as
// recognition converts an image it reads: every grey of a base in a
// gamma-2.2 space comes out of a composite with a mask exactly as it comes
// out of the conversion of the base alone.
TEST(SafeTextImage, CompositesOfImagesInAnotherColourSpaceKeepTheTextPixelsOfTheBase)
{
    QImage base(256, 40, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y) {
        for (int x = 0; x < base.width(); ++x)
            base.setPixel(x, y, qRgb(x, x, (x + y) % 256));
    }
    base.setColorSpace(
        QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Gamma, 2.2f));
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskEffect = MaskEffect::solid;
    const AnnotationObject mask(AnnotationTool::mask, style, Point{240, 0}, Point{256, 10});
    const std::optional<QImage> composite = AnnotationRenderer::render(base, {mask});
    ASSERT_TRUE(composite);
    const QImage expected = TextLayout::inSrgb(base);
    for (int y = 0; y < 28; ++y) {
        for (int x = 0; x < 236; ++x)
            ASSERT_EQ(composite->pixel(x, y), expected.pixel(x, y)) << x << ", " << y;
    }
}

TEST(SafeTextImage, WordsNearAMaskArePaintedOverAndWordsFurtherAwayAreKept)
{
    const TextFixture fixture = TextFixture::englishInterface();
    const int height = fixture.image.height();
    const QList<Rect> regions = Safe::textRegions(fixture.image, RecognitionCancellation());
    // The first and last word regions of a drawn line.
    const auto ends = [&](const QRect& line) {
        std::pair<Rect, Rect> result{Rect::null(), Rect::null()};
        for (const Rect& region : regions) {
            if (!flipped(line, height).insetBy(-1, -1).contains(region))
                continue;
            if (result.first.isNull() || region.minX() < result.first.minX())
                result.first = region;
            if (result.second.isNull() || region.maxX() > result.second.maxX())
                result.second = region;
        }
        return result;
    };
    const auto pixels = [height](const Rect& rect) {
        return QRect(int(rect.minX()), height - int(rect.maxY()), int(rect.width()),
                     int(rect.height()));
    };
    const auto [firstStart, firstEnd] = ends(fixture.lines[0].box);
    const auto [secondStart, secondEnd] = ends(fixture.lines[1].box);
    ASSERT_FALSE(firstEnd.isNull());
    ASSERT_NE(firstStart, firstEnd);

    // A mask 2 pixels to the right of the first line's last word, and one
    // 4 pixels to the right of the second line's.
    const Rect firstMask(firstEnd.maxX() + 2, firstEnd.minY(), 40, firstEnd.height());
    const Rect secondMask(secondEnd.maxX() + 4, secondEnd.minY(), 40, secondEnd.height());
    const QImage prepared
        = Safe::prepare(fixture.image, {}, {firstMask, secondMask}, RecognitionCancellation());

    // The word next to the first mask is gone; the rest of its line stays.
    EXPECT_GT(darkPixels(fixture.image, pixels(firstEnd)), 20);
    EXPECT_TRUE(allWhite(prepared, pixels(firstEnd).adjusted(-2, -2, 2, 2)));
    EXPECT_GT(darkPixels(prepared, pixels(firstStart)), 20);
    // The second line is untouched.
    const QRect second = fixture.lines[1].box;
    for (int y = second.top(); y <= second.bottom(); ++y) {
        for (int x = second.left(); x <= second.right(); ++x)
            ASSERT_EQ(prepared.pixel(x, y), fixture.image.pixel(x, y)) << x << ", " << y;
    }
    // Lines not near any mask stay as they were.
    EXPECT_GT(darkPixels(prepared, fixture.lines[3].box), 50);
}

// Two glyphs 6 pixels apart make a line whose one blank the image's own
// analysis cannot call a word space; the base image, whose line held more,
// knew them as two words. A mask beside the right one hides it alone.
TEST(SafeTextImage, AFarWordOfTheBaseImageIsKeptWhereTheImageJoinsItToAMaskedOne)
{
    QImage image(120, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRect left(20, 12, 14, 16);
    const QRect right(40, 12, 14, 16);
    QPainter(&image).fillRect(left, Qt::black);
    QPainter(&image).fillRect(right, Qt::black);
    const int height = image.height();
    const QList<Rect> own = Safe::textRegions(image, RecognitionCancellation());
    ASSERT_EQ(own.size(), 1); // one word to the image itself
    const QList<Rect> base{flipped(left, height), flipped(right, height)};
    const Rect mask = flipped(QRect(right.right() + 3, 10, 30, 20), height);

    const QImage kept = Safe::prepare(image, base, {mask}, RecognitionCancellation());
    EXPECT_EQ(darkPixels(kept, left), left.width() * left.height());
    EXPECT_EQ(darkPixels(kept, right), 0);

    // Without the base image's words the whole region goes, as before.
    const QImage joined = Safe::prepare(image, {}, {mask}, RecognitionCancellation());
    EXPECT_EQ(darkPixels(joined, left), 0);
    // A base word within reach of the mask keeps nothing of the region.
    const QList<Rect> near{flipped(left.united(right), height)};
    EXPECT_EQ(darkPixels(Safe::prepare(image, near, {mask}, RecognitionCancellation()), left), 0);
}

TEST(SafeTextImage, TextVisibleOnlyInTheBaseImageIsSuppressedThroughTheBaseRegions)
{
    // The base image shows a line of text; in the composite a blur over
    // its middle has faded the whole line past what layout analysis finds,
    // so only the base image's regions know that its faint ends, outside
    // the mask, belong to a masked word.
    const TextFixture fixture = TextFixture::simplifiedChinese();
    const QImage& base = fixture.image;
    const QRect secret = fixture.lines[0].box;
    QImage composite = base.copy();
    {
        QPainter painter(&composite);
        painter.fillRect(secret, QColor(255, 255, 255, 220));
    }
    const QRect mask(secret.center().x() - 10, secret.top(), 20, secret.height());
    const QList<Rect> occlusions{flipped(mask, base.height())};
    ASSERT_TRUE(Safe::textRegions(composite, RecognitionCancellation()).size() == 1);
    const QImage alone = Safe::prepare(composite, {}, occlusions, RecognitionCancellation());
    EXPECT_FALSE(uniform(alone, secret));

    const QList<Rect> baseRegions = Safe::textRegions(base, RecognitionCancellation());
    ASSERT_EQ(baseRegions.size(), 2);
    const Rect ink = baseRegions[0];
    const QRect inkPixels(int(ink.minX()), base.height() - int(ink.maxY()), int(ink.width()),
                          int(ink.height()));
    ASSERT_TRUE(inkPixels.intersects(secret));

    const QImage prepared
        = Safe::prepare(composite, baseRegions, occlusions, RecognitionCancellation());
    // The base region, grown by 3 pixels, is one flat colour.
    EXPECT_TRUE(uniform(prepared, inkPixels.adjusted(-3, -3, 3, 3)));
    // The other line, far from the mask, is untouched.
    EXPECT_GT(darkPixels(prepared, fixture.lines[1].box), 50);
}

TEST(SafeTextImage, PreparedImageIsAnSrgbCopyWithRegionsRoundedOutwardInTheirSurroundingColour)
{
    // A dotted image: no text of its own (single dots are specks), so only
    // the given region counts, and every dot painted over shows.
    const QColor ground(20, 40, 60);
    const QColor dot(200, 200, 200);
    QImage image(100, 50, QImage::Format_ARGB32);
    image.fill(ground);
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            image.setPixelColor(x, y, dot);
    }
    const QImage prepared = Safe::prepare(image, {Rect(10.5, 20.25, 5, 5)}, {Rect(12, 22, 1, 1)},
                                          RecognitionCancellation());
    EXPECT_EQ(prepared.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(prepared.colorSpace(), QColorSpace(QColorSpace::SRgb));
    ASSERT_EQ(prepared.size(), image.size());

    // Grown by 3 to (7.5, 17.25, 11, 11), rounded out to (7, 17, 12, 12) in
    // bottom-left space: columns 7 to 18, rows 50 - 29 = 21 to 32 from the
    // top, filled with the colour most of the ring around it has.
    const QRect filled(7, 21, 12, 12);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor expected = filled.contains(x, y) ? ground : image.pixelColor(x, y);
            ASSERT_EQ(prepared.pixelColor(x, y), expected) << x << ", " << y;
        }
    }
}

TEST(SafeTextImage, ImagesWithAPixelRatioAreCopiedPixelForPixel)
{
    QImage image = TextFixture::simplifiedChinese().image;
    image.setDevicePixelRatio(2);
    // A mask in the lower right corner, away from the text.
    const QImage prepared
        = Safe::prepare(image, {}, {Rect(300, 0, 20, 10)}, RecognitionCancellation());
    ASSERT_EQ(prepared.size(), image.size());
    EXPECT_EQ(prepared.devicePixelRatio(), 2);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(prepared.pixel(x, y), image.pixel(x, y)) << x << ", " << y;
    }
}

TEST(SafeTextImage, FailuresAndCancellation)
{
    try {
        Safe::prepare(QImage(), {}, {Rect(0, 0, 10, 10)}, RecognitionCancellation());
        FAIL() << "a null image cannot be prepared";
    } catch (const Safe::PreparationFailure& failure) {
        EXPECT_EQ(failure.error, Safe::PreparationError::allocation);
    }

    RecognitionCancellation cancelled;
    cancelled.cancel();
    const QImage image = TextFixture::englishInterface().image;
    EXPECT_THROW(Safe::textRegions(image, cancelled), RecognitionCancellation::Cancelled);
    EXPECT_THROW(Safe::prepare(image, {}, {Rect(0, 0, 10, 10)}, cancelled),
                 RecognitionCancellation::Cancelled);
    // Without occlusions there is nothing to cancel: the image is the result.
    EXPECT_EQ(Safe::prepare(image, {}, {}, cancelled), image);

    // A copy shares the flag.
    RecognitionCancellation original;
    const RecognitionCancellation copy = original;
    original.cancel();
    EXPECT_TRUE(copy.isCancelled());
}

} // namespace
