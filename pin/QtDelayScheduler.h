#pragma once

#include "pin/DelayScheduler.h"

#include <QObject>

#include <map>

class QTimer;

namespace kelpie {

// Delayed tasks on the Qt event loop of the scheduling thread; pending tasks
// die with the scheduler.
class QtDelayScheduler final : public QObject, public DelayScheduler {
    Q_OBJECT

public:
    explicit QtDelayScheduler(QObject* parent = nullptr);
    ~QtDelayScheduler() override;

    Ticket schedule(std::chrono::milliseconds delay, std::function<void()> task) override;
    void cancel(Ticket ticket) override;

private:
    Ticket m_next = 1;
    std::map<Ticket, QTimer*> m_timers;
};

} // namespace kelpie
