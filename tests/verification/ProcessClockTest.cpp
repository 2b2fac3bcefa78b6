#include "verification/ProcessClock.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kelpie;

TEST(ProcessClock, StartTimeIsTheTwentySecondFieldCountedAfterTheCommandName)
{
    // A command name holding spaces and a ") " of its own must not shift
    // the fields.
    const QByteArray stat = "4242 (odd) name (x)) S 1 4242 4242 0 -1 4194560 100 0 0 0 "
                            "3 1 0 0 20 0 1 0 123456 1000000 200";
    EXPECT_EQ(ProcessClock::startMsFromStat(stat, 100), 1234560.0);
    EXPECT_EQ(ProcessClock::startMsFromStat(stat, 250), 493824.0);
}

TEST(ProcessClock, MalformedStatGivesNothing)
{
    EXPECT_EQ(ProcessClock::startMsFromStat("", 100), std::nullopt);
    EXPECT_EQ(ProcessClock::startMsFromStat("12 (short) S 1 2 3", 100), std::nullopt);
    EXPECT_EQ(ProcessClock::startMsFromStat("1 (a) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 x 9",
                                            100),
              std::nullopt);
    EXPECT_EQ(ProcessClock::startMsFromStat("1 (a) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 9", 0),
              std::nullopt);
}

TEST(ProcessClock, OwnStartLiesBeforeNowOnTheSameClock)
{
    const std::optional<double> start = ProcessClock::startMs(getpid());
    ASSERT_TRUE(start.has_value());
    EXPECT_GT(*start, 0.0);
    EXPECT_LE(*start, ProcessClock::nowMs());
    EXPECT_EQ(ProcessClock::startMs(-1), std::nullopt);
}

TEST(ProcessClock, TheStartEstimateIsTheLaterOfTickStartAndSpawnStamp)
{
    // Ticks round down: a spawn stamp inside the tick is closer.
    EXPECT_EQ(ProcessClock::startEstimateMs(1000.0, 1004.5), 1004.5);
    // A stamp long before the start (a slow fork) does not pull it back.
    EXPECT_EQ(ProcessClock::startEstimateMs(1000.0, 980.0), 1000.0);
    EXPECT_EQ(ProcessClock::startEstimateMs(1000.0, std::nullopt), 1000.0);
}
