#include "verification/BenchmarkReport.h"

#include <array>

namespace kelpie {

bool BenchmarkReport::isMode(const std::string& mode)
{
    constexpr std::array<const char*, 6> modes{"startup",       "capture",    "first-chinese",
                                               "first-english", "first-mixed", "matrix"};
    for (const char* known : modes) {
        if (mode == known)
            return true;
    }
    return false;
}

BenchmarkReport::BenchmarkReport(std::string mode) : m_mode(std::move(mode)) { }

void BenchmarkReport::set(const std::string& key, nlohmann::json value)
{
    if (key == "mode" || key == "completed" || key == "error")
        return;
    m_figures[key] = std::move(value);
}

nlohmann::json BenchmarkReport::json() const
{
    if (!completed() || !isMode(m_mode))
        return {{"mode", m_mode}, {"completed", false}, {"error", "measurement_failed"}};
    nlohmann::json result = m_figures;
    result["mode"] = m_mode;
    result["completed"] = true;
    return result;
}

Status<ReportError> BenchmarkReport::write(const QString& path) const
{
    std::string text;
    try {
        text = json().dump(2) + '\n';
    } catch (const nlohmann::json::exception& error) {
        return Failure<ReportError>{ReportError::unserialisable, error.what()};
    }
    return writeReportAtomically(path, text);
}

} // namespace kelpie
