#include "tests/text/OcrCorpus.h"

#include "platform/TesseractTextRecognizer.h"
#include "tests/text/OcrMaskVariant.h"
#include "tests/text/OcrScore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace kelpie;

// --- the stored corpus ---

TEST(OcrCorpus, StoredCorpusIsComplete)
{
    const OcrCorpus corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    EXPECT_TRUE(corpus.problems.isEmpty()) << corpus.problems.join(QLatin1Char('\n')).toStdString();
    ASSERT_GE(corpus.screens.size(), 15u);
    int heldOut = 0;
    int plain = 0;
    for (const OcrCorpus::Screen& screen : corpus.screens) {
        heldOut += screen.heldOut();
        plain += !screen.pictures;
        EXPECT_GE(screen.rows.size(), 2) << screen.name.toStdString();
        const QImage image = screen.image();
        EXPECT_FALSE(image.isNull()) << screen.name.toStdString();
        EXPECT_LE(image.width(), 1280) << screen.name.toStdString();
        EXPECT_LE(image.height(), 800) << screen.name.toStdString();
    }
    // Enough screens on each side to be worth reporting apart.
    EXPECT_GE(heldOut, 4);
    EXPECT_GE(int(corpus.screens.size()) - heldOut, 10);
    EXPECT_GE(plain, 10);
}

// --- what load() catches in a broken corpus ---

struct BrokenCorpus : testing::Test {
    QTemporaryDir directory;

    void write(const QString& name, const QByteArray& content)
    {
        QFile file(directory.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void picture(const QString& name)
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::white);
        ASSERT_TRUE(image.save(directory.filePath(name)));
    }
    QString problems() { return OcrCorpus::load(directory.path()).problems.join(QLatin1Char('|')); }
};

TEST_F(BrokenCorpus, SoundCorpusHasNoProblems)
{
    write(QStringLiteral("manifest.tsv"), "# comment\na\ttuning\tno\tdemo\n");
    picture(QStringLiteral("a.png"));
    write(QStringLiteral("a.txt"), "one\ntwo\tparts\n");
    const OcrCorpus corpus = OcrCorpus::load(directory.path());
    EXPECT_TRUE(corpus.problems.isEmpty()) << corpus.problems.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(corpus.screens.size(), 1u);
    EXPECT_EQ(corpus.screens[0].rows,
              (QStringList{QStringLiteral("one"), QStringLiteral("two\tparts")}));
    EXPECT_FALSE(corpus.screens[0].heldOut());
}

TEST_F(BrokenCorpus, MissingAndUnlistedFilesAreReported)
{
    write(QStringLiteral("manifest.tsv"), "a\ttuning\tno\tx\nb\theld-out\tyes\tx\n");
    picture(QStringLiteral("a.png"));
    write(QStringLiteral("b.txt"), "row\n");
    picture(QStringLiteral("stray.png"));
    const QString found = problems();
    EXPECT_TRUE(found.contains(QLatin1String("a: no text"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QLatin1String("b: no picture"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QLatin1String("stray.png is not in manifest")))
        << found.toStdString();
}

TEST_F(BrokenCorpus, BadManifestFieldsAndRowsAreReported)
{
    write(QStringLiteral("manifest.tsv"), "a\ttuned\tmaybe\tx\na\ttuning\tno\tx\nb\tno\n");
    picture(QStringLiteral("a.png"));
    write(QStringLiteral("a.txt"), "ok\n two  spaces\nend\t\n");
    const QString found = problems();
    EXPECT_TRUE(found.contains(QLatin1String("neither tuning nor held-out")));
    EXPECT_TRUE(found.contains(QLatin1String("pictures is neither")));
    EXPECT_TRUE(found.contains(QLatin1String("listed twice")));
    EXPECT_TRUE(found.contains(QLatin1String("want 4")));
    EXPECT_TRUE(found.contains(QLatin1String("a.txt:2:"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QLatin1String("a.txt:3:"))) << found.toStdString();
    EXPECT_FALSE(found.contains(QLatin1String("a.txt:1:")));
}

// --- scoring ---

TEST(OcrScore, Distances)
{
    EXPECT_EQ(OcrScore::editDistance(QStringLiteral("kitten"), QStringLiteral("sitting")), 3);
    EXPECT_EQ(OcrScore::editDistance(QString(), QStringLiteral("abc")), 3);
    // Code points, not UTF-16 units: one CJK extension character is one edit.
    EXPECT_EQ(OcrScore::editDistance(QStringLiteral("𠀋"), QStringLiteral("a")), 1);
    EXPECT_EQ(OcrScore::editDistance(QStringLiteral("简体"), QStringLiteral("繁體")), 2);
    EXPECT_EQ(OcrScore::substringDistance(QStringLiteral("3.4 MB"),
                                          QStringLiteral("max_upload (size, default 3.4 MB)")),
              0);
    EXPECT_EQ(
        OcrScore::substringDistance(QStringLiteral("3,4 MB"), QStringLiteral("共 3.4 MB，删除")),
        1);
    EXPECT_EQ(OcrScore::withoutCjkSpaces(QStringLiteral("共 3 个 文 件 OK 吗")),
              QStringLiteral("共 3 个文件 OK 吗"));
}

TEST(OcrScore, PerfectReadingOfSplitAndJoinedRows)
{
    const QStringList rows{QStringLiteral("名称\t大小"),
                           QStringLiteral("a.txt\t3.4 MB\t2024-05-12"),
                           QStringLiteral("drwxr-xr-x 2 alice")};
    // The first row as two lines, the second partly joined, the third with
    // the terminal's padding.
    const OcrScore score = OcrScore::of(
        rows,
        {QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("a.txt 3.4 MB"),
         QStringLiteral("2024-05-12"), QStringLiteral(" drwxr-xr-x  2 alice ")});
    EXPECT_EQ(score.rows, 3);
    EXPECT_EQ(score.exact, 3);
    EXPECT_TRUE(score.missed.isEmpty());
    EXPECT_EQ(score.errors, 0);
    EXPECT_DOUBLE_EQ(score.accuracy(), 1.0);
    EXPECT_TRUE(score.junk.isEmpty());
    EXPECT_EQ(score.backwardSteps, 0);
}

TEST(OcrScore, FullWidthFormsCountAsTheirPlainForms)
{
    // Readers give either form of a colon or bracket after Chinese text;
    // the ideographic full stop and comma have no other form and stay.
    const OcrScore score
        = OcrScore::of({QStringLiteral("顯示名稱：陳美玲（台灣）"), QStringLiteral("好。")},
                       {QStringLiteral("顯示名稱:陳美玲(台灣)"), QStringLiteral("好.")});
    EXPECT_EQ(score.exact, 1);
    EXPECT_EQ(score.errors, 1);
}

TEST(OcrScore, SplitsOnlyAtPartBoundaries)
{
    // "a.txt 3.4" ends inside a part: not the row.
    const OcrScore score = OcrScore::of({QStringLiteral("a.txt\t3.4 MB")},
                                        {QStringLiteral("a.txt 3.4"), QStringLiteral("MB")});
    EXPECT_EQ(score.exact, 0);
    EXPECT_EQ(score.missed, QStringList{QStringLiteral("a.txt 3.4 MB")});
    EXPECT_EQ(score.errors, 0); // the characters are all there
}

TEST(OcrScore, EachReadLineServesOneRow)
{
    const OcrScore score = OcrScore::of({QStringLiteral("total 52"), QStringLiteral("total 52")},
                                        {QStringLiteral("total 52")});
    EXPECT_EQ(score.exact, 1);
    EXPECT_EQ(score.missed.size(), 1);
}

TEST(OcrScore, MisreadCharactersCountAsErrors)
{
    const OcrScore score = OcrScore::of({QStringLiteral("alice@desk:~$"), QStringLiteral("NAME")},
                                        {QStringLiteral("alice@desk:~S"), QStringLiteral("NAME")});
    EXPECT_EQ(score.exact, 1);
    EXPECT_EQ(score.missed, QStringList{QStringLiteral("alice@desk:~$")});
    EXPECT_EQ(score.characters, 18);
    EXPECT_EQ(score.errors, 1);
    EXPECT_NEAR(score.accuracy(), 17.0 / 18, 1e-9);
}

TEST(OcrScore, JunkIsWhatNoRowContains)
{
    const OcrScore score = OcrScore::of(
        {QStringLiteral("确定要删除吗？"), QStringLiteral("取消\t删除")},
        {QStringLiteral("@"), QStringLiteral("确定要删除吗？"), QStringLiteral("取消"),
         QStringLiteral("删 除"), QStringLiteral("|~ ="), QStringLiteral("删")});
    // "删 除" is half found, "删" wholly: both are poor readings, not junk.
    EXPECT_EQ(score.junk, (QStringList{QStringLiteral("@"), QStringLiteral("|~ =")}));
}

TEST(OcrScore, RowsReadOutOfOrderAreBackwardSteps)
{
    const QStringList rows{QStringLiteral("-rw-r--r-- 1 alice 1375 CMakeLists.txt"),
                           QStringLiteral("drwxr-xr-x 2 alice 4096 docs"),
                           QStringLiteral("-rw-r--r-- 1 alice 35149 LICENSE")};
    const OcrScore inOrder = OcrScore::of(rows, rows);
    EXPECT_EQ(inOrder.backwardSteps, 0);

    // A listing read column-wise would jump back; so does one row swapped.
    const OcrScore swapped = OcrScore::of(rows, {rows[0], rows[2], rows[1]});
    EXPECT_EQ(swapped.backwardSteps, 1);
    EXPECT_EQ(swapped.exact, 3);
    EXPECT_GT(swapped.errors, 0); // the page text no longer matches
}

TEST(OcrScore, SimilarRowsAreFollowedForwards)
{
    // Log rows that differ in a digit: a line that matches several rows
    // equally well is placed at the first of them at or after the previous
    // line's row, so a misread digit is no step back.
    const QStringList rows{QStringLiteral("14:03:11 INFO sync"),
                           QStringLiteral("14:03:12 INFO sync"),
                           QStringLiteral("14:03:13 INFO sync")};
    const OcrScore score
        = OcrScore::of(rows, {rows[0], rows[1], QStringLiteral("14:03:1? INFO sync")});
    EXPECT_EQ(score.backwardSteps, 0);
    EXPECT_EQ(score.exact, 2);
}

// --- masked variants of a reading ---

// A reading of `rows` lines 20 px apart, each of the given words (10 px per
// character, 10 px between words).
TextAnalysis reading(const std::vector<QStringList>& rows)
{
    TextAnalysis analysis;
    double y = 10;
    for (const QStringList& words : rows) {
        TextAnalysis::Line line;
        double x = 10;
        for (const QString& text : words) {
            const Rect box(x, y, 10.0 * double(text.size()), 12);
            line.words.push_back(TextAnalysis::Word{text, box, {}});
            line.box = line.words.size() == 1 ? box : line.box.united(box);
            x = box.maxX() + 10;
        }
        line.text = words.join(QLatin1Char(' '));
        analysis.lines.push_back(line);
        y += 20;
    }
    return analysis;
}

TEST(OcrMaskVariant, MasksSpreadOverLinesHalvesAndWords)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < 8; ++i)
        rows.push_back({QStringLiteral("ab%1").arg(i), QStringLiteral("longest%1").arg(i),
                        QStringLiteral("cd%1").arg(i)});
    const TextAnalysis unmasked = reading(rows);
    const std::vector<OcrMaskVariant> variants = OcrMaskVariant::of(unmasked);
    ASSERT_EQ(variants.size(), 3u);

    EXPECT_EQ(variants[0].masks.size(), 2u);
    ASSERT_EQ(variants[0].masked.size(), 6u);
    EXPECT_EQ(variants[0].masked[0].text, QStringLiteral("ab2"));
    EXPECT_EQ(variants[0].masked[3].text, QStringLiteral("ab6"));

    // Half of three words is the first two.
    ASSERT_EQ(variants[1].masked.size(), 4u);
    EXPECT_EQ(variants[1].masked[1].text, QStringLiteral("longest2"));
    EXPECT_EQ(variants[1].masked[2].text, QStringLiteral("ab5"));

    ASSERT_EQ(variants[2].masks.size(), 3u);
    for (const auto& word : variants[2].masked)
        EXPECT_TRUE(word.text.startsWith(QLatin1String("longest")));

    // Every mask covers its words and reaches no other word.
    for (const OcrMaskVariant& variant : variants) {
        for (const Rect& mask : variant.masks) {
            for (const TextAnalysis::Line& line : unmasked.lines) {
                for (const auto& word : line.words) {
                    const bool masked = std::any_of(
                        variant.masked.begin(), variant.masked.end(),
                        [&](const TextAnalysis::Word& m) { return m.box == word.box; });
                    if (mask.intersects(word.box)) {
                        EXPECT_TRUE(masked && mask.contains(word.box)) << word.text.toStdString();
                    }
                }
            }
        }
    }
}

struct MaskedReading : testing::Test {
    // "secret" sits under a mask; "token" is on the screen twice, once masked.
    TextAnalysis before = reading({{QStringLiteral("user"), QStringLiteral("secret")},
                                   {QStringLiteral("token"), QStringLiteral("token")},
                                   {QStringLiteral("密码是一二三四")}});
    OcrMaskVariant variant;

    void SetUp() override
    {
        for (const TextAnalysis::Line& line : before.lines) {
            for (const auto& word : line.words) {
                if (word.text == QLatin1String("secret") || &word == &before.lines[1].words[1]
                    || word.text.startsWith(QStringLiteral("密码")))
                    variant.masked.push_back(word);
            }
        }
        for (const auto& word : variant.masked)
            variant.masks.push_back(Rect(word.box.minX() - 1, word.box.minY() - 2,
                                         word.box.width() + 2, word.box.height() + 4));
    }

    static TextAnalysis with(TextAnalysis analysis, const QString& text, const Rect& box)
    {
        TextAnalysis::Line line;
        line.text = text;
        line.box = box;
        line.words.push_back(TextAnalysis::Word{text, box, {}});
        analysis.lines.push_back(line);
        return analysis;
    }
    // What a safe reading gives: the words away from the masks.
    TextAnalysis safe() const
    {
        return reading({{QStringLiteral("user")}, {QStringLiteral("token")}});
    }
};

TEST_F(MaskedReading, NothingRecoveredWhenOnlyUnmaskedWordsAreRead)
{
    EXPECT_EQ(variant.recovered(before, safe()), 0);
    EXPECT_EQ(variant.recovered(before, TextAnalysis()), 0);
}

TEST_F(MaskedReading, WordsReadAtTheMaskOrMoreOftenThanBeforeAreRecovered)
{
    const Rect secretBox = before.lines[0].words[1].box;
    // The masked word read in place, shifted by a pixel.
    EXPECT_EQ(
        variant.recovered(before, with(safe(), QStringLiteral("secret"), secretBox.offsetBy(1, 0))),
        1);
    // A misread but recognisable piece of it.
    EXPECT_EQ(variant.recovered(before, with(safe(), QStringLiteral("secre"), secretBox)), 1);
    // Most of the Chinese secret read over its mask.
    EXPECT_EQ(variant.recovered(
                  before, with(safe(), QStringLiteral("一二三四"), before.lines[2].words[0].box)),
              1);
    // The second "token" read anywhere: the screen shows only one unmasked.
    EXPECT_EQ(
        variant.recovered(before, with(safe(), QStringLiteral("token"), Rect(400, 400, 50, 12))),
        1);
    // A one-letter stray over a mask gives nothing away.
    EXPECT_EQ(variant.recovered(before, with(safe(), QStringLiteral("s"), secretBox)), 0);
}

// Dense rows: the same word on the row above a masked one lies a pixel
// from the mask, and reading it there gives nothing away.
TEST_F(MaskedReading, TheSameWordOnTheNextRowIsNoRecovery)
{
    const Rect upper(10, 100, 60, 15);
    const Rect lower(10, 117, 60, 15);
    const QString word = QStringLiteral("modified:");
    const TextAnalysis dense = with(with(TextAnalysis(), word, upper), word, lower);
    OcrMaskVariant rows;
    rows.masked.push_back(dense.lines[1].words[0]);
    rows.masks.push_back(Rect(8, 116, 64, 20));
    EXPECT_EQ(rows.recovered(dense, with(TextAnalysis(), word, upper)), 0);
    EXPECT_EQ(rows.recovered(dense, dense), 1);
}

TEST_F(MaskedReading, FarWordsLostAreToldApartByWhetherTheirPixelsChanged)
{
    QImage composite(300, 120, QImage::Format_RGB32);
    composite.fill(Qt::black);
    QImage prepared = composite.copy();

    // "user" is 10 px from the secret's mask: far. The first "token" too.
    const OcrMaskVariant::Kept all = variant.kept(before, safe(), composite, prepared);
    EXPECT_EQ(all.far, 2);
    EXPECT_EQ(all.lostPainted + all.lostUntouched, 0);

    // Nothing read: both lost; "user" painted over, "token" untouched.
    const Rect user = before.lines[0].words[0].box;
    prepared.setPixel(int(user.midX()), int(user.midY()), qRgb(255, 255, 255));
    QStringList lost;
    const OcrMaskVariant::Kept none
        = variant.kept(before, TextAnalysis(), composite, prepared, &lost);
    EXPECT_EQ(none.far, 2);
    EXPECT_EQ(none.lostPainted, 1);
    EXPECT_EQ(none.lostUntouched, 1);
    ASSERT_EQ(lost.size(), 2);
    EXPECT_TRUE(lost[0].startsWith(QLatin1String("user at 10,10 (painted over)")))
        << lost[0].toStdString();
}

TEST_F(MaskedReading, WordsWithinReachOfAMaskAreNotFar)
{
    // A word 3 px right of the secret's mask is within reach; 4 px is not.
    const Rect mask = variant.masks[0];
    for (const auto& [gap, far] : {std::pair{3.0, false}, std::pair{4.0, true}}) {
        const TextAnalysis near = with(TextAnalysis(), QStringLiteral("x"),
                                       Rect(mask.maxX() + gap, mask.minY(), 10, 12));
        EXPECT_EQ(variant.kept(near, near, QImage(), QImage()).far, far ? 1 : 0) << gap;
    }

    // A box 5 px from the mask whose glyph runs on to 2 px from it is
    // within reach; ink beyond a blank column is another glyph's.
    const TextAnalysis inside = with(TextAnalysis(), QStringLiteral("x"),
                                     Rect(mask.maxX() + 5, mask.minY(), 10, 12));
    for (const auto& [blank, far] : {std::pair{false, false}, std::pair{true, true}}) {
        QImage composite(int(mask.maxX()) + 40, int(mask.maxY()) + 10, QImage::Format_RGB32);
        composite.fill(Qt::white);
        for (int y = int(mask.minY()) + 2; y < int(mask.minY()) + 10; ++y) {
            for (int x = int(mask.maxX()) + 2; x < int(mask.maxX()) + 12; ++x)
                composite.setPixel(x, y, qRgb(0, 0, 0));
            if (blank)
                composite.setPixel(int(mask.maxX()) + 4, y, qRgb(255, 255, 255));
        }
        EXPECT_EQ(variant.kept(inside, inside, composite, composite).far, far ? 1 : 0) << blank;
    }
}

// --- floors on three tuning screens ---

// Plain pages the recogniser already reads fairly well: a manual page in a
// terminal, a documentation page in a Qt text browser and a log in a
// terminal's bitmap font (colons and full stops between digits). The floors
// sit below today's readings and catch a recogniser that stops reading
// screenshots of real programs (bench_ocr --corpus measures the rest).
TEST(OcrCorpusFloors, PlainPagesReadInOrderWithoutJunk)
{
    const OcrCorpus corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    TesseractTextRecognizer recognizer;
    struct Floor {
        const char* screen;
        int exact;
        double accuracy;
        int backwardSteps;
    };
    for (const Floor& floor :
         {Floor{"term-dejavu-light-man", 12, 0.75, 2}, Floor{"qt-doc-dense", 9, 0.72, 0},
          Floor{"term-bitmap-dark-log", 20, 0.97, 0}}) {
        SCOPED_TRACE(floor.screen);
        const OcrCorpus::Screen* screen = corpus.find(QString::fromUtf8(floor.screen));
        ASSERT_NE(screen, nullptr);
        ASSERT_FALSE(screen->heldOut());
        QStringList read;
        for (const TextAnalysis::Line& line :
             recognizer.analyze(screen->image(), RecognitionCancellation()).lines)
            read.append(line.text);
        const OcrScore score = OcrScore::of(screen->rows, read);
        EXPECT_GE(score.exact, floor.exact) << score.missed.join(QLatin1Char('\n')).toStdString();
        EXPECT_GE(score.accuracy(), floor.accuracy);
        EXPECT_TRUE(score.junk.isEmpty()) << score.junk.join(QLatin1Char('\n')).toStdString();
        EXPECT_LE(score.backwardSteps, floor.backwardSteps);
    }
}

// A text cursor in a field and the edge of a table cell read as "|" with
// full confidence; marks alone are no text, so no line is made of them.
TEST(OcrCorpusFloors, MarksAloneAreNoLine)
{
    const OcrCorpus corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    TesseractTextRecognizer recognizer;
    for (const char* name : {"qt-table-files", "qt-form-traditional"}) {
        SCOPED_TRACE(name);
        const OcrCorpus::Screen* screen = corpus.find(QString::fromUtf8(name));
        ASSERT_NE(screen, nullptr);
        ASSERT_FALSE(screen->heldOut());
        for (const TextAnalysis::Line& line :
             recognizer.analyze(screen->image(), RecognitionCancellation()).lines) {
            EXPECT_TRUE(std::any_of(line.text.begin(), line.text.end(), [](QChar c) {
                return c.isLetterOrNumber();
            })) << line.text.toStdString();
        }
    }
}

} // namespace
