#include "editor/ImageWindow.h"

#include "ImageWindowFixture.h"
#include "LiveTextFixture.h"
#include "editor/ImageOutputs.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "tests/support/EventLoopWait.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <optional>

using namespace kelpie;
using namespace kelpie::test;

namespace {

// A hang guard only: a recognition normally settles in well under a second.
constexpr int patience = 120000;

const QString secret = QStringLiteral("SECRET");
const QString visible = QStringLiteral("PUBLIC");

// Editors and pins on the two-word scene, read by a recogniser that sees
// only what is left visible in the picture it is given.
class LiveTextWindowTest : public ImageWindowTest {
protected:
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        logs.emplace();
        // Room for a held analysis beside the next one.
        QThreadPool::globalInstance()->setMaxThreadCount(
            std::max(4, QThreadPool::globalInstance()->maxThreadCount()));
    }
    void TearDown() override
    {
        if (oracle)
            oracle->release();
        window.reset();
        QThreadPool::globalInstance()->waitForDone();
        flush();
        EXPECT_FALSE(logs->quotesAny({secret, visible, QStringLiteral("NOTE")}))
            << "recognised text reached a log";
        logs.reset();
        ImageWindowTest::TearDown();
    }

    // Opens a window on the scene; `extra` are further words the recogniser can read.
    void openScene(bool pinned = false, std::vector<OracleRecognizer::Word> extra = {})
    {
        std::vector<OracleRecognizer::Word> words{{secret, scene.secret},
                                                  {visible, scene.visible}};
        words.insert(words.end(), extra.begin(), extra.end());
        oracle = std::make_shared<OracleRecognizer>(words);
        recognizer = oracle;
        openOn(scene.base, pinned);
    }
    void settle()
    {
        ASSERT_TRUE(waitFor([this] { return !window->liveText()->recognizing(); }, patience));
    }
    void commitObjects(QList<AnnotationObject> objects)
    {
        AnnotationState state = window->document().state();
        state.objects = AnnotationObjectList(objects);
        window->document().commit(state);
    }
    QString overlayText() const { return window->overlay()->text(); }
    QString dimensions() const { return QStringLiteral("480 × 220 px"); }

    Scene scene = makeScene();
    std::shared_ptr<OracleRecognizer> oracle;
    std::optional<LogCapture> logs;
};

} // namespace

TEST_F(LiveTextWindowTest, FreshWindowSaysItIsRecognisingAtOnceThenWhatItFound)
{
    openScene();
    ASSERT_NE(window->overlay(), nullptr);
    EXPECT_EQ(window->statusText(), QStringLiteral("正在识别文字…"));
    EXPECT_EQ(window->overlay()->parentWidget(), window->canvas());
    settle();
    EXPECT_EQ(overlayText(), secret + QStringLiteral("\n") + visible);
    EXPECT_EQ(window->statusText(), QStringLiteral("拖选文字后 ⌘C 复制 · ") + dimensions());
    // The overlay covers the canvas, the picture where the canvas shows it.
    EXPECT_EQ(window->overlay()->geometry(), window->canvas()->rect());
    const QRectF word = window->overlay()->widgetRect(Rect(scene.secret.x(), scene.secret.y(),
                                                           scene.secret.width(),
                                                           scene.secret.height()));
    EXPECT_TRUE(window->overlay()->analysisHasText(word.center()));

    // The overlay steps aside for a drawing tool, and the status says only
    // the size while it is away.
    model().chooseTool(AnnotationTool::rectangle);
    EXPECT_TRUE(window->overlay()->isHidden());
    EXPECT_EQ(window->contextualStatus(), dimensions());
    model().chooseTool(AnnotationTool::select);
    EXPECT_FALSE(window->overlay()->isHidden());
}

TEST_F(LiveTextWindowTest, NothingFoundIsSaidOnlyOnceTheResultIsIn)
{
    scene.base.fill(Qt::white);
    openScene();
    EXPECT_EQ(window->contextualStatus(), dimensions()) << "no claim before a result";
    settle();
    EXPECT_EQ(window->statusText(), QStringLiteral("没有发现文字 · ") + dimensions());
}

TEST_F(LiveTextWindowTest, WindowsWithoutARecogniserHaveNoLiveText)
{
    open(300, 200, false);
    EXPECT_EQ(window->overlay(), nullptr);
    EXPECT_EQ(window->liveText(), nullptr);
    EXPECT_EQ(window->statusText(), QStringLiteral("300 × 200 px"));
    window->copyAllText();
    EXPECT_EQ(window->statusText(), ImageOutputs::noTextMessage);
    EXPECT_TRUE(clipboard->texts.isEmpty());
}

TEST_F(LiveTextWindowTest, EditingWhileRecognitionRunsDropsTheOldResult)
{
    openScene();
    settle();
    oracle->hold();
    // This reading is held until after the picture changed.
    window->recognize();
    ASSERT_TRUE(waitFor([this] { return oracle->started() >= 2; }, patience));
    const int generation = window->generation();
    commitObjects({maskOver(scene.secret.adjusted(-4, -4, 4, 4), scene.height(),
                            MaskEffect::solid)});
    EXPECT_GT(window->generation(), generation);
    EXPECT_EQ(window->overlay()->analysis(), nullptr);
    oracle->release();
    settle();
    EXPECT_EQ(overlayText(), visible) << "only the reading of the edited picture counts";
}

TEST_F(LiveTextWindowTest, ClosingMidRecognitionChangesNoStatusAndLeavesNoAnalysis)
{
    openScene();
    settle();
    oracle->hold();
    window->recognize();
    ASSERT_TRUE(waitFor([this] { return oracle->started() >= 2; }, patience));
    ASSERT_EQ(window->statusText(), QStringLiteral("正在识别文字…"));
    window->close();
    EXPECT_EQ(window->overlay()->analysis(), nullptr);
    EXPECT_TRUE(overlayText().isEmpty());
    oracle->release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->overlay()->analysis(), nullptr);
    EXPECT_EQ(window->statusText(), QStringLiteral("正在识别文字…"));
    // A late request after close starts nothing.
    window->recognize();
    EXPECT_FALSE(window->liveText()->recognizing());
}

TEST_F(LiveTextWindowTest, MaskedWordNeverReachesTheClipboardWhileANoteOnTheMaskIsReadable)
{
    const AnnotationObject label
        = note(QPointF(scene.secret.left(), scene.secret.bottom() + 4), scene.height());
    openScene(false, {{QStringLiteral("NOTE"), drawnBox(scene, label)}});
    settle();
    const QRect mask = scene.secret.adjusted(-6, -6, 200, 50);
    commitObjects({maskOver(mask, scene.height(), MaskEffect::solid), label});
    settle();

    window->copyAllText();
    ASSERT_EQ(clipboard->texts.size(), 1);
    EXPECT_FALSE(clipboard->texts.last().contains(secret));
    EXPECT_TRUE(clipboard->texts.last().contains(visible));
    EXPECT_TRUE(clipboard->texts.last().contains(QStringLiteral("NOTE")));

    window->selectAll();
    EXPECT_FALSE(window->selectedLiveText().isEmpty());
    window->copySelectedText();
    ASSERT_EQ(clipboard->texts.size(), 2);
    EXPECT_FALSE(clipboard->texts.last().contains(secret));
    EXPECT_EQ(window->statusText(), ImageOutputs::textCopiedMessage);

    // Moving the mask away brings the word back; undo hides it again.
    commitObjects({label});
    settle();
    EXPECT_TRUE(overlayText().contains(secret));
    window->document().undo();
    settle();
    EXPECT_FALSE(overlayText().contains(secret));
}

TEST_F(LiveTextWindowTest, CopyCommandsCopyPlainTextOrSayWhatIsMissing)
{
    openScene();
    oracle->hold();
    window->recognize();
    // Nothing recognised yet.
    window->copySelectedText();
    EXPECT_EQ(window->statusText(), ImageOutputs::selectTextFirstMessage);
    window->copyAllText();
    EXPECT_EQ(window->statusText(), ImageOutputs::noTextMessage);
    EXPECT_TRUE(clipboard->texts.isEmpty());
    oracle->release();
    settle();

    window->copySelectedText();
    EXPECT_EQ(window->statusText(), ImageOutputs::selectTextFirstMessage) << "nothing selected";
    window->overlay()->setSelectedRanges({{0, secret.size()}});
    window->copySelectedText();
    EXPECT_EQ(clipboard->texts, QStringList{secret});
    EXPECT_EQ(window->statusText(), ImageOutputs::textCopiedMessage);

    clipboard->refuses = true;
    window->copyAllText();
    EXPECT_EQ(window->statusText(), ImageOutputs::copyFailedMessage);
    clipboard->refuses = false;

    // The copy action takes the selected text and leaves the plain editor open.
    window->copy();
    EXPECT_EQ(clipboard->texts.last(), secret);
    EXPECT_FALSE(window->isClosed());

    // Not in the middle of a drag.
    beginDrag();
    window->copyAllText();
    EXPECT_EQ(window->statusText(), ImageOutputs::noTextMessage);
}

TEST_F(LiveTextWindowTest, SelectAllTakesTheWholeTextAndTheCopyTitleFollows)
{
    openScene();
    settle();
    window->selectAll();
    ASSERT_EQ(window->overlay()->selectedRanges().size(), 1);
    EXPECT_EQ(window->selectedLiveText(), overlayText());
    // Hidden behind a drawing tool, the overlay offers nothing to copy.
    model().chooseTool(AnnotationTool::rectangle);
    EXPECT_TRUE(window->selectedLiveText().isEmpty());
}

TEST_F(LiveTextWindowTest, EscapeWithATextSelectionOnlyClearsIt)
{
    openScene();
    settle();
    window->selectAll();
    window->cancelOperation();
    EXPECT_FALSE(window->overlay()->hasActiveTextSelection());
    EXPECT_FALSE(window->isClosed());
    window->cancelOperation();
    EXPECT_TRUE(window->isClosed());
    EXPECT_EQ(closes, 1);
}

TEST_F(LiveTextWindowTest, PinnedWindowsReadTheirTextToo)
{
    openScene(true);
    settle();
    EXPECT_EQ(overlayText(), secret + QStringLiteral("\n") + visible);
    // A pin being looked at takes presses over text for the selection.
    const QRectF word = window->overlay()->widgetRect(
        Rect(scene.visible.x(), scene.visible.y(), scene.visible.width(), scene.visible.height()));
    EXPECT_TRUE(window->overlay()->shouldBegin(word.center()));
}
