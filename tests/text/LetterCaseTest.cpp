#include "text/LetterCase.h"

#include "tests/text/DrawnTextLine.h"

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// A word of letters that are their capitals drawn smaller takes the case
// its height shows, either way, in proportional and fixed-pitch type.
TEST(LetterCase, AWordOfSizedLettersTakesTheCaseItsHeightShows)
{
    for (const QString& family :
         {QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Sans Mono")}) {
        for (const int pixels : {13, 16, 20}) {
            DrawnTextLine small(QStringLiteral("2024.csv 158 KB"),
                                QStringLiteral("2024.CSV 158 KB"), pixels, family);
            EXPECT_EQ(LetterCase::settle(small.normalized, small.analysis), 3)
                << family.toStdString() << ' ' << pixels;
            EXPECT_EQ(small.text(), QStringLiteral("2024.csv 158 KB"));

            DrawnTextLine measured(QStringLiteral("new cvs 2024"), QStringLiteral("new CVS 2024"),
                                   pixels, family);
            EXPECT_EQ(LetterCase::settle(measured.normalized, measured.analysis), 3)
                << family.toStdString() << ' ' << pixels;

            DrawnTextLine capitals(QStringLiteral("XCVS 2024 ZOO"), QStringLiteral("xcvs 2024 zoo"),
                                   pixels, family);
            EXPECT_EQ(LetterCase::settle(capitals.normalized, capitals.analysis), 7)
                << family.toStdString() << ' ' << pixels;
            EXPECT_EQ(capitals.text(), QStringLiteral("XCVS 2024 ZOO"));
        }
    }
}

// Letters the recogniser could tell from the rest of their word keep its
// reading, and a line without capitals or digits has no height to go by.
TEST(LetterCase, LeavesWordsWithOtherLettersAndLinesWithoutCapitals)
{
    DrawnTextLine context(QStringLiteral("Folder 12"), QStringLiteral("FOlder 12"), 16,
                          QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(LetterCase::settle(context.normalized, context.analysis), 0);
    EXPECT_EQ(context.text(), QStringLiteral("FOlder 12"));

    DrawnTextLine bare(QStringLiteral("x.csv"), QStringLiteral("x.CSV"), 16,
                       QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(LetterCase::settle(bare.normalized, bare.analysis), 0);
}

} // namespace

// In sans type a small l rises above the capitals, as b, d, h and k do; a
// capital I read beside small letters where the picture shows that height
// is an l. A true I stands at the capitals' height, and a line without
// both heights apart keeps its reading: at 16 pixels DejaVu Sans draws the
// ascenders and capitals to the same row, and at any size a line may have
// no b, d, h or k.
TEST(LetterCase, ACapitalIAsHighAsTheAscendersIsASmallL)
{
    DrawnTextLine level(QStringLiteral("budget-2024.xlsx 86 KB"),
                        QStringLiteral("budget-2024.xIsx 86 KB"), 16, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(LetterCase::settle(level.normalized, level.analysis), 0);
    for (const int pixels : {13, 20}) {
        DrawnTextLine ell(QStringLiteral("budget-2024.xlsx 86 KB"),
                          QStringLiteral("budget-2024.xIsx 86 KB"), pixels,
                          QStringLiteral("DejaVu Sans"));
        LetterCase::settle(ell.normalized, ell.analysis);
        EXPECT_EQ(ell.text(), QStringLiteral("budget-2024.xlsx 86 KB")) << pixels;

        DrawnTextLine eye(QStringLiteral("getId bold 2024 KB"), QStringLiteral("getId bold 2024 KB"),
                          pixels, QStringLiteral("DejaVu Sans"));
        LetterCase::settle(eye.normalized, eye.analysis);
        EXPECT_EQ(eye.text(), QStringLiteral("getId bold 2024 KB")) << pixels;
    }
    DrawnTextLine bare(QStringLiteral("xlsx 86 KB"), QStringLiteral("xIsx 86 KB"), 13,
                       QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(LetterCase::settle(bare.normalized, bare.analysis), 0);
}
