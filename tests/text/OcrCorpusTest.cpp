#include "tests/text/OcrCorpus.h"

#include "tests/text/OcrScore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace
