#include "text/TextLayout.h"

#include "tests/text/TerminalScreen.h"
#include "tests/text/TextFixture.h"

#include <QColorSpace>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

using namespace kelpie;

std::vector<QRect> linesOf(const QImage& image)
{
    return TextLayout::lines(TextLayout::normalized(TextLayout::grey(image)),
                             RecognitionCancellation());
}

// Sets the painter's font: `family` at `pixels` pixels.
void useFont(QPainter& painter, const QString& family, int pixels)
{
    QFont font(family);
    font.setPixelSize(pixels);
    painter.setFont(font);
}

// The lines of light terminal rows drawn in 9-pixel cells, 17 pixels apart.
std::vector<TextLayout::Line> terminalLinesInCells(const QStringList& rows)
{
    const TerminalScreen screen = TerminalScreen::drawInCells(rows, false, 17, 9);
    return TextLayout::analyse(TextLayout::normalized(TextLayout::grey(screen.image)),
                               RecognitionCancellation());
}

int inkIn(const QImage& normalized, const QRect& rect)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += normalized.pixelColor(x, y).value() < TextLayout::inkThreshold;
    }
    return ink;
}

// Every drawn line is found as exactly one line and every found line is a
// drawn one: light and dark panels, coloured buttons, grey status text,
// several columns.
TEST(TextLayout, FindsEveryFixtureLineOnce)
{
    for (const TextFixture& fixture : TextFixture::all()) {
        const std::vector<QRect> found = linesOf(fixture.image);
        for (const TextFixture::Line& line : fixture.lines) {
            int hits = 0;
            for (const QRect& box : found)
                hits += box.intersects(line.box);
            EXPECT_EQ(hits, 1) << fixture.name.toStdString() << ": " << line.text.toStdString();
        }
        for (const QRect& box : found) {
            int hits = 0;
            for (const TextFixture::Line& line : fixture.lines)
                hits += box.intersects(line.box);
            EXPECT_EQ(hits, 1) << fixture.name.toStdString() << ": stray line at " << box.x()
                               << ", " << box.y();
        }
    }
}

// Large Han characters are often several pieces of ink stacked in one
// square (the strokes of 三, the dots of 点): each sentence is still one
// whole line, not an icon beside a few scraps of text.
TEST(TextLayout, LargeChineseLinesAreWholeLines)
{
    for (const TextFixture& fixture : TextFixture::largeChinese()) {
        const std::vector<QRect> found = linesOf(fixture.image);
        ASSERT_EQ(found.size(), fixture.lines.size()) << fixture.name.toStdString();
        for (std::size_t i = 0; i < found.size(); ++i) {
            const QRect drawn = fixture.lines[i].box;
            // The line spans the sentence from its first character to its
            // last, within the row it was drawn on.
            EXPECT_TRUE(drawn.adjusted(-2, -2, 2, 2).contains(found[i]))
                << fixture.name.toStdString() << " line " << i;
            EXPECT_GE(found[i].width(), drawn.width() * 9 / 10)
                << fixture.name.toStdString() << " line " << i;
        }
    }
}

// An icon as tall as three lines of text beside them is left out, and the
// lines it would join stay apart, also where their characters are built of
// stacked strokes.
TEST(TextLayout, IconBesideStackedCharactersIsLeftOut)
{
    QImage image(420, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A ring: ink, where a filled disc would be a panel of its own.
    painter.setPen(QPen(QColor(0x33, 0x66, 0xcc), 6));
    painter.drawEllipse(QRect(10, 14, 84, 84));
    useFont(painter, QStringLiteral("Noto Sans CJK SC"), 18);
    painter.setPen(Qt::black);
    const QStringList texts{QString::fromUtf8("三点半开会"), QString::fromUtf8("下午三时整"),
                            QString::fromUtf8("三楼三号室")};
    for (int i = 0; i < 3; ++i)
        painter.drawText(QPoint(110, 36 + 28 * i), texts[i]);
    painter.end();

    const std::vector<QRect> found = linesOf(image);
    ASSERT_EQ(found.size(), 3u);
    for (const QRect& box : found) {
        EXPECT_GE(box.left(), 105);
        EXPECT_LE(box.height(), 26);
    }
}

TEST(TextLayout, ReadingOrderFollowsColumns)
{
    const TextFixture fixture = TextFixture::mixedScreen();
    std::vector<QString> order;
    for (const QRect& box : linesOf(fixture.image)) {
        for (const TextFixture::Line& line : fixture.lines) {
            if (box.intersects(line.box))
                order.push_back(line.text);
        }
    }
    ASSERT_EQ(order.size(), fixture.lines.size());
    // The title bar, then the whole sidebar top to bottom, then the heading
    // and the main column.
    EXPECT_EQ(order[0], QString::fromUtf8("Kelpie 设置 - Preferences"));
    EXPECT_EQ(order[1], QStringLiteral("General"));
    EXPECT_EQ(order[2], QString::fromUtf8("快捷键"));
    EXPECT_EQ(order[11], QString::fromUtf8("关于 Kelpie"));
    EXPECT_EQ(order[12], QString::fromUtf8("General 常规设置"));
    EXPECT_EQ(order[13], QStringLiteral("Capture shortcut: F1"));
    EXPECT_EQ(order[14], QString::fromUtf8("区域截图的快捷键可以在这里修改"));
}

TEST(TextLayout, LargeBoldTypeKeepsItsStrokes)
{
    // Strokes of large bold type are flat areas of one colour, like panels;
    // they must stay ink.
    QImage image(700, 160, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(72);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(20, 20, 660, 120), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromUtf8("醒目标题 Bold"));
    painter.end();

    const QImage grey = TextLayout::grey(image);
    const QImage normalized = TextLayout::normalized(grey);
    const std::vector<QRect> found = TextLayout::lines(normalized, RecognitionCancellation());
    ASSERT_EQ(found.size(), 1u);
    // Nearly all the ink of the original survives normalisation.
    EXPECT_GT(inkIn(normalized, found[0]), inkIn(grey, found[0]) * 9 / 10);
}

TEST(TextLayout, FlatImagesRulesAndFramesHoldNoLines)
{
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(QColor(0x33, 0x66, 0x99));
    EXPECT_TRUE(linesOf(image).empty());

    QPainter painter(&image);
    painter.fillRect(0, 100, 400, 1, Qt::white); // a separator
    painter.fillRect(200, 0, 2, 200, Qt::black); // a column rule
    painter.setPen(Qt::white);
    painter.drawRect(20, 20, 150, 30); // an empty field
    painter.end();
    EXPECT_TRUE(linesOf(image).empty());

    EXPECT_TRUE(TextLayout::normalized(QImage()).isNull());
    EXPECT_TRUE(TextLayout::lines(QImage(), RecognitionCancellation()).empty());
}

TEST(TextLayout, LineImagesReadDarkOnWhiteWhateverTheColours)
{
    // White text on a blue button on a dark panel.
    const TextFixture fixture = TextFixture::darkPanel();
    const QImage grey = TextLayout::grey(fixture.image);
    const std::vector<QRect> found
        = TextLayout::lines(TextLayout::normalized(grey), RecognitionCancellation());
    ASSERT_EQ(found.size(), 3u);
    for (const QRect& box : found) {
        const TextLayout::LineImage line = TextLayout::lineImage(grey, box, 24);
        ASSERT_FALSE(line.image.isNull());
        EXPECT_GE(line.image.height(), 24);
        EXPECT_GE(line.scale, 1.0);
        // Ink inside, a white margin all round (no button edge).
        const QImage& image = line.image;
        EXPECT_GT(inkIn(image, image.rect()), image.width());
        EXPECT_EQ(inkIn(image, QRect(0, 0, image.width(), 2)), 0);
        EXPECT_EQ(inkIn(image, QRect(0, image.height() - 2, image.width(), 2)), 0);
        EXPECT_EQ(inkIn(image, QRect(0, 0, 2, image.height())), 0);
        EXPECT_EQ(inkIn(image, QRect(image.width() - 2, 0, 2, image.height())), 0);
        // The origin and scale map the line back onto its box.
        EXPECT_LE(line.origin.x(), box.left());
        EXPECT_LE(line.origin.y(), box.top());
        EXPECT_GE(line.origin.x() + image.width() / line.scale, box.right());
    }
}

// A line's box that a field's frame runs through: the frame's side is no
// ink of the line (read, it was a "|"), a bar drawn inside the line is, and
// so is the edge of a band too wide to be a frame.
TEST(TextLayout, FramesRunningThroughALineAreNoPartOfIt)
{
    QImage image(320, 60, QImage::Format_RGB32);
    image.fill(QColor(0xef, 0xef, 0xef));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0xab, 0xab, 0xab));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(80.5, 10.5, 200, 30), 3, 3);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawLine(150, 19, 150, 31); // a bar of the line's own text
    painter.fillRect(QRect(240, 0, 8, 60), QColor(0x40, 0x40, 0x40)); // a dark band
    painter.end();

    const QImage grey = TextLayout::grey(image);
    const QRect box(20, 18, 260, 15);
    const TextLayout::LineImage line = TextLayout::lineImage(grey, box, box.height());
    ASSERT_FALSE(line.image.isNull());
    ASSERT_EQ(line.scale, 1.0);
    const auto inkAt = [&](int x) {
        return inkIn(line.image, QRect(x - line.origin.x(), 0, 1, line.image.height()));
    };
    EXPECT_EQ(inkAt(80) + inkAt(81), 0);
    EXPECT_GT(inkAt(150), 0);
    EXPECT_GT(inkAt(240), 0);
}

TEST(TextLayout, LatinInkSpansLessOfTheLineThanHan)
{
    const TextFixture fixture = TextFixture::mixedScreen();
    const QImage normalized = TextLayout::normalized(TextLayout::grey(fixture.image));
    const auto measure = [&](const char* text, double (*of)(const QImage&, const QRect&)) {
        for (const QRect& box : TextLayout::lines(normalized, RecognitionCancellation())) {
            for (const TextFixture::Line& line : fixture.lines) {
                if (line.text == QString::fromUtf8(text) && box.intersects(line.box))
                    return of(normalized, box);
            }
        }
        return -1.0;
    };
    const auto spanOf = [&](const char* text) { return measure(text, TextLayout::inkSpan); };
    const auto aboveOf = [&](const char* text) { return measure(text, TextLayout::inkAbove); };
    EXPECT_LT(spanOf("Appearance"), 0.7);
    EXPECT_LT(spanOf("Hide text covered by masks"), 0.7);
    EXPECT_GT(spanOf("默认保存到下载文件夹"), 0.76);
    EXPECT_GT(spanOf("截图保存位置"), 0.76);
    // Without descenders Latin spans as much as Han, but leaves the top of
    // the line nearly empty.
    for (const char* latin : {"Pin shortcut: F3", "Recent files"}) {
        EXPECT_GT(spanOf(latin), 0.7) << latin;
        EXPECT_LT(aboveOf(latin), 0.12) << latin;
    }
    EXPECT_GT(aboveOf("默认保存到下载文件夹"), 0.15);
    EXPECT_GT(aboveOf("截图保存位置"), 0.15);
}

TEST(TextLayout, BlankWidthMeasuresTheWidestGap)
{
    QImage image(40, 10, QImage::Format_Grayscale8);
    image.fill(255);
    for (const int x : {3, 4, 12, 20, 21})
        image.setPixel(x, 5, 0);
    EXPECT_EQ(TextLayout::blankWidth(image, 0, 10, 0, 40), 18); // 22 to 39
    EXPECT_EQ(TextLayout::blankWidth(image, 0, 10, 4, 21), 7);  // 13 to 19
    EXPECT_EQ(TextLayout::blankWidth(image, 6, 10, 4, 21), 17); // rows without ink
}

// A selected list row: white text on a blue bar between rows of dark text
// on white. The text is as light as the panel around the bar, but it lies
// inside the bar, so it stays ink and its line is found.
TEST(TextLayout, LightTextOnABarBesideALightPanelStaysInk)
{
    QImage image(420, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    useFont(painter, QStringLiteral("DejaVu Sans"), 13);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(QPoint(10, 30), QStringLiteral("Invoice 2024-0512.pdf"));
    painter.fillRect(QRect(0, 44, 420, 26), QColor(0x35, 0x84, 0xe4));
    painter.setPen(Qt::white);
    painter.drawText(QPoint(10, 62), QStringLiteral("Project Kelpie weekly"));
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(QPoint(10, 96), QStringLiteral("Release notes v0.1.0"));
    painter.end();

    const QImage normalized = TextLayout::normalized(TextLayout::grey(image));
    const std::vector<QRect> found = TextLayout::lines(normalized, RecognitionCancellation());
    ASSERT_EQ(found.size(), 3u);
    const QRect bar = found[1];
    EXPECT_GE(bar.top(), 44);
    EXPECT_LE(bar.bottom(), 69);
    EXPECT_GT(bar.width(), 120);
    EXPECT_GT(inkIn(normalized, bar), bar.width());
    // The bar's own edges are no ink.
    EXPECT_EQ(inkIn(normalized, QRect(0, 42, 420, 4)), 0);
    EXPECT_EQ(inkIn(normalized, QRect(0, 68, 420, 4)), 0);
}

// The same row as a desktop style draws it in a tight list: a bar only as
// high as the row, filled with a gentle gradient inside a darker rim, its
// text reaching nearly from rim to rim. The rim is no rule joining the rows
// around it, the rows keep to themselves, and the bar's line reads as dark
// text on white from its top to its bottom.
TEST(TextLayout, ATightGradientBarWithARimKeepsItsRowsApart)
{
    QImage image(360, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    useFont(painter, QStringLiteral("DejaVu Sans"), 12);
    const QRect bar(1, 31, 358, 15);
    QLinearGradient fill(bar.topLeft(), bar.bottomLeft());
    fill.setColorAt(0, QColor(49, 145, 204));
    fill.setColorAt(1, QColor(47, 138, 194));
    painter.fillRect(bar, fill);
    painter.setPen(QColor(43, 124, 176));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.drawText(QPoint(4, 27), QStringLiteral("Invoice 2024-0512.pdf"));
    painter.drawText(QPoint(4, 57), QStringLiteral("Archive 2023"));
    painter.setPen(Qt::white);
    painter.drawText(QPoint(4, 42), QStringLiteral("Project Kelpie"));
    painter.end();

    const QImage grey = TextLayout::grey(image);
    const QImage normalized = TextLayout::normalized(grey);
    const std::vector<QRect> found = TextLayout::lines(normalized, RecognitionCancellation());
    ASSERT_EQ(found.size(), 3u);
    EXPECT_LE(found[0].bottom(), bar.top());
    EXPECT_TRUE(bar.contains(found[1]));
    EXPECT_GE(found[2].top(), bar.bottom());
    EXPECT_EQ(inkIn(normalized, QRect(60, bar.bottom(), 300, 1)), 0) << "the rim is ink";

    // The capitals' tops are kept, and nothing of the bar around the text
    // is ink (read at its own size).
    const TextLayout::LineImage line = TextLayout::lineImage(grey, found[1], found[1].height());
    ASSERT_EQ(line.scale, 1.0);
    ASSERT_FALSE(line.image.isNull());
    const QRect text = found[1].translated(-line.origin);
    EXPECT_GT(inkIn(line.image, QRect(text.left(), text.top(), 12, 3)), 3);
    const QRect kept = text.adjusted(-1, -1, 1, 1).intersected(line.image.rect());
    EXPECT_EQ(inkIn(line.image, line.image.rect()), inkIn(line.image, kept))
        << "the bar around the text is ink";

    // Text drawn over the rim, a descender reaching through it to the white
    // below: the descender's part inside the line is kept ("Project", not
    // "Proiect").
    QPainter over(&image);
    useFont(over, QStringLiteral("DejaVu Sans"), 12);
    over.setPen(Qt::white);
    over.fillRect(bar.adjusted(1, 1, -1, -1), QColor(48, 141, 199));
    over.drawText(QPoint(4, 44), QStringLiteral("Project Kelpie"));
    over.end();
    const QImage lowered = TextLayout::grey(image);
    const std::vector<QRect> rows
        = TextLayout::lines(TextLayout::normalized(lowered), RecognitionCancellation());
    ASSERT_EQ(rows.size(), 3u);
    const TextLayout::LineImage reaching = TextLayout::lineImage(lowered, rows[1], rows[1].height());
    ASSERT_EQ(reaching.scale, 1.0);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QRect descender(4 + metrics.horizontalAdvance(QStringLiteral("Pro")),
                          rows[1].bottom() - 1, metrics.horizontalAdvance(QLatin1Char('j')), 2);
    EXPECT_GT(inkIn(reaching.image, descender.translated(-reaching.origin)), 0);
}

// Dark red text on a dark terminal differs from the panel in colour far
// more than in luminance; blue text on white the other way round. Both are
// found, and each line's ink is strongest in the view that tells it apart.
TEST(TextLayout, ColouredTextIsFoundWhereLuminanceHardlyShowsIt)
{
    QImage image(420, 90, QImage::Format_RGB32);
    image.fill(QColor(0x1e, 0x1e, 0x2e));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 50, 420, 40), Qt::white);
    useFont(painter, QStringLiteral("DejaVu Sans Mono"), 13);
    painter.setPen(QColor(0xcd, 0x00, 0x00));
    painter.drawText(QPoint(10, 28), QStringLiteral("modified: text/TextLayout.cpp"));
    painter.setPen(QColor(0x10, 0x30, 0xe0));
    painter.drawText(QPoint(10, 75), QStringLiteral("https://example.com/docs"));
    painter.end();

    EXPECT_EQ(linesOf(image).size(), 1u) << "luminance alone now finds the red line";
    const TextLayout::Views views = TextLayout::views(image);
    ASSERT_FALSE(views.brightest.isNull());
    const std::vector<QRect> found = TextLayout::lines(views.normalized, RecognitionCancellation());
    ASSERT_EQ(found.size(), 2u);
    const auto darknessIn = [&found](const QImage& grey, std::size_t line) {
        return TextLayout::darkness(TextLayout::lineImage(grey, found[line], 24).image);
    };
    EXPECT_GT(darknessIn(views.brightest, 0), 2 * darknessIn(views.grey, 0));
    EXPECT_GT(darknessIn(views.grey, 1), 2 * darknessIn(views.brightest, 1));

    // Without strong colour there is no second view.
    QImage plain(100, 40, QImage::Format_RGB32);
    plain.fill(QColor(0x80, 0x80, 0x80));
    EXPECT_TRUE(TextLayout::views(plain).brightest.isNull());
}

// Screenshots arrive as RGB32, the editor's composites as RGBA8888 and
// pictures from files in any layout or colour space: each reads as it would
// once converted to premultiplied ARGB in sRGB.
TEST(TextLayout, ViewsAreTheSameWhateverThePixelLayout)
{
    QImage image(64, 24, QImage::Format_ARGB32);
    image.fill(QColor(0x1e, 0x40, 0x2e));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, 20, 24), QColor(200, 30, 90, 128));
    painter.fillRect(QRect(40, 6, 20, 12), QColor(0x20, 0xc0, 0xf0));
    painter.end();
    const QImage reference = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const TextLayout::Views expected = TextLayout::views(reference);
    ASSERT_FALSE(expected.brightest.isNull());

    for (const QImage::Format format :
         {QImage::Format_ARGB32, QImage::Format_RGBA8888_Premultiplied, QImage::Format_RGBA8888,
          QImage::Format_RGB888}) {
        const QImage other = reference.convertToFormat(format);
        const TextLayout::Views views = TextLayout::views(other);
        EXPECT_EQ(views.grey, expected.grey) << format;
        EXPECT_EQ(views.brightest, expected.brightest) << format;
        EXPECT_EQ(views.normalized, expected.normalized) << format;
    }
    const QImage opaque = reference.convertToFormat(QImage::Format_RGB32);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGBX8888}) {
        const QImage other = opaque.convertToFormat(format);
        EXPECT_EQ(TextLayout::views(other).grey, TextLayout::views(opaque).grey) << format;
        EXPECT_EQ(TextLayout::grey(other), TextLayout::views(opaque).grey) << format;
    }

    QImage wide = reference;
    wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QImage converted = wide.convertedToColorSpace(QColorSpace::SRgb);
    EXPECT_EQ(TextLayout::views(wide).grey, TextLayout::views(converted).grey);
    EXPECT_NE(TextLayout::views(wide).grey, expected.grey) << "the colour space was ignored";
}

// A terminal listing: columns padded with runs of spaces. Every row is one
// line, the rows come top to bottom, and their words are the listing's.
TEST(TextLayout, TerminalRowsAreWholeLinesInRowOrder)
{
    const QStringList rows{
        QStringLiteral("alice@desk:~$ ls -l"),
        QStringLiteral("total 52"),
        QStringLiteral("drwxr-xr-x 2 alice   4096 May 12 docs"),
        QStringLiteral("-rw-r--r-- 1 alice  35149 Apr 30 LICENSE"),
        QStringLiteral("-rwxr-xr-x 1 alice    918 May  2 setup.sh"),
        QStringLiteral("alice@desk:~$"),
    };
    for (const bool dark : {false, true}) {
        const TerminalScreen screen = TerminalScreen::draw(rows, dark, 17);
        const std::vector<TextLayout::Line> found = TextLayout::analyse(
            TextLayout::normalized(TextLayout::grey(screen.image)), RecognitionCancellation());
        ASSERT_EQ(found.size(), std::size_t(rows.size())) << (dark ? "dark" : "light");
        std::size_t word = 0;
        for (std::size_t r = 0; r < found.size(); ++r) {
            const QStringList words
                = rows[qsizetype(r)].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            ASSERT_EQ(found[r].words.size(), std::size_t(words.size()))
                << rows[qsizetype(r)].toStdString();
            for (std::size_t w = 0; w < found[r].words.size(); ++w) {
                while (screen.words[word].text.isEmpty())
                    ++word;
                EXPECT_TRUE(
                    screen.words[word++].box.adjusted(-1, -1, 1, 1).contains(found[r].words[w]))
                    << words[qsizetype(w)].toStdString();
            }
        }
    }
}

} // namespace

// A terminal's rows sit on its cells; rows of narrow characters only are
// told from a row holding a Chinese character, which spans two cells.
// The text cursor after a prompt, a block in a focused terminal and an
// outlined box in one without focus, is no character of the row.
TEST(TextLayout, ATerminalsCursorIsNoPartOfItsRow)
{
    const QStringList rows{
        QStringLiteral("alice@desk:~$ ls -l"),
        QStringLiteral("total 52"),
        QStringLiteral("drwxr-xr-x 2 alice   4096 May 12 docs"),
        QStringLiteral("-rw-r--r-- 1 alice  35149 Apr 30 LICENSE"),
        QStringLiteral("alice@desk:~$"),
    };
    for (const bool focused : {true, false}) {
        TerminalScreen screen = TerminalScreen::draw(rows, !focused, 17);
        const QRect prompt = screen.words.back().box;
        const QRect cursor(prompt.right() + 9, prompt.top() - 1, 8, 16);
        QPainter painter(&screen.image);
        const QColor ink = focused ? QColor(0x20, 0x20, 0x20) : QColor(0xcd, 0xd6, 0xf4);
        if (focused) {
            painter.fillRect(cursor, ink);
        } else {
            painter.setPen(ink);
            painter.drawRect(cursor.adjusted(0, 0, -1, -1));
        }
        painter.end();
        const std::vector<TextLayout::Line> found = TextLayout::analyse(
            TextLayout::normalized(TextLayout::grey(screen.image)), RecognitionCancellation());
        ASSERT_EQ(found.size(), 5u) << (focused ? "block" : "outline");
        EXPECT_EQ(found[4].words.size(), 1u) << (focused ? "block" : "outline");
        EXPECT_LT(found[4].box.right(), cursor.left()) << (focused ? "block" : "outline");
    }
}

// Han characters of separate pieces stacked in their square (台, 三, 会)
// on rows only a few pixels apart: each piece stays with its own row, and
// no row reaches into the next.
TEST(TextLayout, StackedPiecesOfCloseRowsKeepToTheirRows)
{
    const QStringList rows{
        QString::fromUtf8("台北辦公室回覆：我們下週三會完成"),
        QString::fromUtf8("上线时间定在 2024 年 6 月 1 日"),
        QString::fromUtf8("三台会议室，台北三点会"),
        QString::fromUtf8("预计翻译 1,250 个词条"),
    };
    const std::vector<TextLayout::Line> found = terminalLinesInCells(rows);
    ASSERT_EQ(found.size(), std::size_t(rows.size()));
    for (std::size_t r = 0; r < found.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_LE(found[r].box.height(), 17);
        if (r > 0) {
            EXPECT_GT(found[r].box.top(), found[r - 1].box.bottom());
        }
    }
}

TEST(TextLayout, TerminalRowsKnowTheirCellsAndWhetherTheyHoldWideCharacters)
{
    const QStringList rows{
        QStringLiteral("alice@desk:~$ ls -l /var/log"),
        QStringLiteral("total 52 drwxr-xr-x 2 alice 4096"),
        QString::fromUtf8("会议纪要 2024-05-12 14:03 notes"),
        QStringLiteral("-rw-r--r-- 1 alice 35149 LICENSE"),
        QStringLiteral("-rwxr-xr-x 1 alice 918 setup.sh"),
    };
    const std::vector<TextLayout::Line> found = terminalLinesInCells(rows);
    ASSERT_EQ(found.size(), std::size_t(rows.size()));
    for (std::size_t r = 0; r < found.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(found[r].cells.width, 9);
        EXPECT_EQ(found[r].narrow, r != 2);
    }
}

namespace {

// Scaling a long, low line up is large enough for the image scaler to split
// its work over the global pool. A recognition reads lines on helper threads
// while its own pool worker waits for them; with every pool worker so
// waiting, the split pieces must still get a thread, or the analysis (and
// the process exit that waits for it) hangs forever. The wait below is a
// hang watchdog, far beyond the time the work needs.
TEST(TextLayout, ScalesALineWhileThePoolIsBusy)
{
    QImage grey(2000, 40, QImage::Format_Grayscale8);
    grey.fill(255);
    for (int x = 10; x < 1990; x += 6)
        for (int y = 15; y < 25; ++y)
            grey.scanLine(y)[x] = 0;
    const QRect box(8, 14, 1984, 12);

    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    TextLayout::LineImage line;
    pool->start([&] {
        std::thread helper([&] { line = TextLayout::lineImage(grey, box, 200); });
        helper.join();
    });
    const bool finished = pool->waitForDone(10 * 60 * 1000);
    pool->setMaxThreadCount(threads);
    if (!finished)
        std::abort(); // the worker is stuck and still refers to this frame
    ASSERT_FALSE(line.image.isNull());
    EXPECT_GE(line.image.height(), 200);
    EXPECT_GT(line.scale, 1.0);
}

} // namespace
