#pragma once
// A fresh directory per test, removed with everything in it afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaly::testing_support {

// A UTF-8 path for the standard library's streams and file-system calls
// (Windows would read the bytes in the ANSI code page).
inline std::filesystem::path fsPath(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

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
        // Paths inside the system use "/" between names, as the results it
        // gives do.
        std::replace(path_.begin(), path_.end(), '\\', '/');
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
        std::ofstream(fsPath(full), std::ios::binary) << bytes;
        return full;
    }
    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return put(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::string path_;
};

// mkdir with the owner's rights only: 0 on success.
inline int makeDir(const std::string& path) {
#ifdef _WIN32
    std::error_code ec;
    return std::filesystem::create_directory(fsPath(path), ec) && !ec ? 0 : -1;
#else
    return ::mkdir(path.c_str(), 0700);
#endif
}

// rmdir: 0 on success.
inline int removeDir(const std::string& path) {
#ifdef _WIN32
    std::error_code ec;
    return std::filesystem::remove(fsPath(path), ec) && !ec ? 0 : -1;
#else
    return ::rmdir(path.c_str());
#endif
}

// A symbolic link at `link` to `target`: 0 on success, -1 where a program
// cannot make one (Windows without the privilege to, Wine).
inline int makeSymlink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    (void)target;
    (void)link;
    return -1;
#else
    return ::symlink(target.c_str(), link.c_str());
#endif
}

inline std::u16string wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

inline std::string slurp(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tessaly::testing_support
