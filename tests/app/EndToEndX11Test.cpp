// The whole program on a real X server with a window manager and a tray
// host, driven only by XTest input (xdotool): the capture key freezes the
// screen, a drag and Return put the region on the clipboard and another
// client reads back exactly the pixels that were on screen there; the tray
// icon's menu starts a capture in which a click picks a window; the settings
// window records a new capture key that then captures.

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

// The output of xdotool with `arguments`, trimmed; empty when it failed.
QString xdotoolOutput(const QStringList& arguments)
{
    QProcess run;
    run.start(QStringLiteral("xdotool"), arguments);
    if (!run.waitForFinished() || run.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(run.readAllStandardOutput()).trimmed();
}

// Whether a mapped window has a title matching `name`.
bool windowNamed(const QString& name)
{
    return !xdotoolOutput({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                           QStringLiteral("--name"), name})
                .isEmpty();
}

// The frames, in root coordinates, of the mapped windows that xdotool's
// `search` arguments find (one pattern, matched against what the flags
// name: --name, --class, ...).
QList<QRect> windowFrames(const QStringList& search)
{
    const QStringList ids = xdotoolOutput(QStringList{QStringLiteral("search"),
                                                      QStringLiteral("--onlyvisible")}
                                          + search)
                                .split(u'\n', Qt::SkipEmptyParts);
    QList<QRect> frames;
    for (const QString& id : ids) {
        // xwininfo's absolute position is the window's own, decorations
        // left out.
        QProcess info;
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        if (!info.waitForFinished() || info.exitCode() != 0)
            continue;
        QRect frame;
        for (const QString& raw : QString::fromLocal8Bit(info.readAllStandardOutput()).split(u'\n')) {
            const QString line = raw.trimmed();
            const int value = line.section(u':', 1).trimmed().toInt();
            if (line.startsWith(QStringLiteral("Absolute upper-left X:")))
                frame.moveLeft(value);
            else if (line.startsWith(QStringLiteral("Absolute upper-left Y:")))
                frame.moveTop(value);
            else if (line.startsWith(QStringLiteral("Width:")))
                frame.setWidth(value);
            else if (line.startsWith(QStringLiteral("Height:")))
                frame.setHeight(value);
        }
        if (frame.width() > 1 && frame.height() > 1)
            frames.append(frame);
    }
    return frames;
}

// The first frame windowFrames finds; empty when there is none.
QRect windowFrame(const QStringList& search)
{
    const QList<QRect> frames = windowFrames(search);
    return frames.isEmpty() ? QRect() : frames.front();
}

void click(QPoint at)
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

// Kelpie started as a user starts it, with a home and settings of its own
// and no session bus (so it is the session's one Kelpie).
class KelpieRun {
public:
    explicit KelpieRun(const QTemporaryDir& home, const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral(KELPIE_EXECUTABLE), arguments);
    }
    ~KelpieRun()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(); }

private:
    QProcess m_process;
};

// An XEmbed tray along the bottom edge whose panel grows with its icons.
class TrayHost {
public:
    TrayHost()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("trayer"),
                        {QStringLiteral("--edge"), QStringLiteral("bottom"),
                         QStringLiteral("--align"), QStringLiteral("right"),
                         QStringLiteral("--widthtype"), QStringLiteral("request"),
                         QStringLiteral("--height"), QStringLiteral("32"),
                         QStringLiteral("--SetDockType"), QStringLiteral("true"),
                         QStringLiteral("--transparent"), QStringLiteral("false")});
    }
    ~TrayHost()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(); }
    // Kelpie's icon once it sits in the panel along the bottom edge; empty
    // until then.
    static QRect kelpieIcon()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        for (const QRect& frame : windowFrames({QStringLiteral("--class"), QStringLiteral("^kelpie$")})) {
            if (frame.width() <= 64 && frame.height() <= 64 && frame.bottom() >= screen.bottom() - 40)
                return frame;
        }
        return {};
    }

private:
    QProcess m_process;
};

// Clicks Kelpie's tray icon and picks row `row` (0 = "区域截图") of the four
// rows of its menu; true once the menu was there to pick from.
bool pickTrayMenuRow(int row)
{
    QRect icon;
    if (!waitFor([&] { return !(icon = TrayHost::kelpieIcon()).isEmpty(); }, 20000))
        return false;
    // The menu pops up at the pointer: the Kelpie window other than the icon.
    QRect menu;
    const bool shown = waitFor(
        [&] {
            click(icon.center());
            return waitFor(
                [&] {
                    menu = QRect();
                    for (const QRect& frame : windowFrames({QStringLiteral("--class"),
                                                            QStringLiteral("^kelpie$")})) {
                        if (frame != icon && frame.height() > 40)
                            menu = frame;
                    }
                    return !menu.isEmpty();
                },
                1500);
        },
        20000);
    if (!shown)
        return false;
    // Four rows of equal height between thin margins.
    click(QPoint(menu.center().x(), menu.top() + menu.height() * (2 * row + 1) / 8));
    return true;
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

    KelpieRun kelpie(home);
    ASSERT_TRUE(kelpie.started());

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
}

} // namespace

namespace {

const QString overlayTitle = QStringLiteral("Kelpie · 框选");

// Presses `keys` (xdotool key names) until the overlay is up, as a key
// pressed before its grab is in place goes to the focused window instead.
bool keyBringsUpOverlay(const QString& keys)
{
    return waitFor(
        [&] {
            xdotool({QStringLiteral("key"), keys});
            return waitFor([] { return windowNamed(overlayTitle); }, 700);
        },
        20000);
}

TEST(EndToEndX11, CaptureNowWithNoKelpieRunningStartsOneThatCaptures)
{
    // Nobody takes the hand-over, so the process starts again as itself
    // (same process id) and captures at once.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    KelpieRun kelpie(home, {QStringLiteral("--capture-now")});
    ASSERT_TRUE(kelpie.started());
    EXPECT_TRUE(waitFor([] { return windowNamed(QStringLiteral("Kelpie · 框选")); }, 20000))
        << "kelpie --capture-now never showed the overlay";
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
}

TEST(EndToEndX11, TheTrayMenuCapturesAndAClickPicksAWindow)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    TrayHost tray;
    ASSERT_TRUE(tray.started());
    Pattern target;
    target.setWindowTitle(QStringLiteral("pick me"));
    target.setGeometry(360, 240, 520, 340);
    target.show();
    ASSERT_TRUE(waitFor([] { return windowNamed(QStringLiteral("^pick me$")); }));

    KelpieRun kelpie(home);
    ASSERT_TRUE(kelpie.started());
    ASSERT_TRUE(pickTrayMenuRow(0)) << "the tray icon never showed its menu";
    ASSERT_TRUE(waitFor([] { return windowNamed(overlayTitle); }, 20000))
        << "区域截图 did not bring up the overlay";

    // Point at the window, so the overlay highlights it, and click.
    // Where the window manager put it, as the toolkit was told.
    const QRect frame(target.mapToGlobal(QPoint(0, 0)), target.size());
    const QImage drawn = target.grab().toImage().convertToFormat(QImage::Format_RGB32);
    xdotool({QStringLiteral("mousemove"), QString::number(frame.center().x() - 20),
             QString::number(frame.center().y() - 20)});
    waitFor([] { return false; }, 300);
    click(frame.center());

    // The screenshot editor takes the overlay's place, with the window's
    // own pixels where the window was.
    ASSERT_TRUE(waitFor([] {
        return !windowNamed(overlayTitle) && windowNamed(QStringLiteral("^Kelpie$"));
    }, 20000)) << "no screenshot editor opened over the picked window";
    const QRect patch(frame.center() - QPoint(30, 30), QSize(60, 60));
    QImage shown;
    const bool same = waitFor(
        [&] {
            shown = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(patch)
                        .convertToFormat(QImage::Format_RGB32);
            return shown == drawn.copy(patch.translated(-frame.topLeft()));
        },
        10000);
    EXPECT_TRUE(same) << "the editor does not show the window's pixels in its place";
}

TEST(EndToEndX11, TheSettingsWindowRecordsACaptureKeyThatThenCaptures)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    TrayHost tray;
    ASSERT_TRUE(tray.started());
    KelpieRun kelpie(home);
    ASSERT_TRUE(kelpie.started());
    ASSERT_TRUE(pickTrayMenuRow(2)) << "the tray icon never showed its menu";

    const QString settingsTitle = QStringLiteral("^Kelpie · 设置$");
    QRect settings;
    ASSERT_TRUE(waitFor([&] {
        return !(settings = windowFrame({QStringLiteral("--name"), settingsTitle})).isEmpty();
    }, 20000)) << "设置… did not open the settings window";

    // The capture recorder: first in the first row, after its 92-point
    // title and 14 points of spacing, 28 points in and 24 down.
    click(settings.topLeft() + QPoint(28 + 92 + 14 + 80, 24 + 14));
    // The first press is recorded; once the new key is registered, the
    // next one captures.
    EXPECT_TRUE(keyBringsUpOverlay(QStringLiteral("ctrl+shift+k")))
        << "Ctrl+Shift+K was not recorded as the capture key";
    // A press sent while the previous one was still being answered opens a
    // fresh overlay over the first, which stops answering keys at once; an
    // Escape that reached the old one leaves the new one up, so press again.
    EXPECT_TRUE(waitFor(
        [] {
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
            return waitFor([] { return !windowNamed(overlayTitle); }, 700);
        },
        20000))
        << "Escape never closed the overlay";
}

} // namespace
