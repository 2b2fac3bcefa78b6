// bench_editor_text: how long a plain editor on the 1920 × 1080 mixed
// Chinese and English screen takes from being shown to selectable text, with
// the real recogniser in its helper process, as the application has it.
//
//   fresh process: the first editor of a new process (no helper running,
//   models not loaded yet), each run in a child process of its own, beside a
//   run of `OMP_THREAD_LIMIT=1 tesseract` with the same three models on the
//   same image, alternating, median of RUNS (default 3);
//   warm process: further editors whose helper has its models loaded,
//   earlier line readings forgotten as for a new screenshot, median of 5;
//   then the recogniser alone, in this process, on the same image.
//
// bench_editor_text --fresh: one fresh editor; prints its milliseconds.
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationRenderer.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "platform/HelperTextRecognizer.h"
#include "platform/TesseractTextRecognizer.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/editor/TesseractTool.h"
#include "tests/support/EventLoopWait.h"
#include "tests/text/TextFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelpie;

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds from opening an editor on `image` to its text being
// selectable; -1 when nothing arrives.
double editorToText(const QImage& image, const std::shared_ptr<TextRecognizer>& recognizer,
                    const std::shared_ptr<AppPreferences>& preferences, double* shownMs = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    ImageWindow window(std::make_unique<AnnotationDocument>(image), false, preferences,
                       std::nullopt, std::nullopt, std::make_shared<test::FakeClipboard>(),
                       std::make_shared<test::FakeSavePanel>(), recognizer);
    if (shownMs)
        *shownMs = double(clock.nsecsElapsed()) / 1e6;
    // Waits without spinning, so that the main thread leaves the cores to
    // the recogniser as an application's idle event loop does.
    const auto readable
        = [&] { return window.overlay()->analysis() != nullptr && !window.overlay()->text().isEmpty(); };
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (readable() || clock.elapsed() > 600000)
            loop.quit();
    });
    poll.start();
    loop.exec();
    const bool read = readable();
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    window.close();
    return read ? elapsed : -1;
}

double freshChild(const QString& self)
{
    QProcess child;
    child.start(self, {QStringLiteral("--fresh")});
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        return -1;
    bool ok = false;
    const double ms = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    auto preferences = std::make_shared<AppPreferences>(
        PreferencesStore::suite(QStringLiteral("com.kelpie.bench-editor-text.1")));
    const QImage screen = TextFixture::mixedScreen().image;
    const QStringList arguments = QApplication::arguments();

    if (arguments.contains(QStringLiteral("--fresh"))) {
        const double ms = editorToText(screen, HelperTextRecognizer::make(), preferences);
        std::printf("%.1f\n", ms);
        return ms < 0 ? 1 : 0;
    }

    const int runs
        = std::max(1, qEnvironmentVariableIsSet("RUNS") ? qEnvironmentVariableIntValue("RUNS") : 3);
    std::vector<double> fresh, tool;
    for (int i = 0; i < runs; ++i) {
        fresh.push_back(freshChild(QApplication::applicationFilePath()));
        tool.push_back(test::tesseractTool(screen));
    }
    std::printf("fresh process, editor shown -> text selectable: median %.0f ms (",
                median(fresh));
    for (const double ms : fresh)
        std::printf(" %.0f", ms);
    std::printf(" )\nOMP_THREAD_LIMIT=1 tesseract -l chi_sim+chi_tra+eng, same image: median %.0f ms (",
                median(tool));
    for (const double ms : tool)
        std::printf(" %.0f", ms);
    std::printf(" )\nfresh / tesseract: %.2f\n", median(fresh) / median(tool));

    const std::shared_ptr<TextRecognizer> helper = HelperTextRecognizer::make();
    if (!helper)
        return 1;
    editorToText(screen, helper, preferences); // loads the models
    std::vector<double> warm, shown;
    for (int i = 0; i < 5; ++i) {
        helper->forgetLines();
        double built = 0;
        warm.push_back(editorToText(screen, helper, preferences, &built));
        shown.push_back(built);
    }
    std::printf("warm process, editor shown -> text selectable: median %.0f ms (", median(warm));
    for (const double ms : warm)
        std::printf(" %.0f", ms);
    std::printf(" ), of which building and showing the editor: median %.0f ms\n", median(shown));

    // The recogniser alone on the same image, for what the window and the
    // helper add.
    auto recognizer = std::make_shared<TesseractTextRecognizer>();
    recognizer->analyze(screen, RecognitionCancellation()); // loads the models
    std::vector<double> alone;
    for (int i = 0; i < 5; ++i) {
        recognizer->forgetLines();
        QElapsedTimer clock;
        clock.start();
        recognizer->analyze(screen, RecognitionCancellation());
        alone.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("warm process, the recogniser alone on the same image: median %.0f ms\n",
                median(alone));
    const std::optional<QImage> composite = AnnotationRenderer::render(screen, {});
    alone.clear();
    for (int i = 0; composite && i < 5; ++i) {
        recognizer->forgetLines();
        QElapsedTimer clock;
        clock.start();
        recognizer->analyze(*composite, RecognitionCancellation());
        alone.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("warm process, the recogniser alone on the editor's composite (format %d, image %d): median %.0f ms\n",
                composite ? int(composite->format()) : -1, int(screen.format()), median(alone));
    return 0;
}
