#include "support/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "os_path.h"
#endif

namespace tessaly {

namespace {

// A new file for writing; null when it exists already (errno EEXIST) or
// cannot be made.
std::FILE* createNewFile(const std::filesystem::path& path) {
#ifdef _WIN32
    // Not every C run-time of Windows knows fopen's "x".
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = ::_fdopen(fd, "wb");
    if (!f) ::_close(fd);
    return f;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace

int writeFileAtomically(std::string_view path,
                        std::initializer_list<std::span<const uint8_t>> parts) {
    namespace fs = std::filesystem;
    std::error_code ec;
#ifdef _WIN32
    const fs::path target{detail::osWide(path)};
#else
    const fs::path target{std::string(path)};
#endif
    std::random_device rd;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(rd()));
        fs::path temp = target;
        temp += suffix;
        std::FILE* f = createNewFile(temp);  // never reuses an existing file
        if (!f) {
            if (errno == EEXIST) continue;
            return 0;
        }
        bool ok = true;
        for (const auto& part : parts) {
            if (!part.empty() && std::fwrite(part.data(), 1, part.size(), f) != part.size()) ok = false;
        }
        ok = std::fflush(f) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        if (ok) {
            const fs::perms perms = fs::status(target, ec).permissions();
            if (!ec && perms != fs::perms::unknown) fs::permissions(temp, perms, ec);
            ec.clear();
            fs::rename(temp, target, ec);
            ok = !ec;
        }
        if (!ok) fs::remove(temp, ec);
        return ok ? 1 : 0;
    }
    return 0;
}

}  // namespace tessaly
