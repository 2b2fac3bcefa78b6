#pragma once

#include "annotation/AnnotationObjectList.h"
#include "geometry/Rect.h"
#include "text/RecognitionCancellation.h"
#include "text/TextAnalysis.h"
#include "text/TextRecognizer.h"

#include <QFuture>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QFutureWatcherBase;

namespace kelpie {

class AnnotationDocument;

// The live text of one editor or pin window: recognises the window's
// current composite off the main thread and hands the analysis back on it,
// never revealing what a mask or a filled shape covers.
//
// With occlusions in the picture, every text region near one (found in the
// composite and, once per window, in the untouched base image) is painted
// over before recognition and the text annotations still visible are drawn
// back; when that cannot be done there is no text rather than leaked text.
// Every change starts over: `generation` rises with each invalidation and a
// result is applied only while its generation and the document's revision
// are still current; anything late is dropped without a word.
//
// The window owns one, forwards recognize() and invalidateRecognition(),
// and is told what to show through the callbacks below. Main thread only.
class LiveTextSession final : public QObject {
    Q_OBJECT

public:
    // Layout analysis of an image: its text rectangles, bottom-left origin.
    using TextRegions
        = std::function<QList<Rect>(const QImage& image, const RecognitionCancellation&)>;
    // The image to recognise when occlusions exist (SafeTextImage::prepare).
    using Prepare
        = std::function<QImage(const QImage& image, const QList<Rect>& baseRegions,
                               const QList<Rect>& occlusions, const RecognitionCancellation&)>;

    // What does the work, all of it called off the main thread.
    struct Engine {
        std::shared_ptr<TextRecognizer> recognizer;
        TextRegions textRegions;
        Prepare prepare;
    };
    // The recogniser with the safe-text functions of SafeTextImage.
    static Engine engine(std::shared_ptr<TextRecognizer> recognizer);

    // The status texts of recognition.
    static QString recognizingStatus();    // "正在识别文字…"
    static QString editingStatus();        // "正在编辑…"
    static QString failedStatus();         // recognition failed without occlusions
    static QString safeTextFailedStatus(); // safe text could not be had

    LiveTextSession(AnnotationDocument& document, Engine engine, QObject* parent = nullptr);
    // Cancels what runs; no callback fires.
    ~LiveTextSession() override;

    // --- what the window answers ---------------------------------------
    // A pointer gesture is in progress (the canvas has a draft).
    std::function<bool()> gestureInProgress;
    // The composite the canvas shows; a null image while it has none.
    std::function<QImage()> composite;

    // --- what the window is told ---------------------------------------
    // Drop the overlay's selection and analysis.
    std::function<void()> onClearAnalysis;
    std::function<void(const QString& status)> onStatus;
    // Refresh the controls (after an invalidation).
    std::function<void()> onUpdateControls;
    // The current composite's analysis: give it to the overlay, refresh
    // its contents rectangle and the copy title, and set the contextual
    // status.
    std::function<void(std::shared_ptr<const TextAnalysis> analysis, QSize imageSize)> onAnalysis;

    // Invalidates, then starts recognising the current composite unless
    // the window is closed, a gesture or a transaction is in progress, or
    // there is no composite.
    void recognize();
    // Raises the generation, cancels the running recognition, clears the
    // overlay and says what is going on ("正在编辑…" while a gesture or a
    // transaction is in progress, else "正在识别文字…"). After close only
    // the generation moves.
    void invalidateRecognition();
    // The window closes: raises the generation, cancels both tasks, drops
    // every result and clears the overlay. The status is left as it is.
    void close();

    bool closed() const { return m_closed; }
    std::int64_t generation() const { return m_generation; }
    bool recognizing() const { return m_job.has_value(); }
    // A base-image text detection is running or its regions are kept.
    bool hasBaseRegionsTask() const { return m_base.has_value(); }

private:
    // One recognition, with everything it needs captured when it started.
    struct Job {
        std::int64_t generation = 0;
        std::int64_t revision = 0;
        QImage image;
        QList<Rect> occlusions;
        AnnotationObjectList overlays;
        RecognitionCancellation cancellation;
        bool waitingForBase = false;
    };
    struct BaseRegions {
        std::int64_t id = 0;
        RecognitionCancellation cancellation;
        std::optional<QList<Rect>> regions;
        QPointer<QFutureWatcherBase> watcher;
    };

    bool busy() const;
    void startBaseRegions();
    void baseRegionsFound(std::int64_t id, std::optional<QList<Rect>> regions);
    void prepare();
    void prepared(std::int64_t generation, std::optional<QImage> image, bool cancelled);
    void analyse(const QImage& image);
    void analysed(std::int64_t generation, std::optional<TextAnalysis> analysis, bool cancelled);
    void fail(std::int64_t generation);
    bool current(std::int64_t generation) const;
    void cancelJob();
    void dropBaseRegions();
    // Runs `handler` on the main thread when `future` finishes, unless this
    // session is gone or the step was cancelled first.
    template<typename T, typename Handler>
    QFutureWatcherBase* watch(QFuture<T> future, Handler handler);

    AnnotationDocument& m_document;
    Engine m_engine;
    bool m_closed = false;
    std::int64_t m_generation = 0;
    std::optional<Job> m_job;
    // The running step of the current recognition.
    QPointer<QFutureWatcherBase> m_step;
    std::optional<BaseRegions> m_base;
    std::int64_t m_nextBaseID = 1;
};

} // namespace kelpie
