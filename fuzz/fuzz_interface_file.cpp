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
#include "settings_scratch.h"

using namespace tessaly;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SettingsScratch scratch;
    scratch.write("interface/fuzz.interface", data, size);
    scratch.write("interface/default/fuzz.interface", data, size);

    JobSettings settings;
    settings.setBaseDirectory(scratch.base);
    const int loaded = settings.loadInterface("fuzz");
    InterfaceSettings& ui = settings.interfaceSettings;
    if (loaded != (ui.hasSource() ? 1 : 0)) __builtin_trap();
    if (ui.params.size() > InterfaceSettings::kMaxParams) __builtin_trap();
    std::string value;
    for (size_t i = 0; i < ui.params.size(); ++i) {
        if (settings.effectiveParamValue(i, value) && value.size() > 1023) __builtin_trap();
        // Results are not checked: the target only asks that every input is handled safely.
        (void)settings.setParamValue(i, "1,5");
        (void)settings.setParamValue(i, ui.params[i].name);
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
