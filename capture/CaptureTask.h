#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QPromise>

#include <memory>
#include <utility>

namespace kelpie {

// The promise behind one asynchronous capture, shared by the steps that
// complete it. Each step resumes on the main thread; the capture looks at
// the caller's cancellation only where it says so.
template<typename Outcome> class CaptureTask {
public:
    CaptureTask() : promise_(std::make_shared<QPromise<Outcome>>()) { promise_->start(); }

    QFuture<Outcome> future() const { return promise_->future(); }
    bool isCanceled() const { return promise_->isCanceled(); }

    void finish(Outcome outcome) const
    {
        promise_->addResult(std::move(outcome));
        promise_->finish();
    }

    // Ends a canceled capture: the future finishes canceled, without a result.
    void finishCanceled() const { promise_->finish(); }

    // Runs `step` on the main thread with the value of `source` once it is
    // ready. Should the source itself end canceled, so does this capture.
    template<typename Value, typename Step> void then(QFuture<Value> source, Step step) const
    {
        QObject* mainThread = QCoreApplication::instance();
        const CaptureTask task = *this;
        source.then(mainThread, std::move(step)).onCanceled(mainThread, [task] {
            if (!task.future().isFinished())
                task.finishCanceled();
        });
    }

private:
    std::shared_ptr<QPromise<Outcome>> promise_;
};

} // namespace kelpie
