#include "pin/QtDelayScheduler.h"

#include <QTimer>

namespace kelpie {

QtDelayScheduler::QtDelayScheduler(QObject* parent) : QObject(parent) { }

QtDelayScheduler::~QtDelayScheduler()
{
    for (auto& [ticket, timer] : m_timers)
        delete timer;
}

DelayScheduler::Ticket QtDelayScheduler::schedule(std::chrono::milliseconds delay,
                                                  std::function<void()> task)
{
    const Ticket ticket = m_next++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(delay);
    connect(timer, &QTimer::timeout, this, [this, ticket, task = std::move(task)] {
        const auto found = m_timers.find(ticket);
        if (found == m_timers.end())
            return;
        found->second->deleteLater();
        m_timers.erase(found);
        // The task may schedule or cancel others; it runs after the
        // bookkeeping so that it sees itself gone.
        const auto run = task;
        run();
    });
    m_timers.emplace(ticket, timer);
    timer->start();
    return ticket;
}

void QtDelayScheduler::cancel(Ticket ticket)
{
    const auto found = m_timers.find(ticket);
    if (found == m_timers.end())
        return;
    found->second->stop();
    found->second->deleteLater();
    m_timers.erase(found);
}

} // namespace kelpie
