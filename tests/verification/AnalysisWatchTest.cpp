// How the benchmarks follow an editor's recognition and count what
// outlives a closed window, with real editor windows on Qt's offscreen
// platform and a recogniser the test controls.
#include "verification/AnalysisWatch.h"
#include "verification/SurvivorCount.h"

#include "annotation/AnnotationDocument.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "tests/support/EventLoopWait.h"
#include "text/TextRecognizer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>

using namespace kelpie;
using kelpie::test::waitFor;

namespace {

// Reads one line, or fails as a recogniser without models does.
class ScriptedRecognizer final : public TextRecognizer {
public:
    explicit ScriptedRecognizer(bool fails) : m_fails(fails) { }
    TextAnalysis analyze(const QImage&, const RecognitionCancellation&) override
    {
        ++calls;
        if (m_fails)
            throw Failure("no models");
        TextAnalysis analysis;
        TextAnalysis::Line line;
        line.text = QStringLiteral("PUBLIC NOTE ABCD");
        line.box = Rect(4, 4, 120, 16);
        TextAnalysis::Word word;
        word.text = line.text;
        word.box = line.box;
        for (int i = 0; i < line.text.size(); ++i)
            word.characters.push_back({QString(line.text[i]), Rect(4 + 7.5 * i, 4, 7.5, 16)});
        line.words.push_back(word);
        analysis.lines.push_back(line);
        return analysis;
    }
    std::atomic<int> calls{0};

private:
    bool m_fails;
};

class AnalysisWatchTest : public test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        preferences = std::make_shared<AppPreferences>(
            PreferencesStore::suite(QStringLiteral("com.kelpie.performance.watch-test")));
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    ImageWindow* open(const QImage& image, std::shared_ptr<TextRecognizer> recognizer)
    {
        return new ImageWindow(std::make_unique<AnnotationDocument>(image), false, preferences,
                               std::nullopt, std::nullopt,
                               std::make_shared<test::FakeClipboard>(),
                               std::make_shared<test::FakeSavePanel>(), std::move(recognizer));
    }
    static QImage picture()
    {
        QImage image(160, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }

    std::shared_ptr<AppPreferences> preferences;
};

} // namespace

TEST_F(AnalysisWatchTest, SeesTheAnalysisArriveAndLetsTheCallerActInThatTurn)
{
    auto recognizer = std::make_shared<ScriptedRecognizer>(false);
    AnalysisWatch watch;
    QString selectedWhenSeen;
    watch.onAnalysed = [&](ImageWindow& window) {
        window.selectAll();
        selectedWhenSeen = window.overlay()->selectedText();
    };
    watch.start();
    EXPECT_EQ(watch.state(), AnalysisWatch::State::waiting);
    std::unique_ptr<ImageWindow> window(open(picture(), recognizer));
    watch.watch(window.get());
    ASSERT_TRUE(waitFor([&] { return watch.finished(); }));
    EXPECT_EQ(watch.state(), AnalysisWatch::State::analysed);
    EXPECT_EQ(selectedWhenSeen, QStringLiteral("PUBLIC NOTE ABCD"));
    const double first = watch.milliseconds();
    EXPECT_GT(first, 0);
    // The figure stays put once the watch has ended.
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.milliseconds(), first);

    // A recognition started again is watched again.
    window->recognize();
    watch.restart(window.get());
    EXPECT_FALSE(watch.finished());
    ASSERT_TRUE(waitFor([&] { return watch.finished(); }));
    EXPECT_EQ(watch.state(), AnalysisWatch::State::analysed);
    EXPECT_EQ(recognizer->calls, 2);
}

TEST_F(AnalysisWatchTest, AFailedRecognitionOrAClosedWindowEndsTheWatch)
{
    AnalysisWatch failing;
    failing.start();
    std::unique_ptr<ImageWindow> broken(open(picture(), std::make_shared<ScriptedRecognizer>(true)));
    failing.watch(broken.get());
    ASSERT_TRUE(waitFor([&] { return failing.finished(); }));
    EXPECT_EQ(failing.state(), AnalysisWatch::State::failed);
    // The status line says so, rather than that the picture has no text.
    EXPECT_EQ(broken->statusText(), LiveTextSession::failedStatus());

    // Closed before its text arrived.
    AnalysisWatch closing;
    closing.start();
    std::unique_ptr<ImageWindow> window(open(picture(), std::make_shared<ScriptedRecognizer>(false)));
    closing.watch(window.get());
    window->close();
    ASSERT_TRUE(waitFor([&] { return closing.finished(); }));
    EXPECT_EQ(closing.state(), AnalysisWatch::State::closed);

    // A window without a recogniser never reads text.
    AnalysisWatch none;
    none.start();
    std::unique_ptr<ImageWindow> plain(open(picture(), nullptr));
    none.watch(plain.get());
    EXPECT_EQ(none.state(), AnalysisWatch::State::failed);
}

TEST_F(AnalysisWatchTest, SurvivorsAreTheWindowsPartsAndPixelsStillAlive)
{
    SurvivorCount count;
    SurvivorCount::Watched pixels = SurvivorCount::watch(picture());
    auto* window = open(pixels.image, std::make_shared<ScriptedRecognizer>(false));
    count.track(window, pixels);
    pixels.image = QImage(); // the document's copy is the only one left
    EXPECT_EQ(count.tracked(), 1);
    EXPECT_EQ(count.controllers(), 1);
    // Window, canvas, live-text layer and session, and the document's pixels.
    EXPECT_EQ(count.objects(), 5);

    delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(count.controllers(), 0);
    // A recognition cancelled with the window lets go of its copy of the
    // pixels when its worker thread notices.
    EXPECT_TRUE(kelpie::test::waitFor([&] { return count.objects() == 0; }))
        << count.objects() << " still alive";
}

TEST_F(AnalysisWatchTest, PixelsKeptAfterTheWindowWentCountAsASurvivorUntilLetGo)
{
    SurvivorCount count;
    const QImage source = picture();
    SurvivorCount::Watched watched = SurvivorCount::watch(source);
    EXPECT_EQ(watched.image, source);
    auto* window = open(watched.image, nullptr);
    count.track(window, watched);
    // Something that should have let go of the document's pixels.
    std::optional<QImage> leaked = window->document().baseImage();
    delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(count.controllers(), 0);
    EXPECT_EQ(count.objects(), 1);
    // The count itself holds nothing: the test's own copy was the last.
    watched.image = QImage();
    EXPECT_EQ(count.objects(), 1);
    leaked.reset();
    EXPECT_EQ(count.objects(), 0);
}
