// The user's measurement system, from the locale the environment names.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../support/scratch_dir.h"
#include "platform/measurement.h"
#include "windows_support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_LEAK_CHECKS 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define TESSALY_LEAK_CHECKS 1
#endif
#ifdef TESSALY_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace tessaly {
namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_.empty()) {
            ::unsetenv(name_);
        } else {
            ::setenv(name_, old_.c_str(), 1);
        }
    }

private:
    const char* name_;
    std::string old_;
};

TEST(Measurement, LocalesWithoutACountryAreNotMetric) {
    EXPECT_FALSE(localeMeasuresInMetric(nullptr));
    EXPECT_FALSE(localeMeasuresInMetric(""));
    EXPECT_FALSE(localeMeasuresInMetric("C"));
    EXPECT_FALSE(localeMeasuresInMetric("C.UTF-8"));
    EXPECT_FALSE(localeMeasuresInMetric("POSIX"));
    EXPECT_FALSE(localeMeasuresInMetric("xx_NOWHERE.UTF-8"));
}

TEST(Measurement, OverrideWinsOverTheEnvironment) {
    ScopedEnv all("LC_ALL", "C");
    setMetricOverride(true);
    EXPECT_TRUE(userMeasuresInMetric());
    setMetricOverride(false);
    EXPECT_FALSE(userMeasuresInMetric());
    setMetricOverride(std::nullopt);
#ifndef _WIN32
    // Windows answers from the regional settings, not from the environment.
    EXPECT_FALSE(userMeasuresInMetric());
#endif
}

#ifndef _WIN32
// The C library keeps the search path it builds from LOCPATH for good; what
// it allocates in this scope is not the layer's to free.
class LibraryAllocationsNotChecked {
public:
#ifdef TESSALY_LEAK_CHECKS
    LibraryAllocationsNotChecked() { __lsan_disable(); }
    ~LibraryAllocationsNotChecked() { __lsan_enable(); }
#endif
};

// Compiles a system locale into a scratch directory; false when the system
// has no locale sources or compiler.
bool compileLocale(const std::string& directory, const char* source, const char* name) {
    const std::string command = "localedef -i " + std::string(source) + " -f UTF-8 " + directory + "/" +
                                name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 || std::filesystem::exists(directory + "/" + name);
}

TEST(Measurement, GermanMeasuresInMetricAndAmericanDoesNot) {
    testing_support::ScratchDir scratch;
    ASSERT_TRUE(scratch.ok());
    if (!compileLocale(scratch.path(), "de_DE", "de_DE.UTF-8") ||
        !compileLocale(scratch.path(), "en_US", "en_US.UTF-8")) {
        GTEST_SKIP() << "no locale sources to compile";
    }
    ScopedEnv path("LOCPATH", scratch.path().c_str());
    [[maybe_unused]] LibraryAllocationsNotChecked libraryPaths;
    EXPECT_TRUE(localeMeasuresInMetric("de_DE.UTF-8"));
    EXPECT_FALSE(localeMeasuresInMetric("en_US.UTF-8"));

    // LC_ALL comes before LC_MEASUREMENT, which comes before LANG.
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv measurement("LC_MEASUREMENT", "de_DE.UTF-8");
    ScopedEnv lang("LANG", "en_US.UTF-8");
    EXPECT_TRUE(userMeasuresInMetric());
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_FALSE(userMeasuresInMetric());
}

#endif  // !_WIN32

}  // namespace
}  // namespace tessaly
