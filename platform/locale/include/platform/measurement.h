#pragma once
// Whether the user measures in metric units: the measurement system of the
// locale the environment names for LC_MEASUREMENT (LC_ALL, then
// LC_MEASUREMENT, then LANG). A locale that names no country (C, POSIX, none
// set) or cannot be loaded counts as not metric.
//
// On Windows the user's answer comes from the country of the regional
// settings (HKEY_CURRENT_USER "Control Panel\International", iCountry)
// instead, and a locale name is looked up as the system names locales
// ("de-DE"; "de_DE.UTF-8" is taken as the same).

#include <optional>

namespace tessaly {

bool userMeasuresInMetric();

// The answer a locale name gives (1 metric, 2 US in the locale's data); for
// tests and for callers that know the name.
bool localeMeasuresInMetric(const char* localeName);

// Replaces the answer of userMeasuresInMetric() for the whole process (tests);
// nullopt goes back to the environment.
void setMetricOverride(std::optional<bool> metric);

#ifdef _WIN32
// The answer a country code gives (the decimal text of iCountry): not metric
// for 1, 2, 50 to 59 and 500 to 599 (North, Central and South America) nor
// for text that is empty, longer than 15 characters or not all digits.
bool countryMeasuresInMetric(const char* country);
#endif

}  // namespace tessaly
