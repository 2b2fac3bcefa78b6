// A real input method once: fcitx5's pinyin engine composes "jintian" typed
// with XTest key presses into the in-place text editor. Runs under
// with-xvfb and with-fcitx5 (see CMakeLists.txt).
#include "CanvasFixture.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationTextView.h"
#include "canvas/AnnotationWindow.h"
#include "tests/support/EventLoopWait.h"

#include <QApplication>
#include <QProcess>

#include <functional>

namespace kelpie::test {
namespace {

// Real key presses through the XTest extension, as a keyboard would send them.
void xtestKeys(const QStringList& keys)
{
    QProcess xdotool;
    xdotool.start(
        QStringLiteral("xdotool"),
        QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + keys);
    ASSERT_TRUE(xdotool.waitForFinished(10000)) << "xdotool did not finish";
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

// Lets the event loop take in what the input method sends back.
void settle(int milliseconds = 400)
{
    waitFor([] { return false; }, milliseconds);
}

// The toolkit connects to the input method over the session bus some time
// after the window takes the focus; keys typed before that reach the editor
// untouched. Probe with one letter until it composes, then clear the probe.
bool inputMethodTakesKeys(AnnotationTextView* view)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        xtestKeys({QStringLiteral("j")});
        if (waitFor([&] { return view->composing(); }, 1500)) {
            xtestKeys({QStringLiteral("Escape")});
            const bool cleared = waitFor([&] { return !view->composing(); }, 3000);
            view->setText(QString());
            return cleared;
        }
        view->setText(QString());
        settle();
    }
    return false;
}

TEST(InputMethod, OnlyAConfirmedCandidateIsCommitted)
{
    ASSERT_EQ(qgetenv("QT_IM_MODULE"), QByteArray("fcitx"))
        << "run under tests/canvas/with-fcitx5, which starts the input method";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    QImage image(480, 320, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    AnnotationDocument document(image);
    MemoryStyleStore styles;
    AnnotationWindow window;
    auto* canvas = new AnnotationCanvas(document, styles, false, &window);
    canvas->setGeometry(0, 0, 480, 320);
    window.resize(480, 320);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &window; }))
        << "the window never became active";

    canvas->model().chooseTool(AnnotationTool::text);
    canvas->model().beginTextEditing(std::nullopt, {40, 250});
    AnnotationTextView* view = canvas->textEditor();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == view; }));
    ASSERT_TRUE(inputMethodTakesKeys(view))
        << "the input method never took the keys: is fcitx5's Qt front end installed?";

    const QStringList pinyin{QStringLiteral("j"), QStringLiteral("i"), QStringLiteral("n"),
                             QStringLiteral("t"), QStringLiteral("i"), QStringLiteral("a"),
                             QStringLiteral("n")};
    xtestKeys(pinyin);
    ASSERT_TRUE(waitFor([&] { return view->composing(); }))
        << "no pre-edit text arrived: the input method did not take the keys";

    // The commit key while the candidates are showing commits nothing. (The
    // input method may take the key and put the raw letters into the editor.)
    xtestKeys({QStringLiteral("ctrl+Return")});
    settle();
    EXPECT_TRUE(document.state().objects.isEmpty());
    ASSERT_EQ(canvas->textEditor(), view) << "the editor closed during composition";

    view->setText(QString());
    settle();
    if (!view->composing()) {
        xtestKeys(pinyin);
        ASSERT_TRUE(waitFor([&] { return view->composing(); }));
    }
    xtestKeys({QStringLiteral("space")});
    ASSERT_TRUE(waitFor([&] { return !view->composing() && !view->text().isEmpty(); }))
        << "the candidate was not confirmed";
    EXPECT_EQ(view->text(), QStringLiteral("今天"));

    xtestKeys({QStringLiteral("ctrl+Return")});
    ASSERT_TRUE(waitFor([&] { return canvas->textEditor() == nullptr; }))
        << "the commit key did not commit after the candidate was confirmed";
    ASSERT_EQ(document.state().objects.size(), 1);
    EXPECT_EQ(document.state().objects[0].text, QStringLiteral("今天"));
}

} // namespace
} // namespace kelpie::test
