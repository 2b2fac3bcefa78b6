#include "verification/SampleSummary.h"

#include <algorithm>
#include <cmath>

namespace kelpie::SampleSummary {

namespace {

// Figures are reported to the microsecond; finer digits are noise.
double rounded(double ms) { return std::round(ms * 1000.0) / 1000.0; }

} // namespace

std::optional<double> median(std::vector<double> samples)
{
    if (samples.empty())
        return std::nullopt;
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    if (samples.size() % 2 == 1)
        return samples[middle];
    return (samples[middle - 1] + samples[middle]) / 2.0;
}

std::optional<double> percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return std::nullopt;
    std::sort(samples.begin(), samples.end());
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    const auto rank = static_cast<std::size_t>(std::ceil(clamped * double(samples.size())));
    return samples[std::max<std::size_t>(rank, 1) - 1];
}

nlohmann::json json(const std::vector<double>& samples)
{
    if (samples.empty())
        return nullptr;
    nlohmann::json all = nlohmann::json::array();
    for (const double sample : samples)
        all.push_back(rounded(sample));
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    return {{"median", rounded(*median(samples))},
            {"p90", rounded(*percentile(samples, 0.9))},
            {"min", rounded(*low)},
            {"max", rounded(*high)},
            {"first", rounded(samples.front())},
            {"count", samples.size()},
            {"samples", all}};
}

} // namespace kelpie::SampleSummary
