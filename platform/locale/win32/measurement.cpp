// The user's measurement system from the country the user chose in the
// regional settings: HKEY_CURRENT_USER "Control Panel\International", value
// iCountry, the country's telephone code as decimal text.
#include "platform/measurement.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

namespace tessaly {

namespace {

// -1 none, 0 not metric, 1 metric.
std::atomic<int> metricOverride{-1};

// The longest country text taken, terminator included.
constexpr DWORD kMaxCountryBytes = 16;

}  // namespace

bool countryMeasuresInMetric(const char* country) {
    if (!country || !*country || std::strlen(country) >= kMaxCountryBytes) return false;
    unsigned value = 0;
    for (const char* c = country; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + unsigned(*c - '0');
    }
    // The United States, Canada and the countries of Central and South America.
    const bool notMetric = value == 1 || value == 2 || (value >= 50 && value <= 59) ||
                           (value >= 500 && value <= 599);
    return !notMetric;
}

bool localeMeasuresInMetric(const char* localeName) {
    if (!localeName || !*localeName || std::strcmp(localeName, "C") == 0 ||
        std::strcmp(localeName, "POSIX") == 0 || std::strncmp(localeName, "C.", 2) == 0) {
        return false;
    }
    // "de_DE.UTF-8" names the locale "de-DE" does.
    std::wstring name;
    for (const char* c = localeName; *c && *c != '.' && *c != '@'; ++c) {
        name += *c == '_' ? L'-' : wchar_t(static_cast<unsigned char>(*c));
    }
    if (!::IsValidLocaleName(name.c_str())) return false;
    wchar_t measure[4] = {};
    if (::GetLocaleInfoEx(name.c_str(), LOCALE_IMEASURE, measure, 4) == 0) return false;
    return measure[0] == L'0';
}

bool userMeasuresInMetric() {
    const int forced = metricOverride.load(std::memory_order_relaxed);
    if (forced >= 0) return forced == 1;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\International", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t text[kMaxCountryBytes] = {};
    DWORD type = 0;
    DWORD size = sizeof text - sizeof(wchar_t);
    const LSTATUS status =
        ::RegQueryValueExW(key, L"iCountry", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    std::string narrow;
    for (size_t i = 0; i < size / sizeof(wchar_t) && text[i]; ++i) {
        if (text[i] > 0x7F) return false;
        narrow += char(text[i]);
    }
    return countryMeasuresInMetric(narrow.c_str());
}

void setMetricOverride(std::optional<bool> metric) {
    metricOverride.store(metric ? int(*metric) : -1, std::memory_order_relaxed);
}

}  // namespace tessaly
