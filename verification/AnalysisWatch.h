#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>

class QTimer;

namespace kelpie {

class ImageWindow;

// Watches an editor or pin until the recognition it runs has ended, and
// times it to the millisecond: the benchmark steps poll far more coarsely,
// so the moment the analysis reaches the window is caught here instead.
//
// The clock runs from start(); watch() then looks at the window every
// millisecond until its live text shows an analysis (with or without
// text), its status says recognition failed, or it closes. `onAnalysed`
// runs in that same turn, and the clock stops when it returns, so what it
// does (selecting the text, painting the selection) is part of the time.
class AnalysisWatch final : public QObject {
    Q_OBJECT
public:
    enum class State { idle, waiting, analysed, failed, closed };

    explicit AnalysisWatch(QObject* parent = nullptr);
    ~AnalysisWatch() override;

    // Starts the clock; the state becomes waiting.
    void start();
    // Looks at `window` from now on until its recognition ends.
    void watch(ImageWindow* window);
    // start() and watch() at once: for a recognition restarted on an open window.
    void restart(ImageWindow* window);

    State state() const { return m_state; }
    bool finished() const { return m_state != State::idle && m_state != State::waiting; }
    // From start() to the end, or to now while waiting.
    double milliseconds() const;

    std::function<void(ImageWindow& window)> onAnalysed;

private:
    void look();
    void end(State state);

    QPointer<ImageWindow> m_window;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    State m_state = State::idle;
    double m_milliseconds = 0;
};

} // namespace kelpie
