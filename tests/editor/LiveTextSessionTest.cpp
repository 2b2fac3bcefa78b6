#include "editor/LiveTextSession.h"

#include "LiveTextFixture.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationRenderer.h"
#include "editor/LiveTextSelection.h"
#include "tests/support/EventLoopWait.h"
#include "text/SafeTextImage.h"

#include <QFont>
#include <QPainter>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>

using namespace kelpie;
using namespace kelpie::test;

namespace {

// A hang guard only: a recognition normally settles in well under a second.
constexpr int patience = 120000;

// A window's share of the flow: its document, what the canvas would show,
// and everything the session tells it.
class LiveTextSessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        logs.emplace();
        // Room for a held analysis beside the next one.
        QThreadPool::globalInstance()->setMaxThreadCount(
            std::max(4, QThreadPool::globalInstance()->maxThreadCount()));
    }

    void TearDown() override
    {
        if (recognizer)
            recognizer->release();
        session.reset();
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_FALSE(logs->quotesAny({QStringLiteral("SECRET"), QStringLiteral("PUBLIC")}))
            << "recognised text reached a log";
        logs.reset();
    }

    // Opens the window on the scene; `words` are what the recogniser can read.
    void open(std::vector<OracleRecognizer::Word> extra = {})
    {
        std::vector<OracleRecognizer::Word> words{{QStringLiteral("SECRET"), scene.secret},
                                                  {QStringLiteral("PUBLIC"), scene.visible}};
        words.insert(words.end(), extra.begin(), extra.end());
        recognizer = std::make_shared<OracleRecognizer>(words, contrast);
        auto engine = LiveTextSession::engine(recognizer);
        engine.textRegions = [count = detections, failing = failingDetections](
                                 const QImage& image, const RecognitionCancellation& cancellation) {
            ++*count;
            if (count->load() <= failing)
                throw TextRecognizer::Failure("no layout");
            return SafeTextImage::textRegions(image, cancellation);
        };
        engine.prepare = [unsafe = unsafe, inputs = prepareInputs](
                             const QImage& image, const QList<Rect>& baseRegions,
                             const QList<Rect>& occlusions,
                             const RecognitionCancellation& cancellation) {
            {
                QMutexLocker lock(&inputs->mutex);
                inputs->baseRegions = baseRegions;
                inputs->occlusions = occlusions;
            }
            return unsafe ? image
                          : SafeTextImage::prepare(image, baseRegions, occlusions, cancellation);
        };
        session = std::make_unique<LiveTextSession>(document, engine);
        session->gestureInProgress = [this] { return drafting; };
        session->composite = [this] {
            const auto composite
                = AnnotationRenderer::render(document.baseImage(), document.state().objects);
            return composite ? *composite : QImage();
        };
        session->onStatus = [this](const QString& status) { statuses.append(status); };
        session->onClearAnalysis = [this] {
            analysis.reset();
            ++clears;
        };
        session->onUpdateControls = [this] { ++controlUpdates; };
        session->onAnalysis = [this](std::shared_ptr<const TextAnalysis> result, QSize size) {
            analysis = std::move(result);
            analysedSize = size;
            ++analyses;
        };
        document.onChange = [this] { session->recognize(); };
        session->recognize();
    }

    void settle()
    {
        ASSERT_TRUE(test::waitFor([this] { return !session->recognizing(); }, patience));
    }

    void commitObjects(QList<AnnotationObject> objects)
    {
        AnnotationState state = document.state();
        state.objects = AnnotationObjectList(objects);
        document.commit(state);
    }

    QString text() const { return analysis ? analysis->text() : QString(); }

    Scene scene = makeScene();
    AnnotationDocument document{scene.base};
    std::shared_ptr<OracleRecognizer> recognizer;
    std::shared_ptr<std::atomic<int>> detections = std::make_shared<std::atomic<int>>(0);
    // The first this many base-image detections fail.
    int failingDetections = 0;
    // Recognise the composite with nothing painted out.
    bool unsafe = false;
    // What the last preparation was given.
    struct PrepareInputs {
        QMutex mutex;
        QList<Rect> baseRegions;
        QList<Rect> occlusions;
    };
    std::shared_ptr<PrepareInputs> prepareInputs = std::make_shared<PrepareInputs>();
    int contrast = 90;
    bool drafting = false;
    std::unique_ptr<LiveTextSession> session;

    QStringList statuses;
    std::shared_ptr<const TextAnalysis> analysis;
    QSize analysedSize;
    int analyses = 0;
    int clears = 0;
    int controlUpdates = 0;
    std::optional<LogCapture> logs;
};

TEST_F(LiveTextSessionTest, WithoutOcclusionsTheCompositeIsAnalysedAsItIs)
{
    open();
    // At once, before anything is recognised.
    EXPECT_EQ(statuses, QStringList{LiveTextSession::recognizingStatus()});
    EXPECT_EQ(controlUpdates, 1);
    EXPECT_TRUE(session->recognizing());
    settle();

    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));
    EXPECT_EQ(analysedSize, scene.base.size());
    ASSERT_EQ(recognizer->images().size(), 1u);
    EXPECT_EQ(recognizer->images().front(), *AnnotationRenderer::render(scene.base, {}));
    EXPECT_EQ(detections->load(), 0);
    EXPECT_FALSE(session->hasBaseRegionsTask());
    EXPECT_EQ(statuses.size(), 1) << "the window sets the contextual status itself";
}

// A solid mask over the right half of "SECRET" leaves its left half in
// sight; a text annotation laid on the mask stays readable.
class MaskedWordTest : public LiveTextSessionTest {
protected:
    void openMasked()
    {
        const QRect mask(scene.secret.center().x(), scene.secret.top() - 4, 200,
                         scene.secret.height() + 44);
        const AnnotationObject label
            = note(QPointF(scene.secret.right() + 30, scene.secret.bottom() + 8), scene.height());
        open({{QStringLiteral("NOTE"), drawnBox(scene, label)}});
        settle();
        commitObjects({maskOver(mask, scene.height(), MaskEffect::solid), label});
        settle();
    }
};

TEST_F(MaskedWordTest, TextUnderAMaskIsWithheldFromTextSelectionAndCopyAll)
{
    openMasked();
    EXPECT_FALSE(text().contains(QStringLiteral("SECRET")));
    EXPECT_TRUE(text().contains(QStringLiteral("PUBLIC")));
    EXPECT_TRUE(text().contains(QStringLiteral("NOTE"))) << "the annotation on the mask";
    EXPECT_EQ(detections->load(), 1);

    LiveTextSelection selection;
    selection.setAnalysis(analysis);
    selection.setSelectedRanges({{0, selection.text().size()}});
    EXPECT_FALSE(selection.selectedText().contains(QStringLiteral("SECRET")));
}

TEST_F(MaskedWordTest, WithoutPreparationTheRecogniserWouldReadTheMaskedWord)
{
    // The scene is one in which leaving out the safe-text step leaks.
    unsafe = true;
    openMasked();
    EXPECT_TRUE(text().contains(QStringLiteral("SECRET")));
}

// A strong blur leaves a trace of "SECRET" too faint for layout analysis to
// find in the composite, yet a recogniser may still read it.
class BlurredWordTest : public LiveTextSessionTest {
protected:
    // Columns of the word's ink left beside the mask.
    int sliver = 3;

    void openBlurred()
    {
        contrast = 30;
        open();
        settle();
        commitObjects(
            {maskOver(scene.secret.adjusted(-6, -6, 6, 6), scene.height(), MaskEffect::blur, 16)});
        settle();
    }
};

TEST_F(BlurredWordTest, TextVisibleOnlyInTheBaseImageIsWithheld)
{
    openBlurred();
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));
    EXPECT_EQ(detections->load(), 1);
    // Prepared with the base image's own regions and the document's covers.
    QMutexLocker lock(&prepareInputs->mutex);
    EXPECT_EQ(prepareInputs->baseRegions,
              SafeTextImage::textRegions(scene.base, RecognitionCancellation()));
    EXPECT_EQ(prepareInputs->occlusions, document.state().occlusions());
}

TEST_F(BlurredWordTest, WithoutPreparationTheTraceWouldBeRead)
{
    unsafe = true;
    openBlurred();
    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));
}

// The text region of "SECRET" as layout analysis finds it, bottom-left
// origin.
Rect secretRegion(const Scene& scene)
{
    const QList<Rect> regions = SafeTextImage::textRegions(scene.base, RecognitionCancellation());
    for (const Rect& region : regions) {
        const double top = scene.height() - region.maxY();
        if (scene.secret.intersects(
                QRect(int(region.minX()), int(top), int(region.width()), int(region.height()))))
            return region;
    }
    return Rect::null();
}

// A mask under "SECRET" whose occlusion (the mask grown by a pixel) lies
// `gap` pixels below the word's text region. Blurring white leaves the
// composite unchanged, so only the distance decides.
AnnotationObject maskBelowSecret(const Scene& scene, double gap)
{
    const Rect region = secretRegion(scene);
    const double top = scene.height() - (region.minY() - gap - 1);
    return maskOver(QRectF(region.minX(), top, region.width(), 10), scene.height(),
                    MaskEffect::blur, 4);
}

TEST_F(LiveTextSessionTest, RegionTwoPixelsFromAMaskIsSuppressedAndFourPixelsAwayIsNot)
{
    const Rect region = secretRegion(scene);
    ASSERT_FALSE(region.isNull());
    open();
    settle();

    const AnnotationObject near = maskBelowSecret(scene, 2);
    ASSERT_EQ(near.occlusion()->maxY(), region.minY() - 2);
    commitObjects({near});
    settle();
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));

    const AnnotationObject far = maskBelowSecret(scene, 4);
    ASSERT_EQ(far.occlusion()->maxY(), region.minY() - 4);
    commitObjects({far});
    settle();
    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));
    EXPECT_EQ(detections->load(), 1) << "the base image is analysed once per window";
}

TEST_F(LiveTextSessionTest, MovingAMaskAwayBringsTextBackAndUndoHidesItAgain)
{
    open();
    settle();
    const AnnotationObject mask
        = maskOver(scene.secret.adjusted(-4, -4, 4, 4), scene.height(), MaskEffect::pixelate);
    commitObjects({mask});
    settle();
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));

    AnnotationObject moved = mask;
    moved.start = {300, 150};
    moved.end = {380, 110};
    commitObjects({moved});
    settle();
    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));

    document.undo();
    settle();
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));
    EXPECT_EQ(detections->load(), 1);
}

TEST_F(LiveTextSessionTest, EditingWhileRecognitionRunsDropsTheOldResult)
{
    open();
    settle();
    recognizer->hold();
    const AnnotationObject label = note(QPointF(250, 90), scene.height());
    commitObjects({label});
    ASSERT_TRUE(test::waitFor([this] { return recognizer->started() == 2; }, patience));

    // The held analysis does not notice the cancellation and will finish
    // with text that no longer matches the picture.
    commitObjects({});
    EXPECT_EQ(analysis, nullptr) << "the old analysis is cleared at once";
    ASSERT_TRUE(test::waitFor([this] { return recognizer->started() == 3; }, patience));
    const int before = analyses;
    recognizer->release();
    settle();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(analyses, before + 1) << "only the newest result is applied";
    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));
}

TEST_F(LiveTextSessionTest, ClosingMidRecognitionChangesNoStatusAndLeavesNoAnalysis)
{
    open();
    settle();
    recognizer->hold();
    commitObjects({maskOver(QRectF(300, 20, 60, 40), scene.height(), MaskEffect::solid)});
    ASSERT_TRUE(test::waitFor([this] { return recognizer->started() == 2; }, patience));
    const QStringList before = statuses;

    session->close();
    EXPECT_EQ(analysis, nullptr);
    EXPECT_FALSE(session->recognizing());
    EXPECT_FALSE(session->hasBaseRegionsTask());
    recognizer->release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    // Late callers change nothing either.
    session->recognize();
    session->invalidateRecognition();
    QCoreApplication::processEvents();
    EXPECT_EQ(statuses, before);
    EXPECT_EQ(analysis, nullptr);
    EXPECT_EQ(recognizer->started(), 2);
}

TEST_F(LiveTextSessionTest, RecognitionFailureWithoutOcclusionsSaysSo)
{
    open();
    settle();
    recognizer->setFailing(true);
    commitObjects({note(QPointF(250, 90), scene.height())});
    settle();
    EXPECT_EQ(statuses.back(), LiveTextSession::failedStatus());
    EXPECT_EQ(analysis, nullptr);
}

TEST_F(LiveTextSessionTest, FailedDetectionGivesNoTextAndTheNextRecognitionRetriesIt)
{
    failingDetections = 1;
    open();
    settle();
    const int readsBefore = recognizer->started();
    commitObjects({maskOver(scene.secret, scene.height(), MaskEffect::blur, 4)});
    settle();
    EXPECT_EQ(statuses.back(), LiveTextSession::safeTextFailedStatus());
    EXPECT_EQ(analysis, nullptr);
    EXPECT_EQ(recognizer->started(), readsBefore) << "the unprepared composite was analysed";
    EXPECT_FALSE(session->hasBaseRegionsTask());

    document.undo();
    settle();
    document.redo();
    settle();
    EXPECT_EQ(detections->load(), 2);
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));
}

TEST_F(LiveTextSessionTest, FailedRecognitionWithOcclusionsDropsTheBaseRegions)
{
    open();
    settle();
    recognizer->setFailing(true);
    commitObjects({maskOver(scene.secret, scene.height(), MaskEffect::solid)});
    settle();
    EXPECT_EQ(statuses.back(), LiveTextSession::safeTextFailedStatus());
    EXPECT_FALSE(session->hasBaseRegionsTask());
    recognizer->setFailing(false);
    document.undo();
    document.redo();
    settle();
    EXPECT_EQ(detections->load(), 2);
    EXPECT_EQ(text(), QStringLiteral("PUBLIC"));
}

TEST_F(LiveTextSessionTest, NothingStartsWhileAGestureOrATransactionIsInProgress)
{
    open();
    settle();
    const int reads = recognizer->started();
    drafting = true;
    session->invalidateRecognition();
    EXPECT_EQ(statuses.back(), LiveTextSession::editingStatus());
    session->recognize();
    EXPECT_FALSE(session->recognizing());
    drafting = false;

    document.beginTransaction();
    session->recognize();
    EXPECT_EQ(statuses.back(), LiveTextSession::editingStatus());
    EXPECT_FALSE(session->recognizing());
    document.endTransaction(); // notifies: recognition starts again
    settle();
    EXPECT_EQ(recognizer->started(), reads + 1);
    EXPECT_EQ(text(), QStringLiteral("SECRET\nPUBLIC"));
}

} // namespace
