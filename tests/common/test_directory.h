#pragma once
// A scratch directory of the running test's own, under the temporary folder:
// named after the prefix, this process and the test, emptied when a run
// before left it behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace tessaly::testing {

inline std::filesystem::path freshTestDirectory(std::string_view prefix) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (std::string(prefix) + std::to_string(::getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return dir;
}

}  // namespace tessaly::testing
