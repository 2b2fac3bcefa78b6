// The whole program on a real X server with a window manager, driven only by
// XTest input: the capture key freezes the screen, a drag and Return put the
// region on the clipboard, and another client reads back exactly the pixels
// that were on screen there.

#include "../support/EventLoopWait.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

// A window of colour blocks and fine lines under the region, so that any
// resampling or offset shows in the copied pixels.
class Pattern : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        for (int y = 0; y < height(); y += 16) {
            for (int x = 0; x < width(); x += 16)
                painter.fillRect(x, y, 16, 16, QColor::fromHsv((x * 7 + y * 3) % 360, 180, 220));
        }
        painter.setPen(Qt::black);
        for (int x = 0; x < width(); x += 5)
            painter.drawLine(x, 0, x, height());
    }
};

// Whether a mapped window has a title matching `name`.
bool windowNamed(const QString& name)
{
    QProcess search;
    search.setStandardOutputFile(QProcess::nullDevice());
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                  name});
    return search.waitForFinished() && search.exitCode() == 0;
}

TEST(EndToEndX11, CaptureKeyDragAndReturnCopyTheExactPixels)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    Pattern pattern;
    pattern.setWindowTitle(QStringLiteral("pattern"));
    pattern.setGeometry(QGuiApplication::primaryScreen()->geometry().adjusted(40, 60, -40, -40));
    pattern.show();
    ASSERT_TRUE(waitFor([] { return windowNamed(QStringLiteral("pattern")); }));

    QProcess kelpie;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    kelpie.setProcessEnvironment(environment);
    kelpie.setProcessChannelMode(QProcess::ForwardedChannels);
    kelpie.start(QStringLiteral(KELPIE_EXECUTABLE), {});
    ASSERT_TRUE(kelpie.waitForStarted());

    // Until the key is grabbed a press goes to the focused window instead;
    // press again until the overlay is up.
    const QString overlay = QStringLiteral("Kelpie · 框选");
    ASSERT_TRUE(waitFor(
        [&] {
            xdotool({QStringLiteral("key"), QStringLiteral("F1")});
            return waitFor([&] { return windowNamed(overlay); }, 700);
        },
        20000))
        << "the capture key never brought up the overlay";

    const QRect region(200, 150, 301, 177);
    xdotool({QStringLiteral("mousemove"), QString::number(region.left()),
             QString::number(region.top()), QStringLiteral("mousedown"), QStringLiteral("1")});
    xdotool({QStringLiteral("mousemove"), QString::number(region.center().x()),
             QString::number(region.center().y())});
    xdotool({QStringLiteral("mousemove"), QString::number(region.left() + region.width()),
             QString::number(region.top() + region.height()), QStringLiteral("mouseup"),
             QStringLiteral("1")});
    QCoreApplication::processEvents();
    QProcess::execute(QStringLiteral("sleep"), {QStringLiteral("0.5")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});

    QImage copied;
    ASSERT_TRUE(waitFor([&] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasFormat(QStringLiteral("image/png")))
            return false;
        copied = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
        return !copied.isNull();
    }));
    const QStringList formats = QGuiApplication::clipboard()->mimeData()->formats();
    EXPECT_EQ(formats.filter(QStringLiteral("image/")), QStringList{QStringLiteral("image/png")})
        << formats.join(QLatin1Char(' ')).toStdString();

    // Kelpie's windows are gone now; the screen shows the pattern again.
    ASSERT_TRUE(waitFor([&] { return !windowNamed(QStringLiteral("^Kelpie$")); }));
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QImage expected = screen.copy(region).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copied.size(), region.size());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), expected);

    kelpie.terminate();
    if (!kelpie.waitForFinished(5000))
        kelpie.kill();
}

} // namespace
