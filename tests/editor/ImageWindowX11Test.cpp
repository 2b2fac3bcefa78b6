// The editor window on a real X server with a window manager: the
// screenshot editor covers the whole screen above everything and takes the
// keyboard, Return copies and closes it; a pin floats above ordinary
// windows, moves with a drag on its picture and answers Space and Escape.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

QString device(double points, double ratio) { return QString::number(qRound(points * ratio)); }

// What a command prints; empty when it fails.
QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString windowId(QWidget& window) { return QString::number(window.winId()); }

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 120, 60));
    return image;
}

class ImageWindowX11 : public kelpie::test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
        preferences = std::make_shared<AppPreferences>(
            PreferencesStore::suite(QStringLiteral("com.kelpie.image-window-x11.1")));
    }
    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    std::shared_ptr<AppPreferences> preferences;
    std::shared_ptr<test::FakeClipboard> clipboard = std::make_shared<test::FakeClipboard>();
    std::shared_ptr<test::FakeSavePanel> savePanel = std::make_shared<test::FakeSavePanel>();
    std::unique_ptr<ImageWindow> window;
    int closes = 0;
};

} // namespace

TEST_F(ImageWindowX11, ScreenshotEditorCoversTheScreenAndReturnCopiesAndCloses)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect frame = screen->geometry();
    const Rect region(200, 150, 400, 300);
    ScreenshotPresentation presentation{picture(frame.width(), frame.height()),
                                        Rect(0, 0, frame.width(), frame.height()), region, 1, true};
    window = std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(picture(400, 300)),
                                           false, preferences, presentation, std::nullopt,
                                           clipboard, savePanel);
    window->onClose = [this] { ++closes; };
    QWidget& shell = *window->window();
    ASSERT_TRUE(waitFor([&] { return shell.isActiveWindow(); }));
    EXPECT_EQ(shell.geometry(), frame);
    // Not managed (so it covers the desktop's panels), and at the top.
    const QString info
        = output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId(shell)});
    EXPECT_TRUE(info.contains(QStringLiteral("Override Redirect State: yes")))
        << info.toStdString();
    const QPoint inside = shell.mapToGlobal(window->canvas()->geometry().center());
    EXPECT_EQ(QApplication::topLevelAt(inside), &shell);

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    EXPECT_TRUE(waitFor([&] { return closes == 1; }));
    ASSERT_EQ(clipboard->pngs.size(), 1u);
    QImage copied;
    ASSERT_TRUE(copied.loadFromData(clipboard->pngs[0], "PNG"));
    EXPECT_EQ(copied.size(), QSize(400, 300));
}

TEST_F(ImageWindowX11, PinFloatsMovesWithItsPictureAndAnswersSpaceAndEscape)
{
    const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    window = std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(picture(300, 200)),
                                           true, preferences, std::nullopt, std::nullopt, clipboard,
                                           savePanel);
    window->onClose = [this] { ++closes; };
    QWidget& shell = *window->window();
    ASSERT_TRUE(waitFor([&] { return shell.isVisible() && shell.isActiveWindow(); }));
    const QString state
        = output(QStringLiteral("xprop"),
                 {QStringLiteral("-id"), windowId(shell), QStringLiteral("_NET_WM_STATE"),
                  QStringLiteral("_NET_WM_WINDOW_TYPE")});
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY")))
        << "kept off the task bar: " << state.toStdString();

    // A drag on the picture, away from the edges, moves the pin.
    const QPoint before = shell.geometry().topLeft();
    const QPoint grip = shell.mapToGlobal(QPoint(150, 100));
    ASSERT_TRUE(
        xdotool({QStringLiteral("mousemove"), device(grip.x(), ratio), device(grip.y(), ratio),
                 QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(xdotool(
        {QStringLiteral("mousemove"), device(grip.x() + 40, ratio), device(grip.y() + 30, ratio)}));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_TRUE(waitFor([&] { return shell.geometry().topLeft() == before + QPoint(40, 30); }))
        << shell.geometry().x() << "," << shell.geometry().y();

    ASSERT_TRUE(waitFor([&] { return shell.isActiveWindow(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    EXPECT_TRUE(waitFor([&] { return window->editing(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitFor([&] { return !window->editing(); }));
    EXPECT_EQ(closes, 0);
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitFor([&] { return closes == 1; }));
}
