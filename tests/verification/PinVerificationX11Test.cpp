// The pin check on a real X server with openbox: run in this process on a
// generated fixture, it passes, writes the report's fixed keys, leaves no
// window and no scratch settings behind; with a kept preview the pin stays
// open over its backdrop until it is closed.

#include "platform/TesseractTextRecognizer.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/EventLoopWait.h"
#include "verification/PinVerification.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QWidget>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <optional>

using namespace kelpie;
using kelpie::test::waitFor;

namespace {

// A screenshot-like fixture with one line of text to read.
QImage fixture()
{
    QImage image(1200, 700, QImage::Format_RGB32);
    image.fill(QColor(245, 246, 248));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, 1200, 90), QColor(52, 101, 164));
    painter.fillRect(QRect(80, 420, 300, 200), QColor(220, 80, 60));
    QFont font = painter.font();
    font.setPixelSize(48);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(80, 260), QStringLiteral("PIN CHECK 4832"));
    return image;
}

class PinVerificationX11 : public kelpie::test::ScratchHome {
protected:
    // Scratch suites of the pin check left on disk.
    QStringList leftSuites() const
    {
        QStringList found;
        QDirIterator files(config(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (path.contains(QString::fromLatin1(PinVerification::suitePrefix)))
                found.append(path);
        }
        return found;
    }

    nlohmann::json report() const
    {
        return nlohmann::json::parse(readFile(reportPath).toStdString(), nullptr, false);
    }

    bool visibleWindowsLeft() const
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible())
                return true;
        }
        return false;
    }

    QString reportPath = folder.path() + QStringLiteral("/pin-report.json");
    std::optional<bool> outcome;
};

} // namespace

TEST_F(PinVerificationX11, PassesAndCleansUp)
{
    PinVerification::run(fixture(), reportPath, false,
                         std::make_shared<TesseractTextRecognizer>(),
                         [this](bool succeeded) { outcome = succeeded; });
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }, 240000));
    const nlohmann::json written = report();
    ASSERT_TRUE(written.is_object()) << readFile(reportPath).toStdString();
    EXPECT_TRUE(*outcome) << written.dump(2);
    EXPECT_EQ(written.value("passed", false), true);
    EXPECT_EQ(written.value("fixture_only", false), true);
    ASSERT_TRUE(written.contains("clipboard_written"));
    EXPECT_EQ(written["clipboard_written"], false);
    for (const char* name : {"pin_stays_floating", "image_fills_pin", "complete_window_placement",
                             "view_opacity_does_not_change_export",
                             "zoom_preserves_aspect_and_pixels", "pin_skips_taskbar",
                             "recognition_finished", "closing_pin_closes_chrome"}) {
        ASSERT_TRUE(written["checks"].contains(name)) << name;
        EXPECT_EQ(written["checks"][name], true) << name;
    }
    // Written pretty-printed with sorted keys.
    EXPECT_EQ(readFile(reportPath).toStdString(), written.dump(2) + "\n");

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(waitFor([&] { return !visibleWindowsLeft(); }));
    EXPECT_TRUE(leftSuites().isEmpty()) << leftSuites().join(QLatin1Char(' ')).toStdString();
}

TEST_F(PinVerificationX11, AKeptPreviewStaysOverItsBackdropUntilThePinCloses)
{
    PinVerification::run(fixture(), reportPath, true, std::make_shared<TesseractTextRecognizer>(),
                         [this](bool succeeded) { outcome = succeeded; });
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }, 240000));
    EXPECT_TRUE(*outcome) << report().dump(2);
    EXPECT_FALSE(report()["checks"].contains("closing_pin_closes_chrome"));

    // The pin and a backdrop as large as the screen are still up.
    QWidget* pin = nullptr;
    QWidget* backdrop = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible())
            continue;
        if (widget->windowTitle() == QStringLiteral("Kelpie · 钉图"))
            pin = widget;
        else if (widget->geometry() == QGuiApplication::primaryScreen()->geometry())
            backdrop = widget;
    }
    ASSERT_TRUE(pin);
    ASSERT_TRUE(backdrop);
    EXPECT_EQ(QApplication::topLevelAt(pin->geometry().center()), pin);
    EXPECT_EQ(QApplication::topLevelAt(QPoint(2, 2)), backdrop);

    // Closing the pin ends the preview: backdrop and suite go.
    pin->close();
    EXPECT_TRUE(waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !visibleWindowsLeft();
    }));
    EXPECT_TRUE(leftSuites().isEmpty());
}

// The launch flags start the same check in the application and end the
// process with its outcome.
TEST_F(PinVerificationX11, TheApplicationRunsItFromItsLaunchFlags)
{
    const QString fixturePath = folder.path() + QStringLiteral("/fixture.png");
    ASSERT_TRUE(fixture().save(fixturePath, "PNG"));
    QProcess kelpie;
    kelpie.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kelpie.start(QStringLiteral(KELPIE_EXECUTABLE),
                 {QStringLiteral("--fixture"), fixturePath, QStringLiteral("--pin-smoke-test"),
                  reportPath});
    ASSERT_TRUE(kelpie.waitForFinished(240000));
    EXPECT_EQ(kelpie.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelpie.exitCode(), 0) << report().dump(2);
    EXPECT_EQ(report().value("passed", false), true);
    EXPECT_TRUE(leftSuites().isEmpty());
}
