#pragma once

#include "core/Result.h"

#include <QString>

#include <nlohmann/json.hpp>

#include <map>
#include <string>

namespace kelpie {

enum class ReportError {
    // A value cannot be written as JSON (invalid UTF-8, a non-finite number).
    unserialisable,
    // The file cannot be written or replaced.
    unwritable,
};

// The JSON report one self-verification routine writes: its checks (one
// observation of the real system each, named in lower-case words joined by
// underscores), whether they all passed, whether only fixtures were used,
// and the routine's own keys. Written pretty-printed with sorted keys, and
// replaced atomically so a reader never sees half a report.
class VerificationReport {
public:
    // Records one check; a name already recorded keeps the worse outcome, so
    // a check repeated over several steps passes only if every step did.
    void check(const std::string& name, bool value);
    const std::map<std::string, bool>& checks() const { return m_checks; }
    // True exactly when there are checks and every one is true; a routine
    // that did not run never passes.
    bool passed() const;

    void setFixtureOnly(bool fixtureOnly) { set("fixture_only", fixtureOnly); }
    // A routine-specific key. `checks` and `passed` are the report's own and
    // cannot be set this way.
    void set(const std::string& key, nlohmann::json value);
    // The routine could not start: the report says why instead of checking.
    void notRun(const std::string& status, const std::string& reason = {});
    bool ran() const { return !m_notRun; }

    nlohmann::json json() const;
    // The report as written: two-space indentation, sorted keys, a final
    // line break.
    Result<std::string, ReportError> text() const;
    Status<ReportError> write(const QString& path) const;
    // How a routine ends: writes the report and says whether the routine
    // succeeded, which it did only if it passed and its report is on disk.
    // A report that cannot be written is said on stderr.
    bool conclude(const QString& path) const;

    // Whether `name` is a check name: lower-case ASCII words of letters and
    // digits joined by single underscores.
    static bool isCheckName(const std::string& name);

private:
    std::map<std::string, bool> m_checks;
    nlohmann::json m_extra = nlohmann::json::object();
    bool m_notRun = false;
};

// Writes `text` to `path` through a temporary file renamed over it.
Status<ReportError> writeReportAtomically(const QString& path, const std::string& text);

} // namespace kelpie
