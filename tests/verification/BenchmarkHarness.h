#pragma once

#include "app/AppAlerts.h"
#include "app/AppController.h"
#include "editor/ImageClipboard.h"
#include "platform/TextRecognizerModule.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/settings/FakeHotkeyService.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/EventLoopWait.h"
#include "verification/BenchmarkFixture.h"
// Last: its namespace kelpie::testing would hide GoogleTest's from the
// headers above.
#include "tests/capture/FakeCaptureService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace kelpie::test {

// A real application controller (real editors and pins, the real
// recogniser) with the window system's other services faked, the benchmark
// fixture set written to a scratch folder, and a way to run one benchmark
// to its end and read its report.
class BenchmarkHarness : public ScratchHome {
protected:
    struct SilentAlerts : AppAlerts {
        void inform(const QString&, const QString&) override { }
        int ask(const QString&, const QString&, const QStringList&) override { return 0; }
    };
    struct NoClipboard : ImageClipboard {
        Status<ClipboardError> writePng(const QByteArray&) override { return Done{}; }
        Status<ClipboardError> writeText(const QString&) override { return Done{}; }
    };

    void SetUp() override
    {
        ScratchHome::SetUp();
        fixtures = folder.filePath(QStringLiteral("fixtures"));
        ASSERT_TRUE(BenchmarkFixtureSet::write(fixtures).ok());
        report = folder.filePath(QStringLiteral("report.json"));

        AppController::Services services;
        services.capture = std::make_shared<kelpie::testing::FakeCaptureService>();
        services.hotkeys = std::make_unique<FakeService>();
        services.preferences = std::make_shared<AppPreferences>(
            std::make_shared<PreferencesStore>(folder.filePath(QStringLiteral("shared.json"))));
        services.alerts = std::make_shared<SilentAlerts>();
        services.clipboard = std::make_shared<NoClipboard>();
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        services.pointer = [centre] { return centre; };
        services.tray = false;
        services.textRecognizer = TextRecognizerModule::make;
        controller = std::make_unique<AppController>(std::move(services),
                                                     QStringList{QStringLiteral("kelpie")});
        controller->launch();
    }
    void TearDown() override
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    // Starts a benchmark with the callback it must call once, runs the event
    // loop until it has, and reads the report. Absent when the callback
    // never came (a hang guard, not a time limit on the figures).
    std::optional<nlohmann::json> runToEnd(const std::function<void(std::function<void(bool)>)>& start,
                                           bool* completed)
    {
        std::optional<bool> outcome;
        int calls = 0;
        start([&](bool value) {
            ++calls;
            outcome = value;
        });
        EXPECT_FALSE(outcome.has_value()) << "the benchmark ended before run() returned";
        if (!waitFor([&] { return outcome.has_value(); }, 900000))
            return std::nullopt;
        // Whatever is still queued runs; the callback must not come twice.
        for (int round = 0; round < 20; ++round)
            QCoreApplication::processEvents();
        EXPECT_EQ(calls, 1);
        *completed = *outcome;
        QFile file(report);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    }

    QString fixtures;
    QString report;
    std::unique_ptr<AppController> controller;
};

} // namespace kelpie::test
