// Windows Kelpie raises above its own full-screen windows, on a real X
// server with a window manager: the shared colour panel over a window that
// covers the screen must show on top and take the keyboard.

#include "editor/ScreenshotColorWell.h"
#include "editor/WindowLevel.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QColorDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>

using namespace kelpie;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

QString device(double points, double ratio) { return QString::number(qRound(points * ratio)); }

} // namespace

TEST(RaisedWindowsOnX11, TheColourPanelOverACoveringWindowTakesTheKeyboard)
{
    ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
    QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen->devicePixelRatio();

    // A window covering the screen, as the screenshot editor does.
    QWidget cover(nullptr, Qt::Window | Qt::FramelessWindowHint);
    cover.setStyleSheet(QStringLiteral("background: rgb(20, 90, 60);"));
    WindowLevel::set(&cover, WindowLevel::screenSaver);
    cover.setGeometry(screen->geometry());
    auto* well = new ScreenshotColorWell(&cover);
    well->move(40, 40);
    cover.show();
    cover.raise();
    cover.activateWindow();
    ASSERT_TRUE(waitFor([&] { return cover.isActiveWindow(); }));

    well->activate();
    QColorDialog* panel = ScreenshotColorWell::sharedColorPanel();
    ASSERT_TRUE(waitFor([&] { return panel->isVisible(); }));
    EXPECT_EQ(WindowLevel::of(panel), WindowLevel::screenSaver + 1);

    // Type a colour into the panel's HTML field, as a user would: click it,
    // select what is there, type, confirm.
    QLineEdit* field = nullptr;
    for (QLineEdit* edit : panel->findChildren<QLineEdit*>())
        if (edit->text().startsWith(QLatin1Char('#')))
            field = edit;
    ASSERT_TRUE(field);
    QApplication::processEvents();
    const QPoint at = field->mapToGlobal(field->rect().center());
    // The panel shows on top of the covering window.
    ASSERT_TRUE(waitFor([&] {
        return QApplication::widgetAt(at) == field || QApplication::topLevelAt(at) == panel;
    }));
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), device(at.x(), ratio), device(at.y(), ratio),
                         QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(waitFor([&] { return panel->isActiveWindow() && field->hasFocus(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("#123456")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    EXPECT_TRUE(waitFor([&] { return well->color() == QColor(0x12, 0x34, 0x56); }))
        << well->color().name().toStdString();

    // A drag on the panel's own background moves it.
    const QPoint corner = panel->pos();
    const QPoint grip = panel->mapToGlobal(QPoint(panel->width() - 3, panel->height() - 3));
    ASSERT_EQ(QApplication::widgetAt(grip), panel);
    ASSERT_TRUE(
        xdotool({QStringLiteral("mousemove"), device(grip.x(), ratio), device(grip.y(), ratio),
                 QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(xdotool(
        {QStringLiteral("mousemove"), device(grip.x() - 60, ratio), device(grip.y() - 40, ratio)}));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_TRUE(waitFor([&] { return panel->pos() == corner - QPoint(60, 40); }))
        << panel->pos().x() << "," << panel->pos().y();

    // Closed by hand, the panel gives the keyboard back to the window below.
    panel->reject();
    EXPECT_TRUE(waitFor([&] { return cover.isActiveWindow(); }));
    EXPECT_EQ(WindowLevel::of(panel), WindowLevel::normal);
    EXPECT_FALSE(well->isActive());
}
