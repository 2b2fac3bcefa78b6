#include "verification/VerificationReport.h"

#include <QSaveFile>

#include <cassert>
#include <cstdio>

namespace kelpie {

bool VerificationReport::isCheckName(const std::string& name)
{
    if (name.empty() || name.front() == '_' || name.back() == '_')
        return false;
    char previous = 0;
    for (const char c : name) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!word && !(c == '_' && previous != '_'))
            return false;
        previous = c;
    }
    return true;
}

void VerificationReport::check(const std::string& name, bool value)
{
    assert(isCheckName(name));
    const auto [at, added] = m_checks.emplace(name, value);
    if (!added)
        at->second = at->second && value;
}

bool VerificationReport::passed() const
{
    if (m_notRun || m_checks.empty())
        return false;
    for (const auto& [name, value] : m_checks) {
        if (!value)
            return false;
    }
    return true;
}

void VerificationReport::set(const std::string& key, nlohmann::json value)
{
    if (key == "checks" || key == "passed")
        return;
    m_extra[key] = std::move(value);
}

void VerificationReport::notRun(const std::string& status, const std::string& reason)
{
    m_notRun = true;
    m_checks.clear();
    m_extra["status"] = status;
    if (!reason.empty())
        m_extra["reason"] = reason;
}

nlohmann::json VerificationReport::json() const
{
    nlohmann::json result = m_extra;
    if (!m_notRun)
        result["checks"] = m_checks;
    result["passed"] = passed();
    return result;
}

Result<std::string, ReportError> VerificationReport::text() const
{
    try {
        // The object type is ordered, so keys come out sorted at every level.
        return json().dump(2) + '\n';
    } catch (const nlohmann::json::exception& error) {
        return Failure<ReportError>{ReportError::unserialisable, error.what()};
    }
}

Status<ReportError> VerificationReport::write(const QString& path) const
{
    const auto serialised = text();
    if (!serialised)
        return serialised.failure();
    return writeReportAtomically(path, serialised.value());
}

bool VerificationReport::conclude(const QString& path) const
{
    const Status<ReportError> written = write(path);
    if (!written) {
        std::fprintf(stderr, "Kelpie could not write the report %s: %s\n",
                     qPrintable(path), written.failure().detail.c_str());
        return false;
    }
    return passed();
}

Status<ReportError> writeReportAtomically(const QString& path, const std::string& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure<ReportError>{ReportError::unwritable, file.errorString().toStdString()};
    const auto size = qint64(text.size());
    if (file.write(text.data(), size) != size || !file.commit())
        return Failure<ReportError>{ReportError::unwritable, file.errorString().toStdString()};
    return Done{};
}

} // namespace kelpie
