#include "verification/SampleSummary.h"

#include <gtest/gtest.h>

using namespace kelpie;

TEST(SampleSummary, MedianOfOddAndEvenCountsAndOfNothing)
{
    EXPECT_EQ(SampleSummary::median({5, 1, 3}), 3.0);
    EXPECT_EQ(SampleSummary::median({4, 1, 3, 2}), 2.5);
    EXPECT_EQ(SampleSummary::median({7}), 7.0);
    EXPECT_EQ(SampleSummary::median({}), std::nullopt);
}

TEST(SampleSummary, PercentileByNearestRank)
{
    std::vector<double> samples;
    for (int i = 10; i >= 1; --i)
        samples.push_back(i);
    EXPECT_EQ(SampleSummary::percentile(samples, 0.9), 9.0);
    EXPECT_EQ(SampleSummary::percentile(samples, 1.0), 10.0);
    EXPECT_EQ(SampleSummary::percentile(samples, 0.0), 1.0);
    EXPECT_EQ(SampleSummary::percentile({}, 0.5), std::nullopt);
}

TEST(SampleSummary, JsonKeepsTheFirstSampleAndTheOrderTaken)
{
    const nlohmann::json summary = SampleSummary::json({30.0, 10.0, 20.0004});
    EXPECT_EQ(summary["median"], 20.0);
    EXPECT_EQ(summary["first"], 30.0);
    EXPECT_EQ(summary["min"], 10.0);
    EXPECT_EQ(summary["max"], 30.0);
    EXPECT_EQ(summary["count"], 3);
    EXPECT_EQ(summary["samples"], nlohmann::json({30.0, 10.0, 20.0}));
    EXPECT_TRUE(SampleSummary::json({}).is_null());
}
