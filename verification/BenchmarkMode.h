#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace kelpie {

class AppController;
class BenchmarkReport;

// What a benchmark run is given on the command line, and the running
// application it measures.
struct BenchmarkContext {
    QString reportPath;
    QString fixtureDirectory;
    AppController* controller = nullptr;
    std::optional<QString> displayHost;
};

// One mode of the benchmark: it measures on the main thread, puts its
// figures and scope into the report, and says once whether it measured.
// A mode that did not measure leaves the report to say so.
class BenchmarkMode : public QObject {
    Q_OBJECT
public:
    using Finished = std::function<void(bool measured)>;

    using QObject::QObject;
    ~BenchmarkMode() override = default;

    // `report` outlives the run; `finished` is called once, later, never
    // from inside start().
    virtual void start(const BenchmarkContext& context, BenchmarkReport& report,
                       Finished finished)
        = 0;
};

} // namespace kelpie
