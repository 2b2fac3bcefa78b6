#include "editor/LiveTextSession.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationRenderer.h"
#include "core/Result.h"
#include "text/SafeTextImage.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <new>

namespace kelpie {

namespace {

// How a background step ended when it yields nothing.
enum class StepEnd { failed, cancelled };

template<typename T> using StepResult = Result<T, StepEnd>;

// Runs `work` on the thread pool. Exceptions never leave the worker: a
// cancellation and a failure become the step's result, and the reason is
// not kept (it could quote what was read).
template<typename T, typename Work> QFuture<StepResult<T>> runStep(Work work)
{
    return QtConcurrent::run([work = std::move(work)]() -> StepResult<T> {
        try {
            return StepResult<T>(work());
        } catch (const RecognitionCancellation::Cancelled&) {
            return StepEnd::cancelled;
        } catch (...) {
            return StepEnd::failed;
        }
    });
}

template<typename T> bool cancelled(const StepResult<T>& result)
{
    return !result.ok() && result.error() == StepEnd::cancelled;
}

// Forgets a step: a step that has not started yet never will; one that runs
// stops at its next check and delivers nothing. Safe from inside the step's
// own handler.
void discard(QPointer<QFutureWatcherBase>& step)
{
    if (step) {
        step->disconnect();
        step->cancel();
        step->deleteLater();
    }
    step.clear();
}

} // namespace

LiveTextSession::Engine LiveTextSession::engine(std::shared_ptr<TextRecognizer> recognizer)
{
    return {std::move(recognizer), &SafeTextImage::textRegions, &SafeTextImage::prepare};
}

QString LiveTextSession::recognizingStatus() { return QStringLiteral("正在识别文字…"); }
QString LiveTextSession::editingStatus() { return QStringLiteral("正在编辑…"); }
QString LiveTextSession::failedStatus()
{
    return QStringLiteral("文字识别失败，仍可复制或保存图片");
}
QString LiveTextSession::safeTextFailedStatus()
{
    return QStringLiteral("安全文字暂不可用，仍可复制或保存处理后的图片");
}

LiveTextSession::LiveTextSession(AnnotationDocument& document, Engine engine, QObject* parent)
    : QObject(parent), m_document(document), m_engine(std::move(engine))
{
}

LiveTextSession::~LiveTextSession()
{
    cancelJob();
    dropBaseRegions();
}

template<typename T, typename Handler>
QFutureWatcherBase* LiveTextSession::watch(QFuture<T> future, Handler handler)
{
    auto* watcher = new QFutureWatcher<T>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [watcher, handler = std::move(handler)]() mutable {
                watcher->deleteLater();
                const QFuture<T> done = watcher->future();
                if (done.isCanceled() || done.resultCount() == 0)
                    return;
                handler(done.result());
            });
    watcher->setFuture(std::move(future));
    return watcher;
}

bool LiveTextSession::busy() const
{
    return (gestureInProgress && gestureInProgress()) || m_document.inTransaction();
}

bool LiveTextSession::current(std::int64_t generation) const
{
    return !m_closed && m_job && m_job->generation == generation && generation == m_generation
        && !m_job->cancellation.isCancelled();
}

void LiveTextSession::cancelJob()
{
    if (m_job)
        m_job->cancellation.cancel();
    m_job.reset();
    discard(m_step);
}

void LiveTextSession::dropBaseRegions()
{
    if (!m_base)
        return;
    m_base->cancellation.cancel();
    discard(m_base->watcher);
    m_base.reset();
}

void LiveTextSession::invalidateRecognition()
{
    ++m_generation;
    cancelJob();
    if (m_closed)
        return;
    if (onClearAnalysis)
        onClearAnalysis();
    if (onStatus)
        onStatus(busy() ? editingStatus() : recognizingStatus());
    if (onUpdateControls)
        onUpdateControls();
}

void LiveTextSession::recognize()
{
    invalidateRecognition();
    if (m_closed || busy() || !composite)
        return;
    const QImage image = composite();
    if (image.isNull())
        return;
    const AnnotationState& state = m_document.state();
    Job job;
    job.generation = m_generation;
    job.revision = m_document.revision();
    job.image = image;
    job.occlusions = state.occlusions();
    if (!job.occlusions.isEmpty())
        job.overlays = state.safeTextOverlays();
    const bool occluded = !job.occlusions.isEmpty();
    m_job = std::move(job);

    if (!occluded) {
        analyse(image);
        return;
    }
    if (!m_base)
        startBaseRegions();
    if (!m_base) {
        fail(m_generation);
        return;
    }
    if (m_base->regions)
        prepare();
    else
        m_job->waitingForBase = true;
}

// The base image never changes, so its text regions are found once per
// window and kept, unless a failure drops them.
void LiveTextSession::startBaseRegions()
{
    BaseRegions base;
    base.id = m_nextBaseID++;
    const QImage image = m_document.baseImage();
    const RecognitionCancellation cancellation = base.cancellation;
    const TextRegions textRegions = m_engine.textRegions;
    if (!textRegions)
        return;
    const std::int64_t id = base.id;
    m_base = std::move(base);
    m_base->watcher = watch(runStep<QList<Rect>>([textRegions, image, cancellation] {
                                cancellation.throwIfCancelled();
                                return textRegions(image, cancellation);
                            }),
                            [this, id](const StepResult<QList<Rect>>& result) {
                                baseRegionsFound(
                                    id, result.ok() ? std::optional(result.value()) : std::nullopt);
                            });
}

void LiveTextSession::baseRegionsFound(std::int64_t id, std::optional<QList<Rect>> regions)
{
    if (!m_base || m_base->id != id)
        return;
    const bool waiting = m_job && m_job->waitingForBase;
    if (!regions) {
        // The next recognition starts a new detection.
        dropBaseRegions();
        if (waiting)
            fail(m_job->generation);
        return;
    }
    m_base->regions = std::move(regions);
    if (waiting) {
        m_job->waitingForBase = false;
        if (!m_job->cancellation.isCancelled())
            prepare();
    }
}

void LiveTextSession::prepare()
{
    const Job& job = *m_job;
    const Prepare prepareImage = m_engine.prepare;
    if (!prepareImage) {
        fail(job.generation);
        return;
    }
    const std::int64_t generation = job.generation;
    m_step
        = watch(runStep<QImage>([prepareImage, image = job.image, base = *m_base->regions,
                                 occlusions = job.occlusions, cancellation = job.cancellation] {
                    cancellation.throwIfCancelled();
                    QImage prepared = prepareImage(image, base, occlusions, cancellation);
                    if (prepared.isNull())
                        throw std::bad_alloc();
                    return prepared;
                }),
                [this, generation](const StepResult<QImage>& result) {
                    prepared(generation, result.ok() ? std::optional(result.value()) : std::nullopt,
                             cancelled(result));
                });
}

// Back on the main thread: the text annotations still visible on the
// composite are drawn back over the painted-out regions, then the result
// is recognised.
void LiveTextSession::prepared(std::int64_t generation, std::optional<QImage> image,
                               bool wasCancelled)
{
    if (wasCancelled || !current(generation))
        return;
    if (!image) {
        fail(generation);
        return;
    }
    if (!m_job->overlays.isEmpty()) {
        std::optional<QImage> drawn = AnnotationRenderer::render(*image, m_job->overlays);
        if (!drawn) {
            fail(generation);
            return;
        }
        image = std::move(drawn);
    }
    analyse(*image);
}

void LiveTextSession::analyse(const QImage& image)
{
    const Job& job = *m_job;
    if (job.cancellation.isCancelled())
        return;
    const std::int64_t generation = job.generation;
    m_step
        = watch(runStep<TextAnalysis>(
                    [recognizer = m_engine.recognizer, image, cancellation = job.cancellation] {
                        cancellation.throwIfCancelled();
                        if (!recognizer)
                            throw TextRecognizer::Failure("no recogniser");
                        return recognizer->analyze(image, cancellation);
                    }),
                [this, generation](const StepResult<TextAnalysis>& result) {
                    analysed(generation, result.ok() ? std::optional(result.value()) : std::nullopt,
                             cancelled(result));
                });
}

void LiveTextSession::analysed(std::int64_t generation, std::optional<TextAnalysis> analysis,
                               bool wasCancelled)
{
    if (wasCancelled || !current(generation))
        return;
    if (!analysis) {
        fail(generation);
        return;
    }
    // An edit that did not come through recognize() still makes the result
    // stale.
    const bool stale = m_job->revision != m_document.revision();
    const QSize size = m_job->image.size();
    m_job.reset();
    m_step.clear();
    if (stale)
        return;
    if (onAnalysis)
        onAnalysis(std::make_shared<const TextAnalysis>(std::move(*analysis)), size);
}

void LiveTextSession::fail(std::int64_t generation)
{
    if (!current(generation))
        return;
    const bool occluded = !m_job->occlusions.isEmpty();
    m_job.reset();
    m_step.clear();
    if (occluded)
        dropBaseRegions();
    if (onStatus)
        onStatus(occluded ? safeTextFailedStatus() : failedStatus());
}

void LiveTextSession::close()
{
    if (m_closed)
        return;
    m_closed = true;
    ++m_generation;
    cancelJob();
    dropBaseRegions();
    if (onClearAnalysis)
        onClearAnalysis();
}

} // namespace kelpie
