#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kelpie {

class AppController;

// The general smoke test: the application controller over a fixture, its
// overlay driven with controlled pointer and key events (drag crops, the
// Escape ladder, colour copies, window picks), its editors and pins (the
// pin level, opacity from the menu, copy, closing), the global hot keys
// (the alternative key as primary, a key another client holds) and the
// settings window's shortcut recorder.
class SmokeVerification : public QObject {
    Q_OBJECT
public:
    // `controller` has launched with `fixture` as its display and preferences
    // of its own; it outlives the run.
    static void run(AppController& controller, QImage fixture, QString reportPath,
                    std::function<void(bool succeeded)> done);

private:
    struct Run;
    explicit SmokeVerification(std::unique_ptr<Run> run);
    ~SmokeVerification() override;

    std::unique_ptr<Run> m_run;
};

} // namespace kelpie
