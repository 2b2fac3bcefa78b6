// The display and screen checks on a real X server, run in this process
// the way the executable runs them, judged by the reports they write.
#include "platform/TesseractTextRecognizer.h"
#include "platform/X11CaptureService.h"
#include "verification/DisplayVerification.h"
#include "verification/ScreenVerification.h"

#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>

using namespace kelpie;

namespace {

struct Outcome {
    bool succeeded = false;
    nlohmann::json report;
};

// Runs a routine to its end in a local event loop and reads its report.
template<typename Start> Outcome runRoutine(const QString& reportPath, Start start)
{
    QEventLoop loop;
    std::optional<bool> result;
    start([&](bool succeeded) {
        result = succeeded;
        loop.quit();
    });
    QTimer::singleShot(std::chrono::minutes(4), &loop, &QEventLoop::quit);
    loop.exec();
    Outcome outcome;
    outcome.succeeded = result.value_or(false);
    QFile file(reportPath);
    if (file.open(QIODevice::ReadOnly))
        outcome.report = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    return outcome;
}

// Every check that failed, for the failure message.
std::string failedChecks(const nlohmann::json& report)
{
    std::string names;
    // items() refers to the object it iterates, so that object must outlive the loop.
    const nlohmann::json checks = report.value("checks", nlohmann::json::object());
    for (const auto& [name, value] : checks.items()) {
        if (value != true)
            names += name + " ";
    }
    return names + report.value("status", "") + " " + report.value("reason", "");
}

QImage textFixture()
{
    QImage image(640, 300, QImage::Format_RGB32);
    image.fill(QColor(0xf4, 0xf1, 0xea));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(40, 110, QStringLiteral("Screenshot workspace"));
    painter.drawText(40, 190, QStringLiteral("Select this text or mark the image."));
    return image;
}

class ScreenRoutinesX11Test : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::shared_ptr<X11CaptureService> capture = std::make_shared<X11CaptureService>();
    std::shared_ptr<TesseractTextRecognizer> recognizer
        = std::make_shared<TesseractTextRecognizer>();
};

} // namespace

TEST_F(ScreenRoutinesX11Test, DisplayCheckPassesOnEveryScreenThroughTheFixtureHost)
{
    const QString path = dir.filePath(QStringLiteral("display.json"));
    const Outcome outcome = runRoutine(path, [&](auto done) {
        DisplayVerification::run({QStringLiteral(KELPIE_DISPLAY_HOST), path, capture, recognizer},
                                 done);
    });
    EXPECT_TRUE(outcome.succeeded) << failedChecks(outcome.report);
    EXPECT_EQ(outcome.report.value("passed", false), true);
    EXPECT_EQ(outcome.report.value("scope", ""), DisplayVerification::scope());
    ASSERT_TRUE(outcome.report.contains("screens"));
    ASSERT_FALSE(outcome.report["screens"].empty());
    const auto& screen = outcome.report["screens"][0];
    for (const char* key : {"index", "screen_scale", "display_pixels", "region_pixels",
                            "framebuffer_pixels", "filter_content_size", "filter_scale",
                            "source_color_space", "composite_color_space",
                            "raw_png_equal_srgb_baseline", "capture_attempts",
                            "capture_with_enumeration_ms", "safe_ocr_ms"})
        EXPECT_TRUE(screen.contains(key)) << key;
    EXPECT_EQ(outcome.report["checks"].value("display_1_captured_chinese_text_recognized", false),
              true);
    EXPECT_EQ(outcome.report["checks"].value("cancelled_capture_rejected", false), true);
}

TEST_F(ScreenRoutinesX11Test, DisplayCheckWithoutItsHostSaysSoInsteadOfPassing)
{
    const QString path = dir.filePath(QStringLiteral("no-host.json"));
    const Outcome outcome = runRoutine(path, [&](auto done) {
        DisplayVerification::run({dir.filePath(QStringLiteral("missing-host")), path, capture,
                                  recognizer},
                                 done);
    });
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.report.value("passed", true), false);
    EXPECT_EQ(outcome.report.value("status", ""), "skipped");
    EXPECT_EQ(outcome.report.value("reason", ""), "fixture_host_missing");
}

TEST_F(ScreenRoutinesX11Test, ScreenCheckMovesItsWindowCapturesAndEditsOnEveryScreen)
{
    const QString path = dir.filePath(QStringLiteral("screen.json"));
    const Outcome outcome = runRoutine(path, [&](auto done) {
        ScreenVerification::run({textFixture(), path, capture, recognizer}, done);
    });
    EXPECT_TRUE(outcome.succeeded) << failedChecks(outcome.report);
    EXPECT_EQ(outcome.report.value("scope", ""), ScreenVerification::scope());
    EXPECT_TRUE(outcome.report.contains("mixed_1x_2x_available"));
    ASSERT_TRUE(outcome.report.contains("screens"));
    ASSERT_FALSE(outcome.report["screens"].empty());
    for (const char* key : {"index", "screen_scale", "capture_scale", "window_scale",
                            "quartz_window_frame", "own_window_capture_file"})
        EXPECT_TRUE(outcome.report["screens"][0].contains(key)) << key;
}
