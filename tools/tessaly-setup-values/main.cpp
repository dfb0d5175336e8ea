// tessaly-setup-values: puts an installation's values into the value store
// (the package's set-up runs it), shows them, or removes them again.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "install_values.h"
#include "platform/measurement.h"
#include "platform/registry.h"
#include "support/text.h"
#include "tool_common.h"

namespace {

constexpr const char* kUsage =
    "Usage: tessaly-setup-values [--base DIR] [--spool DIR] [--shared-spool]\n"
    "                            [--interface NAME] [--paper NAME] [--dpi N]\n"
    "                            [--overwrite] [--make-spool]\n"
    "       tessaly-setup-values --remove\n"
    "       tessaly-setup-values --show\n"
    "\n"
    "Writes the installation's values into the value store that stands in for\n"
    "the registry (TESSALY_REGISTRY_ROOT overrides its location):\n"
    "  BasePath        the data directory (--base; default: the installation's,\n"
    "                  ../share/tessaly/ from this program)\n"
    "  SpoolPath       the spool root (--spool; default: /var/spool/tessaly/)\n"
    "  SpoolPerUser    1: every user's jobs go into <SpoolPath><user>/, which\n"
    "                  only that user can enter; 0 with --shared-spool\n"
    "and the defaults, which a later run keeps unless --overwrite is given:\n"
    "  MSInterfaceName the viewer interface of new movies (--interface; Viewer)\n"
    "  SizeIndex, WidthMM1000, HeightMM1000  the printer's paper (--paper A4,\n"
    "                  Letter, ...; default: A4 where the locale measures in\n"
    "                  metric units, else Letter)\n"
    "  DPI             the printer's resolution (--dpi; 300)\n"
    "  CustomWidthMM1000, CustomHeightMM1000  the custom paper (4 x 6 inch)\n"
    "\n"
    "  --make-spool    also create the spool root with the mode its rule needs\n"
    "                  (01733 per user, 01777 shared)\n"
    "  --remove        delete every value listed above\n"
    "  --show          print the values that are there\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status 0 on success, 1 on failure (the reason on standard error),\n"
    "2 for a wrong command line.\n";

int usageError(const std::string& text) {
    std::fprintf(stderr, "tessaly-setup-values: %s\n%s", text.c_str(), kUsage);
    return 2;
}

void show(const tessaly::ValueStore& store) {
    for (const std::string_view name : tessaly::installValueNames()) {
        tessaly::RegistryType type;
        if (store.type(name, &type) != tessaly::kRegistryOk) continue;
        if (type == tessaly::RegistryType::Dword) {
            uint32_t value = 0;
            if (store.readDword(name, &value) == tessaly::kRegistryOk) {
                std::printf("%.*s=%u\n", int(name.size()), name.data(), value);
            }
        } else {
            std::u16string value;
            if (store.readString(name, &value) == tessaly::kRegistryOk) {
                std::printf("%.*s=%s\n", int(name.size()), name.data(), tessaly::toUtf8(value).c_str());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    tessaly::InstallValues values;
    values.basePath = tessaly::tools::defaultBaseDirectory();
    values.paperName = tessaly::userMeasuresInMetric() ? "A4" : "Letter";
    bool overwrite = false, makeSpool = false, remove = false, showOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--base" && hasValue) {
            values.basePath = argv[++i];
        } else if (arg == "--spool" && hasValue) {
            values.spoolPath = argv[++i];
        } else if (arg == "--shared-spool") {
            values.spoolPerUser = false;
        } else if (arg == "--interface" && hasValue) {
            values.interfaceName = argv[++i];
        } else if (arg == "--paper" && hasValue) {
            values.paperName = argv[++i];
        } else if (arg == "--dpi" && hasValue) {
            const std::string text = argv[++i];
            char* end = nullptr;
            errno = 0;
            const unsigned long dpi = std::strtoul(text.c_str(), &end, 10);
            if (text.empty() || *end || errno || text.front() == '-' || dpi > 32767) {
                return usageError("not a resolution: " + text);
            }
            values.dpi = uint32_t(dpi);
        } else if (arg == "--overwrite") {
            overwrite = true;
        } else if (arg == "--make-spool") {
            makeSpool = true;
        } else if (arg == "--remove") {
            remove = true;
        } else if (arg == "--show") {
            showOnly = true;
        } else {
            return usageError("unknown argument: " + std::string(arg));
        }
    }
    if (remove && showOnly) return usageError("--remove and --show exclude each other");

    // The installation's values themselves, never a user's layer over them:
    // someone who cannot write them is told so rather than given a private
    // copy that no other user or the print server would see.
    tessaly::ValueStore store(tessaly::ValueStore::configuredRoot());
    std::string error;
    if (showOnly) {
        show(store);
        return 0;
    }
    if (remove) {
        if (!tessaly::removeInstallValues(store, &error)) {
            std::fprintf(stderr, "tessaly-setup-values: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (makeSpool && !tessaly::prepareSpoolRoot(values.spoolPath, values.spoolPerUser, &error)) {
        std::fprintf(stderr, "tessaly-setup-values: %s\n", error.c_str());
        return 1;
    }
    if (!tessaly::writeInstallValues(store, values, overwrite, &error)) {
        std::fprintf(stderr, "tessaly-setup-values: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
