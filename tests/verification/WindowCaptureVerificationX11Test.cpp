// The window-capture check on a real X server with a window manager:
// in-process over the real capture service, and as the built program
// started with its launch flags.
#include "verification/WindowCaptureVerification.h"

#include "platform/X11CaptureService.h"
#include "tests/support/EventLoopWait.h"
#include "verification/DisplayFixture.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>

using namespace kelpie;
using kelpie::test::waitFor;

namespace {

nlohmann::json readReport(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
}

void expectEveryCheckPassed(const nlohmann::json& report)
{
    ASSERT_TRUE(report.is_object()) << "no report";
    EXPECT_EQ(report.value("passed", false), true) << report.dump(2);
    EXPECT_EQ(report.value("fixture_only", false), true);
    const nlohmann::json expected = {{"actual_system_window_capture", true},
                                     {"closed_window_rejected", true},
                                     {"source_owner_only", true},
                                     {"wrong_owner_rejected", true}};
    EXPECT_EQ(report.value("checks", nlohmann::json()), expected);
}

int visibleTopLevels()
{
    int visible = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        visible += widget->isVisible() ? 1 : 0;
    return visible;
}

} // namespace

TEST(WindowCaptureVerificationX11, CapturesItsOwnWindowAndRejectsClosedAndForeignOnes)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("window.json"));
    auto service = std::make_shared<X11CaptureService>();
    ASSERT_TRUE(service->isConnected());

    std::optional<bool> passed;
    WindowCaptureVerification::run(service, DisplayFixture::draw(QSize(900, 560), 1.0), path,
                                   [&](bool value) { passed = value; });
    EXPECT_FALSE(passed.has_value());
    ASSERT_TRUE(waitFor([&] { return passed.has_value(); }, 120000));
    EXPECT_TRUE(*passed);
    expectEveryCheckPassed(readReport(path));
    // Its windows are gone and the other owner has been ended.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(visibleTopLevels(), 0);
}

TEST(WindowCaptureVerificationX11, TheProgramRunsTheCheckFromItsFlagsAndEndsWithItsOutcome)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString fixture = folder.filePath(QStringLiteral("fixture.png"));
    ASSERT_TRUE(DisplayFixture::draw(QSize(800, 500), 1.0).save(fixture));
    const QString path = folder.filePath(QStringLiteral("window.json"));

    QProcess kelpie;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), folder.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
    kelpie.setProcessEnvironment(environment);
    kelpie.start(QStringLiteral(KELPIE_EXECUTABLE),
                 {QStringLiteral("--fixture"), fixture, QStringLiteral("--window-smoke-test"), path});
    ASSERT_TRUE(kelpie.waitForStarted());
    ASSERT_TRUE(kelpie.waitForFinished(180000)) << "the check did not end the process";
    EXPECT_EQ(kelpie.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelpie.exitCode(), 0) << kelpie.readAllStandardError().toStdString();
    expectEveryCheckPassed(readReport(path));
}
