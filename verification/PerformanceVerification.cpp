#include "verification/PerformanceVerification.h"

#include "verification/BenchmarkReport.h"
#include "verification/CaptureBenchmark.h"
#include "verification/FirstAnalysisBenchmark.h"
#include "verification/MatrixBenchmark.h"
#include "verification/StartupBenchmark.h"

#include <QTimer>

#include <cstdio>

namespace kelpie {

namespace {

bool writeReport(const BenchmarkReport& report, const QString& path)
{
    const auto written = report.write(path);
    if (!written)
        std::fprintf(stderr, "Kelpie could not write the benchmark report %s: %s\n",
                     qPrintable(path), written.failure().detail.c_str());
    return bool(written);
}

} // namespace

std::unique_ptr<BenchmarkMode> PerformanceVerification::makeMode(const QString& mode)
{
    // One line per mode; each mode is a class of its own.
    if (mode == QLatin1String("startup"))
        return std::make_unique<StartupBenchmark>();
    if (mode == QLatin1String("capture"))
        return std::make_unique<CaptureBenchmark>();
    return nullptr;
}

void PerformanceVerification::run(const QString& mode, const QString& reportPath,
                                  const QString& fixtureDirectory, AppController& controller,
                                  const std::optional<QString>& displayHost,
                                  std::function<void(bool succeeded)> done)
{
    // The first-analysis and matrix modes write their reports themselves.
    const std::string name = mode.toStdString();
    if (FirstAnalysisBenchmark::category(name)) {
        FirstAnalysisBenchmark::run(name, reportPath, fixtureDirectory, controller, std::move(done));
        return;
    }
    if (name == "matrix") {
        MatrixBenchmark::run(reportPath, fixtureDirectory, controller, std::move(done));
        return;
    }
    auto report = std::make_shared<BenchmarkReport>(name);
    std::unique_ptr<BenchmarkMode> measuring = makeMode(mode);
    if (!measuring) {
        const bool written = writeReport(*report, reportPath);
        Q_UNUSED(written);
        QTimer::singleShot(0, [done] { done(false); });
        return;
    }
    BenchmarkMode* mode_ = measuring.release();
    const BenchmarkContext context{reportPath, fixtureDirectory, &controller, displayHost};
    mode_->start(context, *report, [report, reportPath, mode_, done](bool measured) {
        if (measured)
            report->complete();
        else
            report->fail();
        const bool written = writeReport(*report, reportPath);
        mode_->deleteLater();
        done(measured && written);
    });
}

} // namespace kelpie
