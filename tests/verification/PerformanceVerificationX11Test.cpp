// The benchmark's "startup" and "capture" modes on a real X server with a
// window manager: in this process over a real controller (with smaller
// counts), and as the built kelpie started with the benchmark flags.
#include "app/AppAlerts.h"
#include "app/AppController.h"
#include "editor/QtImageClipboard.h"
#include "platform/X11CaptureService.h"
#include "platform/X11HotkeyService.h"
#include "settings/ScratchPreferences.h"
#include "verification/BenchmarkReport.h"
#include "verification/CaptureBenchmark.h"
#include "verification/PerformanceVerification.h"
#include "verification/StartupBenchmark.h"

#include "../support/EventLoopWait.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace kelpie;
using kelpie::test::waitFor;

namespace {

class SilentAlerts final : public AppAlerts {
public:
    void inform(const QString& message, const QString&) override { said.append(message); }
    int ask(const QString& message, const QString&, const QStringList&) override
    {
        said.append(message);
        return -1;
    }
    QStringList said;
};

// A controller over the real X11 capture and hot keys, launched, with
// preferences of its own.
class LaunchedController {
public:
    LaunchedController() : m_scratch(ScratchPreferences::create(QStringLiteral("com.kelpie.performance.")))
    {
        AppController::Services services;
        services.capture = std::make_shared<X11CaptureService>();
        services.hotkeys = std::make_unique<X11HotkeyService>();
        services.preferences = m_scratch->preferences;
        services.alerts = alerts;
        services.clipboard = std::make_shared<QtImageClipboard>();
        services.pointer = [] { return QCursor::pos(); };
        services.tray = false;
        controller = std::make_unique<AppController>(std::move(services),
                                                     QStringList{QStringLiteral("kelpie")});
        controller->launch();
    }
    ~LaunchedController()
    {
        controller.reset();
        ScratchPreferences::remove(m_scratch->name);
    }

    std::shared_ptr<SilentAlerts> alerts = std::make_shared<SilentAlerts>();
    std::unique_ptr<AppController> controller;

private:
    std::optional<ScratchPreferences> m_scratch;
};

// Runs `mode` to its end and returns the written report.
nlohmann::json measure(BenchmarkMode& mode, const BenchmarkContext& context, bool& measured)
{
    BenchmarkReport report("capture");
    bool finished = false;
    mode.start(context, report, [&](bool ok) {
        measured = ok;
        finished = true;
    });
    EXPECT_TRUE(waitFor([&] { return finished; }, 120'000));
    if (measured)
        report.complete();
    return report.json();
}

nlohmann::json readJson(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
}

QString executable() { return QStringLiteral(KELPIE_EXECUTABLE); }
QString displayHost() { return QStringLiteral(KELPIE_DISPLAY_HOST); }

} // namespace

TEST(PerformanceVerificationX11, CaptureOpensAndClosesTheRealOverlayOverTheDisplayHost)
{
    LaunchedController launched;
    CaptureBenchmark::Options options;
    options.openings = 6;
    CaptureBenchmark mode(options);
    bool measured = false;
    const nlohmann::json report
        = measure(mode, {{}, {}, launched.controller.get(), displayHost()}, measured);
    ASSERT_TRUE(measured) << report.dump(2);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
    ASSERT_EQ(report["openings"].size(), 6u);
    double previous = 0;
    for (const nlohmann::json& opening : report["openings"]) {
        EXPECT_TRUE(opening["ready"].get<bool>());
        // Every frozen screen is the host's fixture, whole and upright.
        EXPECT_TRUE(opening["fixture_corners_valid"].get<bool>());
        EXPECT_EQ(opening["width"].get<int>(), pixels.width());
        EXPECT_EQ(opening["height"].get<int>(), pixels.height());
        EXPECT_GT(opening["submitted_uptime"].get<double>(), previous);
        previous = opening["submitted_uptime"].get<double>();
    }
    const nlohmann::json action = report["action_to_submitted_frame_ms"];
    const nlohmann::json selection = report["selection_and_frame_ms"];
    EXPECT_EQ(action["count"].get<int>(), 6);
    EXPECT_GT(action["median"].get<double>(), 0.0);
    // The part after the frozen screen is in hand is part of the whole.
    EXPECT_LE(selection["median"].get<double>(), action["median"].get<double>());
    EXPECT_EQ(report["selection_windows_after"].get<int>(), 0);
    EXPECT_EQ(launched.controller->selectionWindow(), nullptr);
    EXPECT_TRUE(launched.alerts->said.isEmpty());
}

TEST(PerformanceVerificationX11, CaptureFailsWhenTheDisplayHostCannotStart)
{
    LaunchedController launched;
    CaptureBenchmark::Options options;
    options.openings = 2;
    CaptureBenchmark mode(options);
    bool measured = true;
    measure(mode, {{}, {}, launched.controller.get(), QStringLiteral("/nonexistent/host")},
            measured);
    EXPECT_FALSE(measured);
}

TEST(PerformanceVerificationX11, StartupTimesFreshProcessesToTheirReadiness)
{
    LaunchedController launched;
    ASSERT_GT(launched.controller->hotkeys().activeCount(), 0);
    StartupBenchmark::Options options;
    options.program = executable();
    options.runs = 2;
    StartupBenchmark mode(options);
    bool measured = false;
    const nlohmann::json report
        = measure(mode, {{}, {}, launched.controller.get(), std::nullopt}, measured);
    ASSERT_TRUE(measured) << report.dump(2);
    const double ms = report["process_start_to_ready_ms"].get<double>();
    EXPECT_GT(ms, 0.0);
    EXPECT_EQ(report["process_start_to_ready_samples_ms"].size(), 2u);
    const nlohmann::json state = report["ready_state"];
    EXPECT_TRUE(state["ready"].get<bool>());
    // This controller gave its keys up, so the children registered all
    // three (capture, pin and the fallback) without a warning.
    EXPECT_EQ(launched.controller->hotkeys().activeCount(), 0);
    EXPECT_EQ(state["registered_hotkeys"].get<int>(), 3);
    EXPECT_TRUE(state["hotkey_warning"].is_null());
    // No tray host runs here.
    EXPECT_FALSE(state["status_button_attached"].get<bool>());
}

TEST(PerformanceVerificationX11, StartupFailsWhenTheChildNeverGetsReady)
{
    LaunchedController launched;
    StartupBenchmark::Options options;
    options.program = QStringLiteral("/bin/true");
    options.runs = 1;
    StartupBenchmark mode(options);
    bool measured = true;
    measure(mode, {{}, {}, launched.controller.get(), std::nullopt}, measured);
    EXPECT_FALSE(measured);
}

TEST(PerformanceVerificationX11, TheExecutableRunsAModeFromItsFlagsAndExitsWithItsStatus)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString report = folder.filePath(QStringLiteral("startup.json"));
    QProcess kelpie;
    kelpie.setProcessChannelMode(QProcess::ForwardedChannels);
    kelpie.start(executable(), {QStringLiteral("--benchmark-report"), report,
                                QStringLiteral("--benchmark-mode"), QStringLiteral("startup"),
                                QStringLiteral("--benchmark-fixtures"), folder.path()});
    ASSERT_TRUE(kelpie.waitForFinished(120'000));
    EXPECT_EQ(kelpie.exitCode(), 0);
    const nlohmann::json written = readJson(report);
    ASSERT_TRUE(written.is_object());
    EXPECT_EQ(written["mode"], "startup");
    EXPECT_EQ(written["completed"], true);
    EXPECT_EQ(written["scope"],
              "内核进程开始时间至菜单/热键注册与AppKit提交；不含实体按键和屏幕实际呈现延迟。"
              "进程重启，未清系统缓存。");
    EXPECT_TRUE(written["process_start_to_ready_ms"].is_number());
    for (const char* key : {"ready", "status_button_attached", "registered_hotkeys", "hotkey_warning"})
        EXPECT_TRUE(written["ready_state"].contains(key)) << key;
}

TEST(PerformanceVerificationX11, AnUnknownModeWritesTheFailedFormAndExitsOne)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString report = folder.filePath(QStringLiteral("unknown.json"));
    QProcess kelpie;
    kelpie.setProcessChannelMode(QProcess::ForwardedChannels);
    kelpie.start(executable(), {QStringLiteral("--benchmark-mode"), QStringLiteral("warp"),
                                QStringLiteral("--benchmark-fixtures"), folder.path(),
                                QStringLiteral("--benchmark-report"), report});
    ASSERT_TRUE(kelpie.waitForFinished(60'000));
    EXPECT_EQ(kelpie.exitCode(), 1);
    EXPECT_EQ(readJson(report), nlohmann::json({{"mode", "warp"},
                                                {"completed", false},
                                                {"error", "measurement_failed"}}));
}
