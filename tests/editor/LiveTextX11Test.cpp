// Live text on a real X server with a window manager and the real
// recogniser: a plain editor on a generated Chinese and English picture
// reads its text, a drag selects a line, Ctrl+C puts it on CLIPBOARD as
// plain text for other programs, and Escape steps back before it closes.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "platform/TesseractTextRecognizer.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/ClipboardRead.h"
#include "tests/support/EventLoopWait.h"
#include "tests/text/TextFixture.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::test::waitFor;
using kelpie::test::xdotool;

namespace {

// A hang guard only: models load and the picture is read well within it.
constexpr int patience = 180000;

QString device(double points, double ratio) { return QString::number(qRound(points * ratio)); }

class LiveTextX11 : public kelpie::test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        ASSERT_TRUE(xdotool({QStringLiteral("version")})) << "xdotool is needed";
        preferences = std::make_shared<AppPreferences>(
            PreferencesStore::suite(QStringLiteral("com.kelpie.live-text-x11.1")));
    }
    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    // The global device pixel of an image point of the picture.
    QStringList at(QPointF image) const
    {
        const LiveTextOverlay& overlay = *window->overlay();
        const QRectF spot = overlay.widgetRect(Rect(image.x(), image.y(), 0, 0));
        const QPoint global = overlay.mapToGlobal(spot.topLeft().toPoint());
        const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        return {device(global.x(), ratio), device(global.y(), ratio)};
    }
    bool key(const QString& keys) { return xdotool({QStringLiteral("key"), keys}); }

    std::shared_ptr<AppPreferences> preferences;
    std::shared_ptr<test::FakeSavePanel> savePanel = std::make_shared<test::FakeSavePanel>();
    std::unique_ptr<ImageWindow> window;
    int closes = 0;
};

} // namespace

TEST_F(LiveTextX11, DragSelectedLineReachesTheClipboardAsPlainText)
{
    const TextFixture fixture = TextFixture::mixedLines();
    // The system clipboard: the window's default.
    window = std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(fixture.image),
                                           false, preferences, std::nullopt, std::nullopt, nullptr,
                                           savePanel, std::make_shared<TesseractTextRecognizer>());
    window->onClose = [this] { ++closes; };
    QWidget& shell = *window->window();
    ASSERT_TRUE(waitFor([&] { return shell.isVisible() && shell.isActiveWindow(); }));
    ASSERT_TRUE(waitFor([&] { return window->overlay()->analysis() != nullptr; }, patience));
    const QStringList lines = window->overlay()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), int(fixture.lines.size())) << window->overlay()->text().toStdString();
    EXPECT_TRUE(window->statusText().startsWith(QStringLiteral("拖选文字后")));

    // Across the second line, from before its first character to past its last.
    const QRect line = fixture.lines.at(1).box;
    const double middle = line.center().y();
    ASSERT_TRUE(xdotool(QStringList{QStringLiteral("mousemove")}
                        + at({line.left() + 2.0, middle})
                        + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(xdotool(QStringList{QStringLiteral("mousemove")} + at(line.center())));
    ASSERT_TRUE(xdotool(QStringList{QStringLiteral("mousemove")}
                        + at({line.right() + 4.0, middle})));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return window->overlay()->hasActiveTextSelection(); }));
    EXPECT_EQ(window->overlay()->selectedText(), lines.at(1));

    ASSERT_TRUE(key(QStringLiteral("ctrl+c")));
    ASSERT_TRUE(waitFor([&] { return window->statusText() == QStringLiteral("文字已复制"); }));
    const auto copied = test::readClipboard(QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(copied.has_value());
    EXPECT_EQ(QString::fromUtf8(*copied), lines.at(1));
    EXPECT_FALSE(window->isClosed()) << "a text copy leaves the editor open";

    // The whole text with Ctrl+Shift+C.
    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+c")));
    ASSERT_TRUE(waitFor([&] {
        const auto all = test::readClipboard(QStringLiteral("UTF8_STRING"));
        return all && QString::fromUtf8(*all) == window->overlay()->text();
    }));

    // A right click over the picture opens the window's menu, the selection kept.
    ASSERT_TRUE(xdotool(QStringList{QStringLiteral("mousemove")}
                        + at({line.center().x() + 0.0, line.bottom() + 20.0})
                        + QStringList{QStringLiteral("click"), QStringLiteral("3")}));
    ASSERT_TRUE(waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("复制文字"));
    EXPECT_TRUE(window->overlay()->hasActiveTextSelection());
    menu->close();

    // Escape clears the selection first, then closes.
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitFor([&] { return !window->overlay()->hasActiveTextSelection(); }));
    EXPECT_EQ(closes, 0);
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitFor([&] { return closes == 1; }));
}
