#include "platform/PortalCaptureService.h"

#include "tests/support/EventLoopWait.h"
#include "tests/support/FakePortal.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonObject>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace kelpie {
namespace {

using namespace std::chrono_literals;
using ImageResult = CaptureService::Result<QImage>;

const QColor screenColors[] = {Qt::red, Qt::blue};

class PortalCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(portal.startError().isEmpty()) << portal.startError().toStdString();
        ASSERT_TRUE(directory.isValid());
        service = std::make_unique<PortalCaptureService>(portal.connection());
        service->setTimeouts(3s, 3s);
    }

    // A desktop image as the portal would write it, at `scale` pixels per
    // point: each screen filled with its colour. Returns its file URI.
    QString writeDesktop(double scale, const QString& name = QStringLiteral("desktop.png"))
    {
        QRect desktop;
        for (const QScreen* screen : QGuiApplication::screens())
            desktop = desktop.united(screen->geometry());
        QImage image((desktop.size().toSizeF() * scale).toSize(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        const QList<QScreen*> screens = QGuiApplication::screens();
        for (qsizetype i = 0; i < screens.size(); ++i) {
            const QRectF frame = screens[i]->geometry().translated(-desktop.topLeft());
            painter.fillRect(QRectF(frame.topLeft() * scale, frame.size() * scale),
                             screenColors[i % 2]);
        }
        painter.end();
        const QString path = directory.filePath(name);
        EXPECT_TRUE(image.save(path, "PNG"));
        return QUrl::fromLocalFile(path).toString();
    }

    QVariantMap uriResult(const QString& uri) { return {{QStringLiteral("uri"), uri}}; }

    ShareableContent::Display displayOf(const QScreen* screen)
    {
        const auto content = awaited(service->shareableContent());
        for (const ShareableContent::Display& display : content->displays) {
            if (display.displayID == service->displayNumber(screen))
                return display;
        }
        ADD_FAILURE() << "no display for " << screen->name().toStdString();
        return {};
    }

    QFuture<ImageResult> capture(const QScreen* screen)
    {
        const ShareableContent::Display display = displayOf(screen);
        const auto size = PixelLimits::pixelSize(
            display.contentRect.width(), display.contentRect.height(), display.pointPixelScale);
        return service->captureDisplay(display, *size, service->processId());
    }

    template<typename T> T awaited(QFuture<T> future)
    {
        EXPECT_TRUE(test::waitFor([&future] { return future.isFinished(); }, 10000));
        EXPECT_EQ(future.resultCount(), 1);
        return future.result();
    }

    ImageResult captureFirstScreen() { return awaited(capture(QGuiApplication::primaryScreen())); }

    test::FakePortal portal;
    QTemporaryDir directory;
    std::unique_ptr<PortalCaptureService> service;
};

QVariantMap optionsOf(const QJsonValue& call)
{
    return call.toObject().value(QStringLiteral("args")).toArray().at(1).toObject().toVariantMap();
}

TEST_F(PortalCapture, cutsEveryScreenFromOneDesktopImageWhileOurWindowsAreHidden)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2) << "the test runs on two offscreen screens";
    const QString uri = writeDesktop(2);
    portal.answer(QStringLiteral("Screenshot"), 0, uriResult(uri));

    int hides = 0;
    int shows = 0;
    qsizetype screenshotsWhenHidden = -1;
    qsizetype screenshotsWhenShown = -1;
    service->setOwnWindowsHider([&]() -> std::function<void()> {
        ++hides;
        screenshotsWhenHidden = portal.calls(QStringLiteral("Screenshot")).size();
        return [&] {
            ++shows;
            screenshotsWhenShown = portal.calls(QStringLiteral("Screenshot")).size();
        };
    });

    // Both asked for in one turn, as a capture of every screen does; the
    // second joins the call the first began.
    const ShareableContent::Display first = displayOf(screens[0]);
    const ShareableContent::Display second = displayOf(screens[1]);
    QFuture<ImageResult> a = service->captureDisplay(first, {400, 300}, service->processId());
    // The call begins as the first screen is asked for, not a turn of the
    // event loop later, when the caller may be busy making its overlay.
    EXPECT_EQ(hides, 1);
    QFuture<ImageResult> b = service->captureDisplay(second, {1280, 960}, service->processId());
    const ImageResult left = awaited(a);
    const ImageResult right = awaited(b);

    ASSERT_TRUE(left) << left.failure().detail;
    ASSERT_TRUE(right) << right.failure().detail;
    // The scale-1 screen was rendered at 2 and brought down to its size.
    EXPECT_EQ(left.value().size(), QSize(400, 300));
    EXPECT_EQ(QColor(left.value().pixel(200, 150)), screenColors[0]);
    EXPECT_EQ(right.value().size(), QSize(1280, 960));
    EXPECT_EQ(QColor(right.value().pixel(0, 0)), screenColors[1]);
    EXPECT_EQ(QColor(right.value().pixel(1279, 959)), screenColors[1]);

    const QJsonArray shots = portal.calls(QStringLiteral("Screenshot"));
    ASSERT_EQ(shots.size(), 1);
    const QVariantMap options = optionsOf(shots[0]);
    EXPECT_EQ(options.value(QStringLiteral("interactive")), QVariant(false));
    EXPECT_FALSE(options.value(QStringLiteral("handle_token")).toString().isEmpty());
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(screenshotsWhenHidden, 0);
    EXPECT_EQ(screenshotsWhenShown, 1);
    EXPECT_FALSE(QFile::exists(QUrl(uri).toLocalFile()));
}

TEST_F(PortalCapture, registersTheApplicationOnceBeforeItsFirstScreenshot)
{
    portal.answer(QStringLiteral("Screenshot"), 0,
                  uriResult(writeDesktop(1, QStringLiteral("1.png"))));
    portal.answer(QStringLiteral("Screenshot"), 0,
                  uriResult(writeDesktop(1, QStringLiteral("2.png"))));
    EXPECT_TRUE(captureFirstScreen());
    EXPECT_TRUE(captureFirstScreen());

    const QJsonArray calls = portal.calls();
    QStringList methods;
    for (const QJsonValue& call : calls) {
        const QString method = call.toObject().value(QStringLiteral("method")).toString();
        if (method != QStringLiteral("Lookup"))
            methods << method;
    }
    EXPECT_EQ(methods,
              QStringList({QStringLiteral("Register"), QStringLiteral("Screenshot"),
                           QStringLiteral("Screenshot")}));
    EXPECT_EQ(portal.calls(QStringLiteral("Register"))[0].toObject()[QStringLiteral("args")][0],
              QJsonValue(QStringLiteral("io.kelpie.Kelpie")));
}

TEST_F(PortalCapture, worksWithAPortalThatHasNoRegistry)
{
    portal.setRegistry(false);
    portal.answer(QStringLiteral("Screenshot"), 0, uriResult(writeDesktop(1)));
    const ImageResult shot = captureFirstScreen();
    EXPECT_TRUE(shot) << shot.failure().detail;
}

TEST_F(PortalCapture, takesAnswersThatComeEarlyOrOnAnotherHandle)
{
    // Before the call's own reply, on the predicted handle.
    const QString early = writeDesktop(1, QStringLiteral("early.png"));
    portal.answer(QStringLiteral("Screenshot"), 0, uriResult(early), QStringLiteral("before"));
    const ImageResult first = captureFirstScreen();
    EXPECT_TRUE(first) << first.failure().detail;
    EXPECT_FALSE(QFile::exists(QUrl(early).toLocalFile()));

    // On the handle the reply names, not the predicted one.
    const QString moved = writeDesktop(1, QStringLiteral("moved.png"));
    portal.answer(QStringLiteral("Screenshot"), 0, uriResult(moved), QStringLiteral("elsewhere"));
    const ImageResult second = captureFirstScreen();
    EXPECT_TRUE(second) << second.failure().detail;
    EXPECT_FALSE(QFile::exists(QUrl(moved).toLocalFile()));
}

TEST_F(PortalCapture, turnsEachKindOfRefusalIntoItsFailure)
{
    // Cancelled by the user: a refusal.
    portal.answer(QStringLiteral("Screenshot"), 1);
    const ImageResult cancelled = captureFirstScreen();
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error(), CaptureError::permission);

    portal.answer(QStringLiteral("Screenshot"), 2);
    const ImageResult failed = captureFirstScreen();
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), CaptureError::system);

    // Success without a file.
    portal.answer(QStringLiteral("Screenshot"), 0);
    const ImageResult noUri = captureFirstScreen();
    ASSERT_FALSE(noUri);
    EXPECT_EQ(noUri.error(), CaptureError::system);
    EXPECT_NE(noUri.failure().detail.find("no local file"), std::string::npos);

    // A file that is no image: a failure, and the file is gone all the same.
    const QString garbage = directory.filePath(QStringLiteral("garbage.png"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a png");
    file.close();
    portal.answer(QStringLiteral("Screenshot"), 0,
                  uriResult(QUrl::fromLocalFile(garbage).toString()));
    const ImageResult unreadable = captureFirstScreen();
    ASSERT_FALSE(unreadable);
    EXPECT_EQ(unreadable.error(), CaptureError::system);
    EXPECT_FALSE(QFile::exists(garbage));
}

TEST_F(PortalCapture, givesUpOnAPortalThatNeverAnswersAndShowsOurWindowsAgain)
{
    service->setTimeouts(300ms, 300ms);
    bool shown = false;
    service->setOwnWindowsHider(
        [&shown]() -> std::function<void()> { return [&shown] { shown = true; }; });
    portal.answer(QStringLiteral("Screenshot"), 0, {}, QStringLiteral("never"));
    const ImageResult shot = captureFirstScreen();
    ASSERT_FALSE(shot);
    EXPECT_EQ(shot.error(), CaptureError::system);
    EXPECT_NE(shot.failure().detail.find("did not answer"), std::string::npos);
    EXPECT_TRUE(shown);
}

TEST_F(PortalCapture, readsThePermissionStore)
{
    EXPECT_EQ(service->permission(), PortalCaptureService::Permission::unset);
    EXPECT_TRUE(service->hasAccess());

    portal.setPermission(QStringLiteral("yes"));
    EXPECT_EQ(service->permission(), PortalCaptureService::Permission::granted);
    EXPECT_TRUE(service->hasAccess());

    portal.setPermission(QStringLiteral("no"));
    EXPECT_EQ(service->permission(), PortalCaptureService::Permission::denied);
    EXPECT_FALSE(service->hasAccess());
}

TEST_F(PortalCapture, asksForAccessWithOneInteractiveScreenshot)
{
    const QString uri = writeDesktop(1);
    portal.answer(QStringLiteral("Screenshot"), 0, uriResult(uri));
    EXPECT_TRUE(awaited(service->requestAccess()));
    EXPECT_FALSE(QFile::exists(QUrl(uri).toLocalFile()));
    const QJsonArray shots = portal.calls(QStringLiteral("Screenshot"));
    ASSERT_EQ(shots.size(), 1);
    EXPECT_EQ(optionsOf(shots[0]).value(QStringLiteral("interactive")), QVariant(true));

    portal.answer(QStringLiteral("Screenshot"), 1);
    EXPECT_FALSE(awaited(service->requestAccess()));
}

TEST_F(PortalCapture, listsDisplaysOnlyAndRefusesWhatItCannotCapture)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    const auto content = awaited(service->shareableContent());
    ASSERT_TRUE(content);
    EXPECT_TRUE(content->windows.empty());
    ASSERT_EQ(content->displays.size(), 2u);
    const ShareableContent::Display& hiDpi = content->displays[1];
    EXPECT_EQ(hiDpi.displayID, service->displayNumber(screens[1]));
    EXPECT_NE(hiDpi.displayID, 0u);
    EXPECT_NE(hiDpi.displayID, content->displays[0].displayID);
    EXPECT_EQ(hiDpi.displayID, PortalCaptureService::displayNumberOf(QStringLiteral("HDMI-A-1")));
    EXPECT_EQ(hiDpi.pointPixelScale, 2);
    EXPECT_EQ(hiDpi.contentRect.size, (Size{640, 480}));
    EXPECT_EQ(hiDpi.nativeFrame.size, (Size{1280, 960}));
    EXPECT_EQ(service->screen(hiDpi.displayID), screens[1]);

    // A size the screen no longer has, a display that is gone, a window.
    const auto resized = awaited(service->captureDisplay(hiDpi, {640, 480}, 0));
    ASSERT_FALSE(resized);
    EXPECT_EQ(resized.error(), CaptureError::screenChanged);
    ShareableContent::Display gone = hiDpi;
    gone.displayID = 7;
    const auto missing = awaited(service->captureDisplay(gone, {1280, 960}, 0));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), CaptureError::missing);
    const auto window = awaited(service->captureWindow({}, {10, 10}));
    ASSERT_FALSE(window);
    EXPECT_EQ(window.error(), CaptureError::missing);
    // None of it went to the portal.
    EXPECT_TRUE(portal.calls(QStringLiteral("Screenshot")).isEmpty());
}

} // namespace
} // namespace kelpie
