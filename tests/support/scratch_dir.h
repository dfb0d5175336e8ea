#pragma once
// A fresh directory per test, removed with everything in it afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tessaly::testing_support {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = ::testing::TempDir() + "tessaly-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
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
