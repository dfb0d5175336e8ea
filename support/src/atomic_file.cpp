#include "support/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace tessaly {

int writeFileAtomically(std::string_view path,
                        std::initializer_list<std::span<const uint8_t>> parts) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target{std::string(path)};
    std::random_device rd;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(rd()));
        fs::path temp = target;
        temp += suffix;
        std::FILE* f = std::fopen(temp.c_str(), "wbx");  // never reuses an existing file
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
