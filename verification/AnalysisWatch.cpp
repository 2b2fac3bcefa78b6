#include "verification/AnalysisWatch.h"

#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"

#include <QTimer>

namespace kelpie {

AnalysisWatch::AnalysisWatch(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1);
    connect(m_timer, &QTimer::timeout, this, &AnalysisWatch::look);
}

AnalysisWatch::~AnalysisWatch() = default;

void AnalysisWatch::start()
{
    m_timer->stop();
    m_window = nullptr;
    m_state = State::waiting;
    m_milliseconds = 0;
    m_clock.start();
}

void AnalysisWatch::watch(ImageWindow* window)
{
    m_window = window;
    if (m_state != State::waiting)
        return;
    m_timer->start();
    look();
}

void AnalysisWatch::restart(ImageWindow* window)
{
    start();
    watch(window);
}

double AnalysisWatch::milliseconds() const
{
    if (m_state == State::waiting)
        return double(m_clock.nsecsElapsed()) / 1e6;
    return m_milliseconds;
}

void AnalysisWatch::look()
{
    ImageWindow* window = m_window.data();
    if (!window || window->isClosed())
        return end(State::closed);
    const LiveTextOverlay* overlay = window->overlay();
    if (!overlay)
        return end(State::failed); // a window without live text never analyses
    if (overlay->analysis()) {
        if (onAnalysed)
            onAnalysed(*window);
        return end(State::analysed);
    }
    const QString status = window->statusText();
    if (status == LiveTextSession::failedStatus() || status == LiveTextSession::safeTextFailedStatus())
        end(State::failed);
}

void AnalysisWatch::end(State state)
{
    m_milliseconds = double(m_clock.nsecsElapsed()) / 1e6;
    m_state = state;
    m_timer->stop();
}

} // namespace kelpie
