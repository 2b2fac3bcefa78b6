// The privacy check's judgement of live text: a check that let a leak
// through would pass a system that gives masked text away.

#include "verification/MaskedWordCheck.h"

#include <gtest/gtest.h>

namespace kelpie {
namespace {

const MaskedWordCheck check{QStringLiteral("CODE"),
                            {QStringLiteral("PRIVATE"), QStringLiteral("CODE"),
                             QStringLiteral("4832"), QStringLiteral("PUBLIC"),
                             QStringLiteral("NOTE"), QStringLiteral("ABCD")},
                            QStringLiteral("PUBLIC NOTE ABCD")};

TEST(MaskedWordCheck, AcceptsTheWordGoneWhateverElseOfItsLineIsLeft)
{
    // Only the word suppressed, or its whole line: both keep the secret.
    EXPECT_TRUE(check.safe(QStringLiteral("PRIVATE\n4832\nPUBLIC NOTE ABCD")));
    EXPECT_TRUE(check.safe(QStringLiteral("PRIVATE 4832\nPUBLIC NOTE ABCD")));
    EXPECT_TRUE(check.safe(QStringLiteral("PUBLIC NOTE ABCD")));
    EXPECT_TRUE(check.safe(QStringLiteral("  PUBLIC   NOTE ABCD \n")));
}

TEST(MaskedWordCheck, RefusesAnyTraceOfTheMaskedWord)
{
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE CODE 4832\nPUBLIC NOTE ABCD")));
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE code 4832\nPUBLIC NOTE ABCD")));
    // The letter the mask left uncovered, read on its own.
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE E 4832\nPUBLIC NOTE ABCD")));
    // A misreading of the covered letters is a leak all the same.
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE C0DE 4832\nPUBLIC NOTE ABCD")));
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE COD 4832\nPUBLIC NOTE ABCD")));
}

TEST(MaskedWordCheck, NeedsTheKeptLineWhole)
{
    // Nothing read at all is no proof that suppression is selective.
    EXPECT_FALSE(check.safe(QString()));
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE 4832")));
    EXPECT_FALSE(check.safe(QStringLiteral("PRIVATE 4832\nPUBLIC NOTE")));
    // The kept words spread over other lines are not the line.
    EXPECT_FALSE(check.safe(QStringLiteral("PUBLIC\nNOTE ABCD")));
}

} // namespace
} // namespace kelpie
