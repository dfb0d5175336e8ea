#include "platform/measurement.h"

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tessaly {

namespace {

// -1 none, 0 not metric, 1 metric.
std::atomic<int> metricOverride{-1};

const char* environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_MEASUREMENT", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return nullptr;
}

}  // namespace

bool localeMeasuresInMetric(const char* localeName) {
    if (!localeName || !*localeName || std::strcmp(localeName, "C") == 0 ||
        std::strcmp(localeName, "POSIX") == 0 || std::strncmp(localeName, "C.", 2) == 0) {
        return false;
    }
    locale_t locale = newlocale(LC_MEASUREMENT_MASK, localeName, locale_t(0));
    if (locale == locale_t(0)) return false;
    // The first byte of the item is the measurement system itself.
    const char* item = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, locale);
    const bool metric = item && item[0] == 1;
    freelocale(locale);
    return metric;
}

bool userMeasuresInMetric() {
    const int forced = metricOverride.load(std::memory_order_relaxed);
    if (forced >= 0) return forced == 1;
    return localeMeasuresInMetric(environmentLocale());
}

void setMetricOverride(std::optional<bool> metric) {
    metricOverride.store(metric ? int(*metric) : -1, std::memory_order_relaxed);
}

}  // namespace tessaly
