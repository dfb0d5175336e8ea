// Arbitrary bytes as an .interface file, loaded by name from the interface
// directory (under the interface mutex) and as the factory file; every
// parameter's effective value is taken and a few values are set.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "composer/settings.h"

using namespace tessaly;

namespace {

struct Scratch {
    std::string base;

    Scratch() {
        char pattern[] = "/tmp/fuzz-interface-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        base = std::string(pattern) + "/";
        std::filesystem::create_directories(base + "interface/default");
        std::FILE* f = std::fopen((base + "interface/viewer.swf").c_str(), "wb");
        if (!f) std::abort();
        std::fclose(f);
        ::setenv("TESSALY_REGISTRY_ROOT", (base + "registry").c_str(), 1);
        ::setenv("TESSALY_RUNTIME_DIR", (base + "run").c_str(), 1);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(base, ignored);
    }
};

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    writeFile(scratch.base + "interface/fuzz.interface", data, size);
    writeFile(scratch.base + "interface/default/fuzz.interface", data, size);

    JobSettings settings;
    settings.setBaseDirectory(scratch.base);
    const int loaded = settings.loadInterface("fuzz");
    InterfaceSettings& ui = settings.interfaceSettings;
    if (loaded != (ui.hasSource() ? 1 : 0)) __builtin_trap();
    if (ui.params.size() > InterfaceSettings::kMaxParams) __builtin_trap();
    std::string value;
    for (size_t i = 0; i < ui.params.size(); ++i) {
        if (settings.effectiveParamValue(i, value) && value.size() > 1023) __builtin_trap();
        settings.setParamValue(i, "1,5");
        settings.setParamValue(i, ui.params[i].name);
        settings.effectiveParamValue(i, value);
    }
    settings.mergeInterfaceMechanics();
    settings.normalizeMechanics();
    writeSettings(settings);

    // The factory file replaces the interface only when it reads.
    const size_t before = ui.params.size();
    if (!settings.loadDefaultInterface("fuzz") && ui.params.size() != before) __builtin_trap();
    return 0;
}
