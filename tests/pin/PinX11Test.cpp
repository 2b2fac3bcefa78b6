// Pins on a real X server with a window manager (openbox), driven by XTest
// input through xdotool: a pin floats above ordinary windows and off the
// task bar, its chrome panels appear on hover without taking the keyboard
// and follow the pin, copying keeps it open, and closing leaves no window.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/QtImageClipboard.h"
#include "pin/PinChrome.h"
#include "pin/PinPanel.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/ClipboardRead.h"
#include "tests/support/EventLoopWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

// What a command prints; empty when it fails.
QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString property(const QString& window, const QString& name)
{
    return output(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
}

// The managed client windows from bottom to top.
QList<quint64> stacking()
{
    const QString text = output(QStringLiteral("xprop"),
                                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<quint64> ids;
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return ids;
    for (const QString& part : text.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids.append(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}

// Whether the X server still knows the window and shows it.
bool viewable(quint64 id)
{
    return output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)})
        .contains(QStringLiteral("IsViewable"));
}

// Whether the window manager holds the window as a mapped or iconic client.
bool managed(const QString& window)
{
    const QString state = property(window, QStringLiteral("WM_STATE"));
    return state.contains(QStringLiteral("Normal")) || state.contains(QStringLiteral("Iconic"));
}

bool exists(quint64 id)
{
    QProcess process;
    process.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)});
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(70, 130, 180));
    return image;
}

class PinX11 : public kelpie::test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
        ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        preferences = std::make_shared<AppPreferences>(
            PreferencesStore::suite(QStringLiteral("com.kelpie.pin-x11.1")));
        // An ordinary window over the middle of the screen.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        other.setWindowTitle(QStringLiteral("ordinary"));
        other.setGeometry(screen.adjusted(40, 40, -40, -40));
        other.show();
        ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }));
    }
    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    // The pin copies to `output`, or to the fake clipboard.
    void openPin(std::shared_ptr<ImageClipboard> output = nullptr)
    {
        if (!output)
            output = clipboard;
        window = std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(picture(360, 240)), true, preferences,
            std::nullopt, std::nullopt, output, savePanel);
        window->onClose = [this] { ++closes; };
        shell = window->window();
        ASSERT_TRUE(waitFor([&] { return shell->isVisible() && shell->isActiveWindow(); }));
        chrome = shell->findChild<PinPanel*>();
        ASSERT_TRUE(chrome);
    }

    PinPanel* primary() const { return shell->findChildren<PinPanel*>().value(0); }
    PinPanel* secondary() const { return shell->findChildren<PinPanel*>().value(1); }

    QString x(double points) const { return QString::number(qRound(points * ratio)); }
    bool pointAt(QPoint global)
    {
        return xdotool({QStringLiteral("mousemove"), x(global.x()), x(global.y())});
    }
    bool clickAt(QPoint global)
    {
        return pointAt(global) && xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }
    // A point of the screen that neither the pin nor its panels cover, on
    // the ordinary window.
    QPoint awayFromThePin() const
    {
        return other.geometry().bottomLeft() + QPoint(20, -20);
    }

    double ratio = 1;
    std::shared_ptr<AppPreferences> preferences;
    std::shared_ptr<test::FakeClipboard> clipboard = std::make_shared<test::FakeClipboard>();
    std::shared_ptr<test::FakeSavePanel> savePanel = std::make_shared<test::FakeSavePanel>();
    QWidget other;
    std::unique_ptr<ImageWindow> window;
    QWidget* shell = nullptr;
    PinPanel* chrome = nullptr;
    int closes = 0;
};

} // namespace

TEST_F(PinX11, PinStaysAboveARaisedOrdinaryWindowAndOffTheTaskBar)
{
    openPin();
    const QString id = QString::number(shell->winId());
    const QString state = property(id, QStringLiteral("_NET_WM_STATE"));
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE"))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"))) << state.toStdString();
    // A utility window is kept off the task bar; so are its panels, which
    // are utility windows and transients of the pin.
    const QString type = property(id, QStringLiteral("_NET_WM_WINDOW_TYPE"));
    EXPECT_TRUE(type.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY"))) << type.toStdString();
    for (PinPanel* panel : shell->findChildren<PinPanel*>()) {
        const QString panelId = QString::number(panel->winId());
        EXPECT_TRUE(property(panelId, QStringLiteral("_NET_WM_WINDOW_TYPE"))
                        .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY")));
        // The window manager learns whose transient it is when it is shown.
        if (panel->isVisible()) {
            const QString transient = property(panelId, QStringLiteral("WM_TRANSIENT_FOR"));
            EXPECT_TRUE(transient.contains(QStringLiteral("0x%1").arg(shell->winId(), 0, 16)))
                << transient.toStdString();
        }
    }

    // Hidden and shown again (the window manager forgets a withdrawn
    // window's state), the pin is still off the task bar; so are its panels
    // once shown.
    shell->hide();
    ASSERT_TRUE(waitFor([&] { return !viewable(shell->winId()); }));
    // A client maps a withdrawn window again only once the window manager
    // has let it go: mapped before, the manager's late withdrawal erases the
    // state the toolkit set for the new mapping (seen on a loaded machine).
    ASSERT_TRUE(waitFor([&] { return !managed(id); }));
    shell->show();
    ASSERT_TRUE(waitFor([&] { return viewable(shell->winId()); }));
    EXPECT_TRUE(waitFor([&] {
        return property(id, QStringLiteral("_NET_WM_STATE"))
            .contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"));
    })) << property(id, QStringLiteral("_NET_WM_STATE")).toStdString();
    EXPECT_TRUE(waitFor([&] {
        return property(id, QStringLiteral("_NET_WM_STATE"))
            .contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
    }));
    PinPanel* toolbar = primary();
    ASSERT_TRUE(waitFor([&] { return toolbar->isVisible() && viewable(toolbar->winId()); }));
    EXPECT_TRUE(waitFor([&] {
        return property(QString::number(toolbar->winId()), QStringLiteral("_NET_WM_STATE"))
            .contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"));
    }));

    // The ordinary window is clicked, so raised and made active: the pin
    // stays over it.
    ASSERT_TRUE(clickAt(awayFromThePin()));
    ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }));
    other.raise();
    QList<quint64> order;
    ASSERT_TRUE(waitFor([&] {
        order = stacking();
        return order.contains(other.winId()) && order.contains(shell->winId());
    }));
    EXPECT_GT(order.indexOf(shell->winId()), order.indexOf(other.winId()));
    const QPoint inside = shell->geometry().center();
    EXPECT_EQ(QApplication::topLevelAt(inside), shell);

    // Copying from a pin keeps it open.
    window->copy();
    EXPECT_EQ(clipboard->pngs.size(), 1u);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(shell->isVisible());
}

TEST_F(PinX11, ChromeShowsOnHoverWithoutTakingTheKeyboardAndFollowsThePin)
{
    openPin();
    PinPanel* top = primary();
    ASSERT_TRUE(top);
    // The pin is key: its tool bar is up, its options panel has no row yet.
    ASSERT_TRUE(waitFor([&] { return top->isVisible() && viewable(top->winId()); }));
    EXPECT_LE(top->geometry().bottom(), shell->geometry().top());

    // A drag on the picture moves the pin; the panels come along.
    const QRect panelBefore = top->geometry();
    const QPoint pinBefore = shell->pos();
    const QPoint grip = shell->geometry().center();
    ASSERT_TRUE(pointAt(grip));
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(pointAt(grip + QPoint(50, 30)));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_TRUE(waitFor([&] { return top->geometry() == panelBefore.translated(50, 30); }))
        << top->geometry().x() << "," << top->geometry().y();
    EXPECT_EQ(shell->pos(), pinBefore + QPoint(50, 30));

    // Clicking a button of the tool bar acts without taking the keyboard.
    QAbstractButton* edit = nullptr;
    for (QAbstractButton* button : top->findChildren<QAbstractButton*>())
        if (button->text() == QStringLiteral("编辑") && button->isVisible())
            edit = button;
    ASSERT_TRUE(edit);
    // The panel's place as the X server has it, once the move has settled.
    const auto editCentre = [&] { return edit->mapToGlobal(edit->rect().center()); };
    ASSERT_TRUE(waitFor([&] { return top->geometry().contains(editCentre()); }));
    ASSERT_TRUE(clickAt(editCentre()));
    ASSERT_TRUE(waitFor([&] { return window->editing(); }));
    EXPECT_TRUE(shell->isActiveWindow());
    EXPECT_NE(QApplication::activeWindow(), top);

    // Another window takes the keyboard and the pointer leaves: the chrome
    // goes once the grace has passed.
    ASSERT_TRUE(clickAt(awayFromThePin()));
    ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }));
    EXPECT_TRUE(waitFor([&] { return !top->isVisible(); }));
    EXPECT_TRUE(waitFor([&] { return !viewable(top->winId()); }));

    // Hovering the pin brings it back, and the ordinary window keeps the
    // keyboard; so does crossing onto the panel.
    ASSERT_TRUE(pointAt(shell->geometry().center()));
    EXPECT_TRUE(waitFor([&] { return top->isVisible() && viewable(top->winId()); }));
    ASSERT_TRUE(pointAt(top->geometry().center()));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(top->isVisible());
    EXPECT_TRUE(other.isActiveWindow());

    ASSERT_TRUE(pointAt(awayFromThePin()));
    EXPECT_TRUE(waitFor([&] { return !top->isVisible(); }));
    EXPECT_TRUE(other.isActiveWindow());
}

TEST_F(PinX11, ClosingThePinLeavesNoWindow)
{
    openPin();
    QList<quint64> ids{shell->winId()};
    for (PinPanel* panel : shell->findChildren<PinPanel*>())
        ids.append(panel->winId());
    ASSERT_EQ(ids.size(), 3);
    ASSERT_TRUE(waitFor([&] { return viewable(ids[1]); }));

    window->onClose = [this] {
        ++closes;
        window.reset();
    };
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitFor([&] { return closes == 1; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const quint64 id : ids)
        EXPECT_TRUE(waitFor([&] { return !exists(id); })) << id;
    // The pointer and keys that follow find nothing of the pin.
    ASSERT_TRUE(pointAt(other.geometry().center()));
    EXPECT_TRUE(waitFor([&] { return other.isActiveWindow(); }));
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_TRUE(widget == &other || !widget->isVisible()) << widget->metaObject()->className();
}

// The pin's own editing, with XTest keys and pointer only: Space starts it,
// "a" takes the arrow, a drag draws one, and Ctrl+C puts the picture with
// the arrow on the X clipboard as PNG while the pin stays open.
TEST_F(PinX11, SpaceArrowAndCopyPutTheMarkedPictureOnTheClipboard)
{
    openPin(std::make_shared<QtImageClipboard>());
    ASSERT_EQ(shell->size(), QSize(360, 240)) << "one image pixel a point";
    const QPoint origin = shell->geometry().topLeft();
    ASSERT_TRUE(pointAt(origin + QPoint(180, 60)));
    ASSERT_FALSE(window->editing());
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    ASSERT_TRUE(waitFor([&] { return window->editing(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("a")}));
    ASSERT_TRUE(waitFor([&] { return window->canvas()->model().tool() == AnnotationTool::arrow; }));

    ASSERT_TRUE(pointAt(origin + QPoint(60, 120)));
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    for (int x = 80; x <= 300; x += 20)
        ASSERT_TRUE(pointAt(origin + QPoint(x, 120)));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return window->document().state().objects.size() == 1; }));
    EXPECT_EQ(window->document().state().objects[0].tool(), AnnotationTool::arrow);
    // The pin stayed where it was: the drag drew, it did not move the pin.
    EXPECT_EQ(shell->geometry().topLeft(), origin);

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+c")}));
    std::optional<QByteArray> png;
    ASSERT_TRUE(waitFor([&] {
        png = kelpie::test::readClipboard(QStringLiteral("image/png"));
        return png && !png->isEmpty();
    }));
    const QImage copied = QImage::fromData(*png, "PNG");
    ASSERT_EQ(copied.size(), QSize(360, 240));
    const QRgb fill = QColor(70, 130, 180).rgb();
    // The arrow (drawn with a gentle bend) in its warm colour between the
    // drag's ends, and the picture's own colour well away from it.
    int warm = 0;
    for (int y = 0; y < copied.height(); ++y) {
        for (int x = 0; x < copied.width(); ++x)
            warm += qRed(copied.pixel(x, y)) > qBlue(copied.pixel(x, y)) + 60 ? 1 : 0;
    }
    EXPECT_GT(warm, 400);
    EXPECT_EQ(qRed(copied.pixel(62, 119)) > qBlue(copied.pixel(62, 119)), true);
    for (const QPoint away : {QPoint(10, 10), QPoint(350, 230), QPoint(180, 200)})
        EXPECT_EQ(copied.pixel(away), fill);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(shell->isVisible());
    EXPECT_TRUE(window->editing());
}
