#include "verification/RoutineSteps.h"

#include "verification/VerificationReport.h"

#include <QTimer>

#include <optional>
#include <utility>

namespace kelpie {

namespace {
constexpr std::chrono::milliseconds pollInterval{10};
}

RoutineSteps::RoutineSteps(QObject* parent) : QObject(parent) { }

RoutineSteps::~RoutineSteps() = default;

RoutineSteps& RoutineSteps::then(Step step)
{
    enqueue(std::move(step));
    return *this;
}

RoutineSteps& RoutineSteps::pause(std::chrono::milliseconds duration)
{
    // The pause starts when the script reaches it, not when it is scripted:
    // steps before it may take any time.
    auto until = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
    return waitUntil(
        [until, duration] {
            const auto now = std::chrono::steady_clock::now();
            if (!*until)
                *until = now + duration;
            return now >= **until;
        },
        duration + std::chrono::seconds(1));
}

struct RoutineSteps::Wait {
    std::function<bool()> ready;
    std::chrono::milliseconds timeout;
    std::function<void(bool)> after;
    // Set when the wait begins, not when it is scripted.
    std::optional<std::chrono::steady_clock::time_point> deadline;
};

RoutineSteps& RoutineSteps::waitUntil(std::function<bool()> ready,
                                      std::chrono::milliseconds timeout,
                                      std::function<void(bool inTime)> after)
{
    auto wait = std::make_shared<Wait>(Wait{std::move(ready), timeout, std::move(after), {}});
    enqueue([this, wait] { poll(wait); });
    return *this;
}

RoutineSteps& RoutineSteps::waitOrFail(std::function<bool()> ready,
                                       std::chrono::milliseconds timeout,
                                       VerificationReport& report, std::string check)
{
    return waitUntil(std::move(ready), timeout,
                     [this, &report, check = std::move(check)](bool inTime) {
                         if (!inTime) {
                             report.check(check, false);
                             abort();
                         }
                     });
}

void RoutineSteps::poll(const std::shared_ptr<Wait>& wait)
{
    const auto now = std::chrono::steady_clock::now();
    if (!wait->deadline)
        wait->deadline = now + wait->timeout;
    const bool held = wait->ready();
    if (held || now >= *wait->deadline) {
        if (wait->after)
            wait->after(held);
        return;
    }
    // Not yet: look again a little later, before anything scripted after
    // the wait.
    m_steps.push_front([this, wait] { poll(wait); });
    m_insertAt = 1;
    m_poll->start(pollInterval);
}

void RoutineSteps::start(std::function<void()> finished)
{
    m_finished = std::move(finished);
    m_running = true;
    m_poll = new QTimer(this);
    m_poll->setSingleShot(true);
    connect(m_poll, &QTimer::timeout, this, &RoutineSteps::runNext);
    scheduleNext();
}

void RoutineSteps::abort()
{
    m_steps.clear();
    m_insertAt = 0;
}

void RoutineSteps::enqueue(Step step)
{
    if (m_inStep) {
        m_steps.insert(m_steps.begin() + static_cast<std::ptrdiff_t>(m_insertAt), std::move(step));
        ++m_insertAt;
    } else {
        m_steps.push_back(std::move(step));
    }
}

void RoutineSteps::scheduleNext()
{
    if (!m_poll->isActive())
        m_poll->start(0);
}

void RoutineSteps::runNext()
{
    if (m_steps.empty()) {
        if (!m_running)
            return;
        m_running = false;
        if (auto finished = std::exchange(m_finished, {}))
            finished();
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    m_inStep = true;
    m_insertAt = 0;
    step();
    m_inStep = false;
    scheduleNext();
}

} // namespace kelpie
