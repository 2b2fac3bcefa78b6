// The "first-english" benchmark in a process of its own (this test binary
// holds only this case, so no model is loaded before it runs), on a real X
// server with the real editor and recogniser.
#include "verification/FirstAnalysisBenchmark.h"

#include "tests/verification/BenchmarkHarness.h"
#include "verification/CommandLineRecognition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace kelpie;

namespace {
class FirstAnalysisBenchmarkX11 : public test::BenchmarkHarness { };
} // namespace

TEST_F(FirstAnalysisBenchmarkX11, TheFirstAnalysisOfAFreshProcessIsMeasuredToSelectableText)
{
    bool completed = false;
    const auto json = runToEnd(
        [this](std::function<void(bool)> done) {
            FirstAnalysisBenchmark::run("first-english", report, fixtures, *controller,
                                        std::move(done));
        },
        &completed);
    ASSERT_TRUE(json.has_value());
    ASSERT_TRUE(json->is_object()) << "the report is not JSON";
    EXPECT_TRUE(completed) << json->dump(2);
    EXPECT_EQ(json->value("mode", ""), "first-english");
    EXPECT_EQ(json->value("completed", false), true);
    EXPECT_FALSE(json->contains("error"));
    EXPECT_EQ(json->value("scope", ""), FirstAnalysisBenchmark::scope());
    EXPECT_EQ(json->value("fixture", ""), "english-01-plain");
    ASSERT_TRUE(json->contains("analysis_wait_ms"));
    EXPECT_GT(json->at("analysis_wait_ms").get<double>(), 0);
    EXPECT_EQ(json->value("process_first_analysis", false), true);
    EXPECT_EQ(json->value("text_selectable", false), true);
    // The plain English fixture reads nearly perfectly.
    EXPECT_GT(json->value("text_accuracy", 0.0), 0.9);
    if (!CommandLineRecognition::program().isEmpty()) {
        // The tool's figure is the median of its three fresh runs.
        ASSERT_TRUE(json->contains("command_line_tool_runs_ms"));
        std::vector<double> runs = json->at("command_line_tool_runs_ms").get<std::vector<double>>();
        ASSERT_EQ(runs.size(), 3u);
        std::sort(runs.begin(), runs.end());
        EXPECT_DOUBLE_EQ(json->value("command_line_tool_ms", 0.0), runs[1]);
        EXPECT_GT(json->value("analysis_to_command_line_ratio", 0.0), 0);
    }
    // The editor is gone again.
    EXPECT_TRUE(controller->imageWindows().empty());

    // A second run in the same process is no longer the first analysis.
    const auto again = runToEnd(
        [this](std::function<void(bool)> done) {
            FirstAnalysisBenchmark::Options options;
            options.compareWithCommandLine = false;
            FirstAnalysisBenchmark::run("first-english", report, fixtures, *controller,
                                        std::move(done), options);
        },
        &completed);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(completed);
    EXPECT_EQ(again->value("process_first_analysis", true), false);
    EXPECT_FALSE(again->contains("command_line_tool_ms"));
}
