#include "verification/RecognitionScore.h"

#include <gtest/gtest.h>

using namespace kelpie;
using RecognitionScore::characterAccuracy;
using RecognitionScore::editDistance;

TEST(RecognitionScore, CountsEditsInWholeCharacters)
{
    EXPECT_EQ(editDistance(QStringLiteral("kitten"), QStringLiteral("sitting")), 3);
    EXPECT_EQ(editDistance(QString(), QStringLiteral("abc")), 3);
    EXPECT_EQ(editDistance(QStringLiteral("图书馆"), QStringLiteral("图书馆")), 0);
    // A character outside the basic plane is two UTF-16 units but one edit.
    EXPECT_EQ(editDistance(QString::fromUcs4(U"\U00020000a"), QStringLiteral("a")), 1);
}

TEST(RecognitionScore, AccuracyIgnoresSpacesAndLineBreaks)
{
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("今天下午\n三点半"),
                                       QStringLiteral("今 天 下 午 三 点 半")),
                     1.0);
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("Select this text"),
                                       QStringLiteral("Selectthis\ntext")),
                     1.0);
}

TEST(RecognitionScore, AccuracyIsTheShareOfExpectedCharactersReadRight)
{
    // One wrong character of ten, one missing of ten.
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHIX")),
                     0.9);
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHI")),
                     0.9);
    // Far more noise than text clamps at nothing read right.
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("AB"), QStringLiteral("xyzxyzxyz")), 0.0);
    EXPECT_DOUBLE_EQ(characterAccuracy(QStringLiteral("AB"), QString()), 0.0);
}

TEST(RecognitionScore, EmptyExpectationMatchesOnlyAnEmptyReading)
{
    EXPECT_DOUBLE_EQ(characterAccuracy(QString(), QStringLiteral(" \n")), 1.0);
    EXPECT_DOUBLE_EQ(characterAccuracy(QString(), QStringLiteral("x")), 0.0);
}
