#pragma once
// The values an installation puts into the value store: where the data and
// the spool directory are, whether every user has a spool directory of their
// own, the viewer interface movies get, and the printer's paper defaults.
//
// The paths and the spool rule belong to the installation and are written
// every time; the defaults are a starting point that an administrator may
// change, so a later run (an upgrade) keeps the ones that are there unless
// told to overwrite them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class ValueStore;

struct InstallValues {
    std::string basePath;                          // the data directory
    std::string spoolPath = "/var/spool/tessaly/";  // the spool root
    bool spoolPerUser = true;
    std::string interfaceName = "Viewer";
    // A row of the driver's paper table: its full name or its first word
    // ("A4", "letter"), case ignored.
    std::string paperName = "Letter";
    uint32_t dpi = 300;
};

// The names of every value the installation writes (and removal deletes).
const std::vector<std::string_view>& installValueNames();

// The paper table row of a name (full name or first word, case ignored);
// -1 when there is none.
int paperRow(std::string_view name);

// Writes the values (paths end in '/'; backslashes become '/'). 1, or 0
// with the first failure in *error (nothing is guessed: an unknown paper, a
// resolution outside 1..32767 or a relative path refuses the whole run before
// anything is written).
[[nodiscard]] int writeInstallValues(ValueStore& store, const InstallValues& values, bool overwriteDefaults,
                                     std::string* error);

// Deletes every value of installValueNames(); values that are not there are
// no failure. 1, or 0 with the first failure in *error.
[[nodiscard]] int removeInstallValues(ValueStore& store, std::string* error);

// Creates the spool root (and its parents) when missing and sets its mode:
// with a directory per user, 01733 (users may add their own directory but
// cannot list or remove the others'), else 01777 (everyone's jobs side by
// side). A symbolic link or a file in its place is refused. 1, or 0 with the
// reason in *error.
[[nodiscard]] int prepareSpoolRoot(const std::string& path, bool perUser, std::string* error);

}  // namespace tessaly
