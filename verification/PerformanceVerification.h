#pragma once

#include "verification/BenchmarkMode.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kelpie {

class AppController;

// The benchmark: runs the mode named on the command line against the
// running application and writes its report. Every mode ends in a report:
// its figures with `completed` true, or {mode, completed false, error
// "measurement_failed"} for a run that could not measure, a mode name no
// mode has included.
class PerformanceVerification {
public:
    // `done` learns whether the run measured and its report is on disk.
    static void run(const QString& mode, const QString& reportPath,
                    const QString& fixtureDirectory, AppController& controller,
                    const std::optional<QString>& displayHost,
                    std::function<void(bool succeeded)> done);

    // The object that measures `mode`, or null when there is no such mode.
    static std::unique_ptr<BenchmarkMode> makeMode(const QString& mode);
};

} // namespace kelpie
