// The "matrix" benchmark over a test-size corpus, and how the text
// benchmarks fail, on a real X server with the real editor, pins and
// recogniser.
#include "verification/FirstAnalysisBenchmark.h"
#include "verification/MatrixBenchmark.h"

#include "tests/verification/BenchmarkHarness.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

class MatrixBenchmarkX11 : public test::BenchmarkHarness {
protected:
    void expectMeasurementFailed(const nlohmann::json& json, const std::string& mode)
    {
        const nlohmann::json expected
            = {{"mode", mode}, {"completed", false}, {"error", "measurement_failed"}};
        EXPECT_EQ(json, expected);
    }
};

} // namespace

TEST_F(MatrixBenchmarkX11, EveryFixtureIsReadThriceAndNothingOutlivesItsWindow)
{
    MatrixBenchmark::Options options;
    options.fixtureLimit = 2;
    options.pins = 3;
    options.idle = std::chrono::milliseconds(600);
    options.sampleInterval = std::chrono::milliseconds(200);
    bool completed = false;
    const auto json = runToEnd(
        [&](std::function<void(bool)> done) {
            MatrixBenchmark::run(report, fixtures, *controller, std::move(done), options);
        },
        &completed);
    ASSERT_TRUE(json.has_value());
    ASSERT_TRUE(json->is_object());
    ASSERT_TRUE(completed) << json->dump(2);
    EXPECT_EQ(json->value("mode", ""), "matrix");
    EXPECT_EQ(json->value("scope", ""), MatrixBenchmark::scope());

    for (const char* key :
         {"results", "memory_with_editor", "memory_after_close", "memory_after_2s",
          "seconds_after_close", "after_close_samples", "idle_after_corpus_2s",
          "idle_after_pins_closed_2s", "corpus_controller_survivors", "corpus_object_survivors",
          "pin_controller_survivors", "pin_object_survivors", "closed_controller_released",
          "windows_after_close", "nsapp_windows_including_hidden",
          "visible_normal_or_floating_windows", "phys_footprint_bytes"})
        EXPECT_TRUE(json->contains(key)) << key;

    const nlohmann::json& results = json->at("results");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].value("id", ""), "chinese-01-plain");
    for (const nlohmann::json& result : results) {
        EXPECT_EQ(result.at("analysis_ms").size(), 3u) << result.dump();
        EXPECT_EQ(result.value("analysed", false), true);
        EXPECT_GT(result.value("text_accuracy", 0.0), 0.5) << result.dump();
    }
    // Reading a screen again after its lines were read costs less than the first time.
    EXPECT_LT(results[0].at("analysis_ms")[2].get<double>(),
              results[0].at("analysis_ms")[0].get<double>());

    EXPECT_EQ(json->value("corpus_controller_survivors", -1), 0);
    EXPECT_EQ(json->value("corpus_object_survivors", -1), 0);
    EXPECT_EQ(json->value("pin_controller_survivors", -1), 0);
    EXPECT_EQ(json->value("pin_object_survivors", -1), 0);
    EXPECT_EQ(json->value("closed_controller_released", false), true);
    EXPECT_EQ(json->value("windows_after_close", -1), 0);
    EXPECT_EQ(json->value("visible_normal_or_floating_windows", -1), 0);

    const nlohmann::json& samples = json->at("after_close_samples");
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples.back().at("bytes"), json->at("memory_after_2s"));
    EXPECT_EQ(samples.back().at("seconds"), json->at("seconds_after_close"));
    EXPECT_GE(json->at("seconds_after_close").get<double>(), 0.6);
    EXPECT_GT(json->at("memory_with_editor").get<std::int64_t>(), 0);
    EXPECT_GT(json->at("phys_footprint_bytes").get<std::int64_t>(), 0);
    EXPECT_TRUE(json->at("idle_after_pins_closed_2s").contains("cpu_ms"));
    // The goal's figure compares the two idle footprints.
    EXPECT_EQ(json->value("memory_growth_after_pins_bytes", std::int64_t(0)),
              json->at("idle_after_pins_closed_2s").at("phys_footprint_bytes").get<std::int64_t>()
                  - json->at("idle_after_corpus_2s").at("phys_footprint_bytes").get<std::int64_t>());
    EXPECT_EQ(json->at("after_pins_closed_samples").size(), 3u);
    // Private dirty memory is part of the footprint.
    for (const char* idle : {"idle_after_corpus_2s", "idle_after_pins_closed_2s"}) {
        const nlohmann::json& figures = json->at(idle);
        EXPECT_GT(figures.at("private_dirty_bytes").get<std::int64_t>(), 0) << idle;
        EXPECT_LE(figures.at("private_dirty_bytes").get<std::int64_t>(),
                  figures.at("phys_footprint_bytes").get<std::int64_t>())
            << idle;
    }
    EXPECT_TRUE(controller->imageWindows().empty());
}

TEST_F(MatrixBenchmarkX11, AMeasurementThatCannotBeMadeSaysSo)
{
    bool completed = true;
    const QString nowhere = folder.filePath(QStringLiteral("no-fixtures"));
    auto json = runToEnd(
        [&](std::function<void(bool)> done) {
            MatrixBenchmark::run(report, nowhere, *controller, std::move(done));
        },
        &completed);
    ASSERT_TRUE(json.has_value());
    EXPECT_FALSE(completed);
    expectMeasurementFailed(*json, "matrix");

    for (const std::string mode : {"first-klingon", "first-", "matrix"}) {
        completed = true;
        json = runToEnd(
            [&](std::function<void(bool)> done) {
                FirstAnalysisBenchmark::run(mode, report, fixtures, *controller, std::move(done));
            },
            &completed);
        ASSERT_TRUE(json.has_value());
        EXPECT_FALSE(completed) << mode;
        expectMeasurementFailed(*json, mode);
    }

    // A manifest naming an image that does not decode.
    QFile broken(QDir(fixtures).filePath(QStringLiteral("english-01-plain.png")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not a picture");
    broken.close();
    completed = true;
    json = runToEnd(
        [&](std::function<void(bool)> done) {
            FirstAnalysisBenchmark::run("first-english", report, fixtures, *controller,
                                        std::move(done));
        },
        &completed);
    ASSERT_TRUE(json.has_value());
    EXPECT_FALSE(completed);
    expectMeasurementFailed(*json, "first-english");
    EXPECT_TRUE(controller->imageWindows().empty());
}
