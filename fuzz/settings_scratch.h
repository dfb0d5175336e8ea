#pragma once
// A scratch base directory for the settings fuzz targets: an interface
// directory (with its factory folder) holding an interface movie, and the
// registry and runtime directories pointed there, so that nothing outside it
// is read or written. Removed when the process ends.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

struct SettingsScratch {
    std::string base;

    SettingsScratch() {
        char pattern[] = "/tmp/fuzz-settings-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        base = std::string(pattern) + "/";
        std::filesystem::create_directories(base + "interface/default");
        std::FILE* f = std::fopen((base + "interface/viewer.swf").c_str(), "wb");
        if (!f) std::abort();
        std::fclose(f);
        ::setenv("TESSALY_REGISTRY_ROOT", (base + "registry").c_str(), 1);
        ::setenv("TESSALY_RUNTIME_DIR", (base + "run").c_str(), 1);
    }
    ~SettingsScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(base, ignored);
    }

    void write(const std::string& name, const uint8_t* data, size_t size) const {
        std::FILE* f = std::fopen((base + name).c_str(), "wb");
        if (!f) std::abort();
        if (size && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }
};
