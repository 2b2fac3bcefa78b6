#include "annotation/AnnotationTextLayout.h"

#include "annotation/AnnotationRenderer.h"

#include <QFontInfo>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <ostream>
#include <random>

using namespace kelpie;

namespace kelpie {
void PrintTo(const Size& size, std::ostream* out) { *out << size.width << " × " << size.height; }
} // namespace kelpie

namespace {

constexpr double inset = AnnotationTextLayout::inset;

AnnotationStyle textStyle(double fontSize, bool bold = false)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::text, 1);
    style.fontSize = fontSize;
    style.bold = bold;
    return style;
}

// Rows (top-down) of `image` inside `columns` that hold any pixel differing
// from `background`.
QList<int> inkRows(const QImage& image, QColor background)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != background) {
                rows.append(y);
                break;
            }
        }
    }
    return rows;
}

// Runs of consecutive ink rows: the text lines drawn.
int bands(const QList<int>& rows)
{
    int count = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i == 0 || rows[i] != rows[i - 1] + 1)
            ++count;
    }
    return count;
}

} // namespace

TEST(AnnotationTextLayout, LineBreaksAndEmptyText)
{
    const AnnotationStyle style = textStyle(24);
    const double line = AnnotationTextLayout::lineHeight(style);
    ASSERT_GT(line, 24);

    // An empty text is one line high and as narrow as allowed.
    const Size empty = AnnotationTextLayout::size({}, style, 360);
    EXPECT_EQ(empty.width, 2 * inset + 1);
    EXPECT_EQ(empty.height, std::ceil(line + 2 * inset));

    // A trailing line break adds exactly one line; so does each break
    // between lines, and CR LF counts once.
    const Size one = AnnotationTextLayout::size(QStringLiteral("你好 Kelpie"), style, 360);
    const Size trailing = AnnotationTextLayout::size(QStringLiteral("你好 Kelpie\n"), style, 360);
    const Size two = AnnotationTextLayout::size(QStringLiteral("你好 Kelpie\nabc"), style, 360);
    const Size windows
        = AnnotationTextLayout::size(QStringLiteral("你好 Kelpie\r\nabc"), style, 360);
    EXPECT_EQ(one.height, std::ceil(line + 2 * inset));
    EXPECT_NEAR(trailing.height - one.height, line, 1);
    EXPECT_EQ(trailing.width, one.width);
    EXPECT_EQ(two.height, trailing.height);
    EXPECT_EQ(windows, two);
    EXPECT_NEAR(AnnotationTextLayout::size(QStringLiteral("\n"), style, 360).height,
                2 * line + 2 * inset, 1);
}

TEST(AnnotationTextLayout, WrapsAtTheWidthGivenInsetsIncluded)
{
    const AnnotationStyle style = textStyle(20);
    const double line = AnnotationTextLayout::lineHeight(style);
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog again");

    const Size wide = AnnotationTextLayout::size(sentence, style, 2000);
    EXPECT_EQ(wide.height, std::ceil(line + 2 * inset));
    EXPECT_LT(wide.width, 2000);
    EXPECT_GT(wide.width, 200);

    const Size narrow = AnnotationTextLayout::size(sentence, style, 200);
    EXPECT_LE(narrow.width, 200);
    EXPECT_GE(narrow.height, std::ceil(3 * line + 2 * inset) - 1);

    // A word longer than a line breaks inside the word rather than spill.
    const Size word = AnnotationTextLayout::size(QString(40, u'm'), style, 120);
    EXPECT_LE(word.width, 120);
    EXPECT_GT(word.height, 2 * line);

    // Chinese breaks between any two characters: ten 20-pixel characters
    // fit in 204 pixels, eleven do not.
    const Size chinese = AnnotationTextLayout::size(QString(30, QChar(0x5b57)), style, 212);
    EXPECT_EQ(chinese.width, 2 * inset + 200);
    EXPECT_EQ(chinese.height, std::ceil(3 * line + 2 * inset));

    // A width below the minimum box is returned as given.
    EXPECT_EQ(AnnotationTextLayout::size(QStringLiteral("x"), style, 5).width, 5);
}

TEST(AnnotationTextLayout, SizesAreInImagePixelsAndScaleWithTheFont)
{
    // Glyph ink of a Chinese character is nearly the em square: 100-pixel
    // text must not come out at a screen's point-to-pixel ratio.
    const AnnotationStyle big = textStyle(100);
    const Size box = AnnotationTextLayout::size(QStringLiteral("中"), big, 1000);
    EXPECT_GT(box.width - 2 * inset, 95);
    EXPECT_LT(box.width - 2 * inset, 110);
    EXPECT_NEAR(AnnotationTextLayout::lineHeight(textStyle(40)),
                2 * AnnotationTextLayout::lineHeight(textStyle(20)), 0.5);
    EXPECT_GT(
        AnnotationTextLayout::size(QStringLiteral("Kelpie 标注"), textStyle(30, true), 900).width,
        AnnotationTextLayout::size(QStringLiteral("Kelpie 标注"), textStyle(30), 900).width);
}

TEST(AnnotationTextLayout, ChineseHasRealGlyphsInBothWeights)
{
    for (bool bold : {false, true}) {
        const AnnotationTextLayout::Attributes attributes
            = AnnotationTextLayout::attributes(textStyle(24, bold));
        QTextLayout layout(QStringLiteral("图片合成失败，请撤销后重试"), attributes.font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        ASSERT_FALSE(runs.isEmpty());
        for (const QGlyphRun& run : runs) {
            for (quint32 glyph : run.glyphIndexes())
                EXPECT_NE(glyph, 0u)
                    << "missing glyph in " << run.rawFont().familyName().toStdString();
        }
    }
}

TEST(AnnotationTextLayout, DrawsWhereItMeasuresFromTheTopDown)
{
    // Three lines measured, three lines drawn, all inside the measured box,
    // starting right below its top inset; the rest of a taller box is empty.
    AnnotationStyle style = textStyle(20);
    style.color = AnnotationColor(0, 0, 0);
    const QString text = QStringLiteral("第一行\n第二行 second\n第三行");
    const Size measured = AnnotationTextLayout::size(text, style, 400);
    const double line = AnnotationTextLayout::lineHeight(style);
    ASSERT_EQ(measured.height, std::ceil(3 * line + 2 * inset));

    const int height = 200;
    QImage base(300, height, QImage::Format_RGB32);
    base.fill(Qt::white);
    // A box twice as tall as needed, 10 pixels below the image's top.
    const double top = height - 10;
    const AnnotationObject object(AnnotationTool::text, style, {20, top - 2 * measured.height},
                                  {20 + measured.width, top}, {}, 0, text, 400);
    const auto composite = AnnotationRenderer::render(base, {object});
    ASSERT_TRUE(composite);
    const QList<int> rows = inkRows(*composite, Qt::white);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(bands(rows), 3);
    EXPECT_GE(rows.front(), 10 + inset);
    EXPECT_LT(rows.front(), 10 + inset + line / 2);
    EXPECT_LE(rows.back(), 10 + measured.height - inset);

    // Nothing left of the inset or right of the measured width.
    for (int y : rows) {
        for (int x = 0; x < 300; ++x) {
            if (composite->pixelColor(x, y) != QColor(Qt::white)) {
                EXPECT_GE(x, 20 + inset - 1);
                EXPECT_LE(x, 20 + measured.width);
            }
        }
    }
}

TEST(AnnotationTextLayout, ModelResizesTextThroughTheRealMeasurer)
{
    const AnnotationStyle style = textStyle(20);
    const QString text = QStringLiteral("缩放 resize");
    const Size before = AnnotationTextLayout::size(text, style, 360);
    const AnnotationObject object(AnnotationTool::text, style, {10, 10},
                                  {10 + before.width, 10 + before.height}, {}, 0, text, 360);
    const AnnotationObject bigger = object.resized(
        Rect(50, 60, before.width * 2, before.height * 2), AnnotationTextLayout::measurer());
    EXPECT_EQ(bigger.style.fontSize, 40);
    const Size after = AnnotationTextLayout::size(text, bigger.style, bigger.textLayoutWidth);
    EXPECT_EQ(bigger.start, (Point{50, 60}));
    EXPECT_EQ(bigger.end, (Point{50 + after.width, 60 + after.height}));
    EXPECT_NEAR(after.width - 2 * inset, 2 * (before.width - 2 * inset), 2);
}

TEST(AnnotationTextLayout, AMeasuredBoxHoldsItsTextWhenMeasuredAgainAtItsOwnWidth)
{
    // The width returned is the width the box gets, and the renderer and the
    // editor wrap the text at it: there it must break into the same lines.
    // A line whose last word is followed by a space needs more room to keep
    // that word than the ink of the line shows.
    const AnnotationStyle style = textStyle(24);
    const QString sentence = QStringLiteral("Check the account number ");
    const Size first = AnnotationTextLayout::size(sentence, style, 193);
    EXPECT_EQ(AnnotationTextLayout::size(sentence, style, first.width), first);

    // The same over random texts (words, spaces, Chinese, line breaks) and
    // random widths, sizes and weights.
    std::mt19937 random(20261208);
    const QString pieces[]
        = {QStringLiteral("a"),    QStringLiteral("the"),         QStringLiteral("number"),
           QStringLiteral("W"),    QStringLiteral("illegible"),   QStringLiteral("账户"),
           QStringLiteral("号码"), QStringLiteral("，"),          QStringLiteral(" "),
           QStringLiteral("  "),   QStringLiteral("\n"),          QStringLiteral("-"),
           QStringLiteral("1234"), QStringLiteral("mmmmmmmmmmmm")};
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (int round = 0; round < 1000; ++round) {
        QString text;
        const int count = 1 + pick(14);
        for (int i = 0; i < count; ++i) {
            text += pieces[pick(std::size(pieces))];
            if (pick(3) > 0)
                text += u' ';
        }
        const AnnotationStyle s = textStyle(8 + pick(60), pick(2) == 1);
        const double maxWidth = 9 + std::uniform_real_distribution<double>(0, 400)(random);
        const Size box = AnnotationTextLayout::size(text, s, maxWidth);
        ASSERT_LE(box.width, maxWidth);
        ASSERT_EQ(AnnotationTextLayout::size(text, s, box.width), box)
            << "\"" << text.toStdString() << "\" at " << s.fontSize << (s.bold ? " bold" : "")
            << ", max width " << maxWidth;
    }
}
