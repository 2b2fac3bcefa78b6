#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

namespace kelpie {

// A benchmark's repeated measurements in milliseconds, summed up the way
// its report gives them: the median (the figure a budget is held against),
// the spread around it, the first sample (a cold one, kept on purpose) and
// every sample in the order taken.
namespace SampleSummary {

// The middle value; for an even count the mean of the two middle ones.
// Absent for no samples.
std::optional<double> median(std::vector<double> samples);
// The value below which `fraction` of the samples lie (nearest rank).
std::optional<double> percentile(std::vector<double> samples, double fraction);

// {median, p90, min, max, first, count, samples}; null for no samples.
nlohmann::json json(const std::vector<double>& samples);

} // namespace SampleSummary
} // namespace kelpie
