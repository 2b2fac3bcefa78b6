#pragma once

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace kelpie {

class VerificationReport;

// The script of one verification routine: steps that run one after another
// on the main thread, each on its own turn of the event loop, so that what
// one step shows is laid out, painted and delivered before the next step
// looks at it. A wait polls its condition until it holds or its time runs
// out, and then hands the outcome to the step after it.
//
// Steps may add steps while they run: those run right after the current one,
// in the order they were added, before the rest of the script.
class RoutineSteps : public QObject {
    Q_OBJECT
public:
    using Step = std::function<void()>;

    explicit RoutineSteps(QObject* parent = nullptr);
    ~RoutineSteps() override;

    RoutineSteps& then(Step step);
    // Lets the event loop run for `duration` (timers, repaints, a window
    // manager's answers) before the next step.
    RoutineSteps& pause(std::chrono::milliseconds duration);
    // Waits until `ready` holds, checking every 10 ms, for at most `timeout`;
    // `after` learns whether it held in time.
    RoutineSteps& waitUntil(std::function<bool()> ready, std::chrono::milliseconds timeout,
                            std::function<void(bool inTime)> after = {});
    // The same for what the rest of the script needs: when time runs out
    // first, `report` records `check` as failed and the script ends there.
    RoutineSteps& waitOrFail(std::function<bool()> ready, std::chrono::milliseconds timeout,
                             VerificationReport& report, std::string check);

    // Runs the script; `finished` runs once, after the last step or after
    // `abort()`.
    void start(std::function<void()> finished);
    // Drops the steps not yet run: for a failure the rest of the script
    // cannot build on. The script finishes on the next turn.
    void abort();
    bool running() const { return m_running; }

private:
    struct Wait;
    void poll(const std::shared_ptr<Wait>& wait);
    void enqueue(Step step);
    void runNext();
    void scheduleNext();

    std::deque<Step> m_steps;
    // Where steps added by the running step go: right after it.
    std::size_t m_insertAt = 0;
    bool m_inStep = false;
    bool m_running = false;
    std::function<void()> m_finished;
    QTimer* m_poll = nullptr;
};

} // namespace kelpie
