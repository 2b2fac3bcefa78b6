#include "text/TerminalCells.h"

#include "tests/text/TerminalScreen.h"
#include "text/TextLayout.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// A terminal row in a 6 × 13 bitmap font, drawn straight into a normalised
// image (black ink on white): cells 6 pixels wide from x = 4, letters 5 × 9
// standing on the baseline at y = 11, and the small marks as the font draws
// them: a full stop is a diamond on the baseline, a colon two diamonds, a
// comma a three-pixel stroke leaning to the left below the baseline.
class Row {
public:
    static constexpr int cell = 6;
    static constexpr int origin = 4;
    static constexpr int baseline = 11;

    explicit Row(const QString& text)
        : image(origin + cell * int(text.size()) + 8, 16, QImage::Format_Grayscale8)
    {
        image.fill(255);
        for (int i = 0; i < text.size(); ++i) {
            ink = QRect();
            draw(text[i], origin + i * cell);
            if (!ink.isNull())
                boxes.push_back(ink);
        }
    }

    QRect line() const { return QRect(origin, 1, image.width() - origin - 8, 13); }

    QImage image;
    // The ink of each character that has some.
    std::vector<QRect> boxes;

private:
    QRect ink;

    void dot(int x, int y)
    {
        image.scanLine(y)[x] = 0;
        ink = ink.united(QRect(x, y, 1, 1));
    }

    // A diamond whose lowest pixel is on row `bottom`.
    void diamond(int x, int bottom)
    {
        dot(x + 1, bottom - 2);
        dot(x, bottom - 1);
        dot(x + 1, bottom - 1);
        dot(x + 2, bottom - 1);
        dot(x + 1, bottom);
    }

    void draw(QChar c, int x)
    {
        switch (c.unicode()) {
        case ' ': break;
        case '.': diamond(x + 1, baseline); break;
        case ':':
            diamond(x + 1, baseline - 5);
            diamond(x + 1, baseline);
            break;
        case ',':
            dot(x + 2, baseline - 1);
            dot(x + 3, baseline - 1);
            dot(x + 2, baseline);
            dot(x + 1, baseline + 1);
            break;
        case ';':
            diamond(x + 1, baseline - 5);
            dot(x + 2, baseline - 1);
            dot(x + 3, baseline - 1);
            dot(x + 2, baseline);
            dot(x + 1, baseline + 1);
            break;
        case '~':
            dot(x + 1, baseline - 7);
            dot(x + 4, baseline - 7);
            dot(x, baseline - 6);
            dot(x + 2, baseline - 6);
            dot(x + 4, baseline - 6);
            dot(x, baseline - 5);
            dot(x + 3, baseline - 5);
            break;
        case '^':
            dot(x + 2, baseline - 9);
            dot(x + 1, baseline - 8);
            dot(x + 3, baseline - 8);
            dot(x, baseline - 7);
            dot(x + 4, baseline - 7);
            break;
        case '-':
            for (int i = 0; i < 5; ++i)
                dot(x + i, baseline - 4);
            break;
        case '=':
            for (int i = 0; i < 5; ++i) {
                dot(x + i, baseline - 6);
                dot(x + i, baseline - 3);
            }
            break;
        case 'i':
            dot(x + 2, baseline - 8);
            for (int y = baseline - 6; y < baseline; ++y)
                dot(x + 2, y);
            break;
        case '_':
            for (int i = 0; i < cell - 1; ++i)
                dot(x + i, baseline + 1);
            break;
        case u'\u2017': // an underline under several cells
            for (int i = -1; i < 3 * cell; ++i)
                dot(x + i, baseline + 1);
            break;
        case '\'':
            for (int y = baseline - 9; y < baseline - 6; ++y)
                dot(x + 2, y);
            break;
        case u'\u2019': // a right quotation mark leans, foot to the left
            dot(x + 3, baseline - 9);
            dot(x + 3, baseline - 8);
            dot(x + 2, baseline - 7);
            dot(x + 1, baseline - 6);
            break;
        case u'\u2010': // a dash touching the next cell's ink
            for (int i = 0; i < cell; ++i)
                dot(x + i, baseline - 4);
            break;
        case u'\u02cd': // an underscore drawn below the row's box
            for (int i = 0; i < cell - 1; ++i)
                dot(x + i, baseline + 4);
            break;
        case u'\u2581': // an underline touching the letters over it
            for (int i = -1; i < 3 * cell; ++i)
                dot(x + i, baseline);
            break;
        case 'm': // a letter whose ink reaches into the next cell
            ring(x);
            dot(x + 5, baseline - 1);
            break;
        default: ring(x);
        }
    }

    // Any letter or digit: a 5 × 9 ring.
    void ring(int x)
    {
        for (int i = 0; i < 5; ++i) {
            dot(x + i, baseline - 9);
            dot(x + i, baseline - 1);
        }
        for (int y = baseline - 9; y < baseline; ++y) {
            dot(x, y);
            dot(x + 4, y);
        }
    }
};

// What a recogniser read: one glyph per character, boxes roughly where the
// characters are.
std::vector<TextAnalysis::Glyph> reading(const QString& text)
{
    std::vector<TextAnalysis::Glyph> glyphs;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char(' '))
            continue;
        glyphs.push_back(TextAnalysis::Glyph{
            QString(text[i]), Rect(Row::origin + i * Row::cell + 1, 2, 5, 10), false});
    }
    return glyphs;
}

QString textOf(const std::vector<TextAnalysis::Glyph>& glyphs)
{
    QString text;
    for (const TextAnalysis::Glyph& glyph : glyphs)
        text += (glyph.startsWord ? QStringLiteral(" ") : QString()) + glyph.text;
    return text;
}

TEST(TerminalCells, FindsTheLatticeOfMonospacedInkAndNoneOfProportionalInk)
{
    const Row row(QStringLiteral("alice@desk:~/projects/kelpie$ ls -l total 52 drwx"));
    const TerminalCells::Lattice lattice = TerminalCells::find(row.boxes, 13);
    ASSERT_TRUE(lattice.isValid());
    EXPECT_EQ(lattice.width, Row::cell);
    // Every character's ink lies in a cell of its own, the next one's in the
    // next cell.
    const QString text = QStringLiteral("alice@desk:~/projects/kelpie$");
    for (int i = 0; i < text.size(); ++i) {
        const QRect& ink = row.boxes[std::size_t(i)];
        EXPECT_EQ(lattice.cellOf(ink.left()), lattice.cellOf(row.boxes[0].left()) + i);
        EXPECT_EQ(lattice.cellOf(ink.right()), lattice.cellOf(ink.left()));
    }

    // Wide characters over two cells, some of them in parts, do not hide
    // the lattice.
    std::vector<QRect> mixed = row.boxes;
    for (int i = 0; i < 12; ++i) {
        const int left = Row::origin + (60 + 2 * i) * Row::cell;
        // A whole character, or a narrow radical and the rest, now and then
        // a stroke across the middle of its two cells.
        if (i % 2 == 0) {
            mixed.push_back(QRect(left, 1, 2 * Row::cell - 1, 12));
        } else {
            mixed.push_back(QRect(left, 1, 3, 12));
            mixed.push_back(QRect(left + 4, 1, 7, 12));
        }
        if (i % 6 == 0)
            mixed.push_back(QRect(left + Row::cell - 2, 5, 4, 1));
    }
    const TerminalCells::Lattice wide = TerminalCells::find(mixed, 13);
    EXPECT_EQ(wide.width, Row::cell);

    // Glyphs of varying widths set one after the other: no lattice.
    std::vector<QRect> proportional;
    int x = 0;
    unsigned seed = 7;
    for (int i = 0; i < 80; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int width = 2 + int((seed >> 16) % 6);
        proportional.push_back(QRect(x, 0, width, 10));
        x += width + 1 + int((seed >> 20) % 2);
    }
    EXPECT_FALSE(TerminalCells::find(proportional, 13).isValid());
    // Too few glyphs to tell.
    EXPECT_FALSE(TerminalCells::find({QRect(0, 0, 4, 10), QRect(6, 0, 4, 10)}, 13).isValid());
}

TEST(TerminalCells, MarksAreReadFromTheirCells)
{
    const QString truth = QStringLiteral("14:03:11 a.b c,d e;f ~/x 'a'");
    const Row row(truth);
    const TerminalCells::Lattice lattice{Row::cell, Row::origin};
    // The misreadings seen on bitmap terminals: a colon between digits as 3,
    // a full stop as a comma and back, a semicolon as a colon, a tilde as a
    // quotation mark, an apostrophe as a curly quote.
    const auto fitted
        = TerminalCells::fit(row.image, row.line(), lattice,
                             reading(QStringLiteral("14303311 a,b c.d e:f \u201c/x \u2018a'")));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), truth);
    // Boxes are the cells.
    EXPECT_EQ(fitted->front().box, Rect(Row::origin, 1, Row::cell, 13));
    EXPECT_EQ((*fitted)[2].box, Rect(Row::origin + 2 * Row::cell, 1, Row::cell, 13));
}

TEST(TerminalCells, OtherSmallShapesAreNotMarks)
{
    // Two bars are an equals sign, a dot over a stem an i, a high point a
    // caret, a solid bar a dash; a letter stays what the recogniser read.
    // A leaning quotation mark stays one.
    const QString shapes = QString::fromUtf8("=i3^-\u2019");
    const Row row(shapes);
    const auto fitted
        = TerminalCells::fit(row.image, row.line(), {Row::cell, Row::origin}, reading(shapes));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), shapes);
}

TEST(TerminalCells, SpacesAreBlankCells)
{
    const Row row(QStringLiteral("ab  c d"));
    const auto fitted = TerminalCells::fit(row.image, row.line(), {Row::cell, Row::origin},
                                           reading(QStringLiteral("abcd")));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), QStringLiteral("ab c d"));
}

// A recogniser may split one character in two ("0" as "QO") or pass over an
// underscore; with a few more or fewer glyphs than inked cells the glyphs
// go to the cells they lie over.
TEST(TerminalCells, SplitAndMissedCharactersKeepTheirCells)
{
    const Row row(QStringLiteral("a0 b"));
    std::vector<TextAnalysis::Glyph> split = reading(QStringLiteral("a0 b"));
    split[1].text = QStringLiteral("Q");
    split[1].box = Rect(Row::origin + Row::cell, 2, 3, 10);
    split.insert(split.begin() + 2,
                 TextAnalysis::Glyph{QStringLiteral("O"),
                                     Rect(Row::origin + Row::cell + 3, 2, 3, 10), false});
    const auto fitted = TerminalCells::fit(row.image, row.line(), {Row::cell, Row::origin}, split);
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), QStringLiteral("aQO b"));
    EXPECT_EQ((*fitted)[1].box, Rect(Row::origin + Row::cell, 1, Row::cell, 13));

    // A letter read twice in both cases is one letter in its neighbours'
    // case.
    for (const QString& word : {QStringLiteral("ksync"), QStringLiteral("KSYNC")}) {
        const Row doubled(word);
        std::vector<TextAnalysis::Glyph> twice = reading(word);
        twice.front().box = Rect(Row::origin, 2, 3, 10);
        twice.insert(twice.begin() + 1,
                     TextAnalysis::Glyph{word.front().isLower() ? QStringLiteral("K")
                                                                : QStringLiteral("k"),
                                         Rect(Row::origin + 3, 2, 3, 10), false});
        const auto once
            = TerminalCells::fit(doubled.image, doubled.line(), {Row::cell, Row::origin}, twice);
        ASSERT_TRUE(once.has_value());
        EXPECT_EQ(textOf(*once), word);
    }

    // An underscore the recogniser passed over is read from its cell; other
    // ink that no glyph lies over is not.
    const Row snake(QStringLiteral("zh_CN"));
    std::vector<TextAnalysis::Glyph> missed = reading(QStringLiteral("zh_CN"));
    missed.erase(missed.begin() + 2);
    const auto underscored
        = TerminalCells::fit(snake.image, snake.line(), {Row::cell, Row::origin}, missed);
    ASSERT_TRUE(underscored.has_value());
    EXPECT_EQ(textOf(*underscored), QStringLiteral("zh_CN"));
    // Also where the font draws it below the row's lowest ink.
    const Row low(QString::fromUtf8("zh\u02cdCN"));
    const auto lowered
        = TerminalCells::fit(low.image, low.line(), {Row::cell, Row::origin}, missed);
    ASSERT_TRUE(lowered.has_value());
    EXPECT_EQ(textOf(*lowered), QStringLiteral("zh_CN"));
    missed = reading(QStringLiteral("zh_CN"));
    missed.erase(missed.begin() + 3);
    EXPECT_FALSE(TerminalCells::fit(snake.image, snake.line(), {Row::cell, Row::origin}, missed)
                     .has_value());

    // Two glyphs in every cell is a lattice too coarse for the row, not a
    // few split characters.
    const Row four(QStringLiteral("abcd"));
    std::vector<TextAnalysis::Glyph> halves;
    for (int i = 0; i < 8; ++i)
        halves.push_back(TextAnalysis::Glyph{
            QStringLiteral("x"), Rect(Row::origin + i * Row::cell / 2.0, 2, 3, 10), false});
    EXPECT_FALSE(
        TerminalCells::fit(four.image, four.line(), {Row::cell, Row::origin}, halves).has_value());
}

// Smooth small type touches its neighbours; its cells still hold one
// character each, and an underline under a blank is no underscore.
TEST(TerminalCells, InkTouchingAcrossCellWallsIsCutAtTheWalls)
{
    const TerminalCells::Lattice lattice{Row::cell, Row::origin};
    const Row touching(QStringLiteral("am bc"));
    const auto fitted = TerminalCells::fit(touching.image, touching.line(), lattice,
                                           reading(QStringLiteral("am bc")));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), QStringLiteral("am bc"));

    const Row underlined(QString::fromUtf8("a\u2581bc"));
    const auto blank = TerminalCells::fit(underlined.image, underlined.line(), lattice,
                                          reading(QStringLiteral("a bc")));
    ASSERT_TRUE(blank.has_value());
    EXPECT_EQ(textOf(*blank), QStringLiteral("a bc"));
    const auto read = TerminalCells::fit(underlined.image, underlined.line(), lattice,
                                         reading(QStringLiteral("a_bc")));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(textOf(*read), QStringLiteral("a_bc"));
    // Dashes that touch are no underline.
    const Row dashes(QString::fromUtf8("a\u2010\u2010b"));
    const auto options = TerminalCells::fit(dashes.image, dashes.line(), lattice,
                                            reading(QStringLiteral("a--b")));
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(textOf(*options), QStringLiteral("a--b"));
    // The same for an underline clear of the letters.
    const Row apart(QString::fromUtf8("a\u2017bcd"));
    const auto under
        = TerminalCells::fit(apart.image, apart.line(), lattice, reading(QStringLiteral("a bcd")));
    ASSERT_TRUE(under.has_value());
    EXPECT_EQ(textOf(*under), QStringLiteral("a bcd"));
}

// A glyph whose box the recogniser put far from where its character is
// still takes the cell between its neighbours; the cell it leaves shows
// the underscore the recogniser passed over.
TEST(TerminalCells, GlyphsBoxedOffTheirCellsTakeTheCellsTheirNeighboursLeave)
{
    const Row row(QStringLiteral("pie_0.1"));
    std::vector<TextAnalysis::Glyph> glyphs = reading(QStringLiteral("pie_0.1"));
    glyphs.erase(glyphs.begin() + 3);
    glyphs[2].box = Rect(Row::origin + 6 * Row::cell + 1, 2, 5, 10);
    const auto fitted
        = TerminalCells::fit(row.image, row.line(), {Row::cell, Row::origin}, glyphs);
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(textOf(*fitted), QStringLiteral("pie_0.1"));

    // Two glyphs over one cell beside a cell none lies over: one of them
    // was boxed a cell off.
    const Row option(QStringLiteral("x=ON"));
    std::vector<TextAnalysis::Glyph> shifted = reading(QStringLiteral("x=ON"));
    shifted[2].box = Rect(Row::origin + Row::cell + 3, 2, 5, 10);
    const auto options
        = TerminalCells::fit(option.image, option.line(), {Row::cell, Row::origin}, shifted);
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(textOf(*options), QStringLiteral("x=ON"));
}

TEST(TerminalCells, ReadingsThatDoNotFitTheCellsAreLeftAlone)
{
    const TerminalCells::Lattice lattice{Row::cell, Row::origin};
    const Row row(QStringLiteral("ab:cd"));
    // A character missed or one too many.
    EXPECT_FALSE(TerminalCells::fit(row.image, row.line(), lattice, reading(QStringLiteral("ab:c")))
                     .has_value());
    EXPECT_FALSE(
        TerminalCells::fit(row.image, row.line(), lattice, reading(QStringLiteral("ab:cde")))
            .has_value());
    // A wide character.
    std::vector<TextAnalysis::Glyph> wide = reading(QStringLiteral("ab:cd"));
    wide[3].text = QString::fromUtf8("中");
    EXPECT_FALSE(TerminalCells::fit(row.image, row.line(), lattice, wide).has_value());
    // No lattice.
    EXPECT_FALSE(TerminalCells::fit(row.image, row.line(), {}, reading(QStringLiteral("ab:cd")))
                     .has_value());
}

} // namespace

// Han characters run over the wall in their middle and fill the row's
// height; 儿, whose strokes leave the wall blank, only fills it, and the
// flat 口 only runs over it. A pair of narrow characters (which a recogniser
// may read as one Han character, "¥1" as "涪") does neither.
TEST(TerminalCells, CellsOfWideAndNarrowCharactersAreToldApartByTheirInk)
{
    const int cell = 9;
    const QString text = QStringLiteral("ls 加份试娜口余八儿 #2 ¥1 abc");
    const QStringList rows{
        QStringLiteral("alice@desk:~$ ls -l /var/log"),
        text,
        QStringLiteral("total 52 drwxr-xr-x 2 alice 4096"),
        QStringLiteral("#2 ¥1 abc 口 -rw-r--r-- 1 alice"),
    };
    const TerminalScreen screen = TerminalScreen::drawInCells(rows, false, 17, cell);
    const QImage normalized = TextLayout::views(screen.image).normalized;
    const std::vector<TextLayout::Line> lines
        = TextLayout::analyse(normalized, RecognitionCancellation());
    ASSERT_EQ(lines.size(), std::size_t(rows.size()));
    const TextLayout::Line& line = lines[1];
    ASSERT_EQ(line.cells.width, cell);
    const std::vector<TerminalCells::CellInk> cells
        = TerminalCells::cellInkOf(normalized, line.box, line.cells);
    ASSERT_FALSE(cells.empty());

    using CellInk = TerminalCells::CellInk;
    const int first = line.cells.cellOf(line.box.left());
    int x = 8;
    for (const QChar c : text) {
        const bool wide = c.unicode() >= 0x2E80;
        for (int half = 0; half < (wide ? 2 : 1); ++half) {
            const int at = line.cells.cellOf(x + half * cell + cell / 2) - first;
            ASSERT_GE(at, 0);
            ASSERT_LT(at, int(cells.size()));
            const CellInk ink = cells[std::size_t(at)];
            if (c == QLatin1Char(' '))
                EXPECT_EQ(ink, CellInk::blank);
            else if (!wide)
                EXPECT_EQ(ink, CellInk::narrow) << QString(c).toStdString();
            else if (c == QChar(0x513F)) // 儿
                EXPECT_EQ(ink, CellInk::tall) << half;
            else if (c == QChar(0x53E3)) // 口, as low as a capital
                EXPECT_EQ(ink, CellInk::joined) << half;
            else
                EXPECT_EQ(ink, CellInk::wide) << QString(c).toStdString() << half;
        }
        x += wide ? 2 * cell : cell;
    }

    // A row with too few wide characters to measure them tells nothing, nor
    // does a lattice of cells as wide as the wide characters (found on
    // screens with few narrow ones).
    EXPECT_TRUE(TerminalCells::cellInkOf(normalized, lines[3].box, lines[3].cells).empty());
    const TerminalCells::Lattice doubled{2 * cell, line.cells.origin};
    EXPECT_TRUE(TerminalCells::cellInkOf(normalized, line.box, doubled).empty());
}

// Between wide characters, narrow ones whose boxes lie off their cells take
// the inked cells of their stretch in order, only when they are as many
// single narrow characters as those cells.
TEST(TerminalCells, NarrowCharactersBetweenWideOnesTakeTheirCellsWhereCertain)
{
    using CellInk = TerminalCells::CellInk;
    const TerminalCells::Lattice lattice{6, 4};
    const QRect line(4, 1, 6 * 12, 13);
    // a b _ 中 中 x y _ z | 中 中 p
    const std::vector<CellInk> cells{
        CellInk::narrow, CellInk::narrow, CellInk::blank, CellInk::wide,
        CellInk::wide,   CellInk::narrow, CellInk::narrow, CellInk::blank,
        CellInk::narrow, CellInk::wide,   CellInk::wide,   CellInk::narrow};
    const auto glyph = [](const char* text, double left, double width) {
        return TextAnalysis::Glyph{QString::fromUtf8(text), Rect(left, 2, width, 10), false};
    };
    std::vector<TextAnalysis::Glyph> glyphs{
        glyph("a", 5, 4),  glyph("b", 12, 3),  glyph("中", 20, 12), glyph("x", 36, 4),
        glyph("y", 43, 3), glyph("z", 52, 5), glyph("中", 58, 11), glyph("p", 69, 4)};
    EXPECT_EQ(TerminalCells::placeNarrowRuns(glyphs, cells, line, lattice), 6);
    const std::vector<int> expected{4, 10, 20, 34, 40, 52, 58, 70};
    for (std::size_t g = 0; g < glyphs.size(); ++g) {
        EXPECT_EQ(glyphs[g].box.minX(), expected[g]) << g;
        if (g != 2 && g != 6) {
            EXPECT_EQ(glyphs[g].box.width(), 6) << g;
        }
    }

    // Two glyphs over a stretch of three inked cells, or a glyph of two
    // characters: nothing is certain there.
    std::vector<TextAnalysis::Glyph> fewer{glyph("x", 36, 4), glyph("z", 52, 5)};
    EXPECT_EQ(TerminalCells::placeNarrowRuns(fewer, cells, line, lattice), 0);
    EXPECT_EQ(fewer[0].box.minX(), 36);
    std::vector<TextAnalysis::Glyph> joined{glyph("ab", 5, 9), glyph("p", 69, 4)};
    EXPECT_EQ(TerminalCells::placeNarrowRuns(joined, cells, line, lattice), 1);
    EXPECT_EQ(joined[0].box.minX(), 5);
    EXPECT_EQ(joined[1].box.minX(), 70);
}
