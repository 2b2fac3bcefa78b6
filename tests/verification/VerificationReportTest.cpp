#include "verification/VerificationReport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(VerificationReport, PassesOnlyWithChecksThatAllHold)
{
    VerificationReport report;
    EXPECT_FALSE(report.passed()); // no checks is not a pass
    report.check("pin_stays_floating", true);
    EXPECT_TRUE(report.passed());
    // A check repeated over several steps keeps its worst outcome.
    report.check("image_fills_pin", false);
    report.check("image_fills_pin", true);
    EXPECT_FALSE(report.passed());
    EXPECT_FALSE(report.checks().at("image_fills_pin"));
}

TEST(VerificationReport, ARoutineThatCannotStartSaysWhyAndNeverPasses)
{
    VerificationReport report;
    report.check("flow_completed", true);
    report.notRun("skipped", "fixture_host_missing");
    const nlohmann::json json = report.json();
    EXPECT_FALSE(json.contains("checks"));
    EXPECT_EQ(json["status"], "skipped");
    EXPECT_EQ(json["reason"], "fixture_host_missing");
    EXPECT_EQ(json["passed"], false);
    // Checks made after that are not counted.
    report.check("flow_completed", true);
    EXPECT_FALSE(report.passed());
}

TEST(VerificationReport, WrittenPrettyWithSortedKeysAndItsOwnPassRule)
{
    VerificationReport report;
    report.check("zoom_preserves_aspect_and_pixels", true);
    report.check("complete_window_placement", true);
    report.setFixtureOnly(true);
    report.set("clipboard_written", false);
    report.set("passed", false); // the pass rule is the report's own
    report.set("checks", 3);
    const auto text = report.text();
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text.value(), "{\n"
                            "  \"checks\": {\n"
                            "    \"complete_window_placement\": true,\n"
                            "    \"zoom_preserves_aspect_and_pixels\": true\n"
                            "  },\n"
                            "  \"clipboard_written\": false,\n"
                            "  \"fixture_only\": true,\n"
                            "  \"passed\": true\n"
                            "}\n");
}

TEST(VerificationReport, WritingReplacesTheFileWholeOrFailsClearly)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("report.json"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older, much longer report that must not leave a tail behind");
    }
    VerificationReport report;
    report.check("closed_window_rejected", true);
    ASSERT_TRUE(report.write(path).ok());
    const auto written = nlohmann::json::parse(readFile(path).toStdString());
    EXPECT_EQ(written, report.json());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.json")});

    const auto missing = report.write(folder.filePath(QStringLiteral("no/such/folder/r.json")));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), ReportError::unwritable);

    // Text that is not UTF-8 cannot be serialised: a failure, not a report
    // with damaged text, and the file on disk stays as it was.
    report.set("reason", std::string("\xff\xfe"));
    const auto bad = report.write(path);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), ReportError::unserialisable);
    EXPECT_EQ(nlohmann::json::parse(readFile(path).toStdString()), written);
}

TEST(VerificationReport, CheckNames)
{
    for (const char* good : {"flow_completed", "display_1_native_display_resolution", "a"})
        EXPECT_TRUE(VerificationReport::isCheckName(good)) << good;
    for (const char* bad : {"", "_lead", "trail_", "double__underscore", "Upper", "with space",
                            "dash-ed", "点"})
        EXPECT_FALSE(VerificationReport::isCheckName(bad)) << bad;
}

} // namespace
