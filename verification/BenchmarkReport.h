#pragma once

#include "core/Result.h"
#include "verification/VerificationReport.h"

#include <QString>

#include <nlohmann/json.hpp>

#include <string>

namespace kelpie {

// The report of one benchmark run: always its `mode`; the run's figures and
// `completed` true when it measured, or exactly {mode, completed false,
// error "measurement_failed"} when it did not, whatever the cause (an
// unknown mode included).
class BenchmarkReport {
public:
    // "startup", "capture", "first-chinese", "first-english", "first-mixed", "matrix".
    static bool isMode(const std::string& mode);

    explicit BenchmarkReport(std::string mode);

    const std::string& mode() const { return m_mode; }
    void set(const std::string& key, nlohmann::json value);
    // The scope text of the mode, as the report fixes it.
    void setScope(const std::string& scope) { set("scope", scope); }
    void complete() { m_completed = true; }
    void fail() { m_completed = false; m_failed = true; }
    bool completed() const { return m_completed && !m_failed; }

    nlohmann::json json() const;
    Status<ReportError> write(const QString& path) const;

private:
    std::string m_mode;
    nlohmann::json m_figures = nlohmann::json::object();
    bool m_completed = false;
    bool m_failed = false;
};

} // namespace kelpie
