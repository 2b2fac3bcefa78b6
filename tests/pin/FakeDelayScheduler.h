#pragma once

#include "pin/DelayScheduler.h"

#include <algorithm>
#include <vector>

namespace kelpie::test {

// A scheduler on a clock that only moves when a test advances it.
class FakeDelayScheduler final : public DelayScheduler {
public:
    Ticket schedule(std::chrono::milliseconds delay, std::function<void()> task) override
    {
        m_tasks.push_back({m_next, m_now + delay, std::move(task)});
        return m_next++;
    }

    void cancel(Ticket ticket) override
    {
        std::erase_if(m_tasks, [&](const Task& task) { return task.ticket == ticket; });
    }

    // Moves the clock on, running every task that falls due on the way in
    // the order they fall due.
    void advance(std::chrono::milliseconds by)
    {
        const auto until = m_now + by;
        for (;;) {
            const auto next = std::min_element(
                m_tasks.begin(), m_tasks.end(),
                [](const Task& a, const Task& b) { return a.due < b.due; });
            if (next == m_tasks.end() || next->due > until)
                break;
            m_now = next->due;
            const auto run = next->task;
            m_tasks.erase(next);
            run();
        }
        m_now = until;
    }

    std::size_t pending() const { return m_tasks.size(); }

private:
    struct Task {
        Ticket ticket;
        std::chrono::milliseconds due;
        std::function<void()> task;
    };

    std::vector<Task> m_tasks;
    std::chrono::milliseconds m_now{0};
    Ticket m_next = 1;
};

} // namespace kelpie::test
