#pragma once
// The build installed where every user can reach it. Tests that run the
// programs as another user cannot use the build tree itself: it may lie
// under a home directory nobody else may enter (/root/...). The first call
// installs the build with `cmake --install` into a staging directory under
// the temporary folder that everyone can read; it is removed when the
// process ends. Needs TESSALY_CMAKE_COMMAND, TESSALY_BUILD_DIR and
// TESSALY_INSTALL_PREFIX.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "child_process.h"

namespace tessaly::testing {

struct ReachableInstall {
    std::filesystem::path bin;   // the programs
    std::filesystem::path data;  // the data directory (BasePath), with its '/'
    std::string error;           // why there is none, when bin is empty
};

inline const ReachableInstall& reachableInstall() {
    namespace fs = std::filesystem;
    struct Staging {
        fs::path root;
        ReachableInstall install;
        Staging() {
            std::string pattern = (fs::temp_directory_path() / "tessaly-reachable-XXXXXX").string();
            if (!::mkdtemp(pattern.data())) {
                install.error = "cannot make a staging directory";
                return;
            }
            root = pattern;
            ::chmod(root.c_str(), 0755);
            const fs::path log = root / "install.log";
            const std::string command = "DESTDIR='" + root.string() + "' '" + TESSALY_CMAKE_COMMAND + "' --install '" +
                                        TESSALY_BUILD_DIR + "' > '" + log.string() + "' 2>&1";
            if (std::system(command.c_str()) != 0) {
                install.error = "cmake --install failed: " + slurp(log);
                return;
            }
            const fs::path prefix = root / fs::path(TESSALY_INSTALL_PREFIX).relative_path();
            install.bin = prefix / "bin";
            install.data = (prefix / "share/tessaly/").string();
        }
        ~Staging() {
            std::error_code ec;
            if (!root.empty()) fs::remove_all(root, ec);
        }
    };
    static const Staging staging;
    return staging.install;
}

}  // namespace tessaly::testing
