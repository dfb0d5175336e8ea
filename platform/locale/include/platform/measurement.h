#pragma once
// Whether the user measures in metric units: the measurement system of the
// locale the environment names for LC_MEASUREMENT (LC_ALL, then
// LC_MEASUREMENT, then LANG). A locale that names no country (C, POSIX, none
// set) or cannot be loaded counts as not metric.

#include <optional>

namespace tessaly {

bool userMeasuresInMetric();

// The answer a locale name gives (1 metric, 2 US in the locale's data); for
// tests and for callers that know the name.
bool localeMeasuresInMetric(const char* localeName);

// Replaces the answer of userMeasuresInMetric() for the whole process (tests);
// nullopt goes back to the environment.
void setMetricOverride(std::optional<bool> metric);

}  // namespace tessaly
