// Arbitrary bytes as a job's media.settings (read from a file, as the
// conversion does), then written out and read again; the same bytes also
// stand in for the global settings file when a page layout is looked up.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "composer/settings.h"
#include "settings_scratch.h"
#include "support/paths.h"

using namespace tessaly;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SettingsScratch scratch;
    scratch.write("media.settings", data, size);
    scratch.write("Tessaly.settings", data, size);

    JobSettings settings;
    settings.setBaseDirectory(scratch.base);
    if (settings.loadSettings("media.settings")) {
        settings.mergeInterfaceMechanics();
        settings.normalizeMechanics();
        const uint32_t mechanics = settings.mechanics;
        std::string value;
        for (size_t i = 0; i < settings.interfaceSettings.params.size(); ++i) {
            settings.effectiveParamValue(i, value);
        }
        // What the writer makes of it must read back with the same mechanics.
        const std::string written = writeSettings(settings);
        JobSettings again;
        again.setBaseDirectory(scratch.base);
        // Results are not checked: the target only asks that every input is handled safely.
        (void)again.reset();
        // The writer keeps only the file name of the interface movie, which
        // is found again when it lies in the interface directory.
        const std::string& source = settings.interfaceSettings.source;
        const bool findable = !settings.interfaceSettings.hasSource() ||
                              directoryPart(source).value_or("") == scratch.base + "interface/";
        const int read = again.readSettingsText(written);
        if (findable && (!read || again.mechanics != mechanics)) __builtin_trap();
    } else if (settings.errorText.empty()) {
        __builtin_trap();
    }
    std::string layout;
    (void)settings.pageLayout(settings.layoutNameText(), layout);
    (void)settings.pageLayout("Medium border", layout);
    return 0;
}
