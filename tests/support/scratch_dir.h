#pragma once
// A fresh directory per test, removed with everything in it afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tessaly::testing_support {

class ScratchDir {
public:
    ScratchDir() {
#ifdef _WIN32
        // No mkdtemp here: a fresh random name, made only when it is new.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%08x", unsigned(random()));
            const std::string candidate = ::testing::TempDir() + "tessaly-" + suffix;
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
        }
#else
        std::string pattern = ::testing::TempDir() + "tessaly-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
#endif
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes a file with the given bytes below the scratch directory.
    std::string put(const std::string& name, const std::string& bytes) const {
        const std::string full = *this / name;
        std::ofstream(full, std::ios::binary) << bytes;
        return full;
    }
    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return put(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::string path_;
};

inline std::u16string wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tessaly::testing_support
