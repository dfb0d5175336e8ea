#pragma once
// What the application's tests need from the system on both platforms:
// setenv and getpid, and a value store of their own (a directory here, a key
// under HKEY_CURRENT_USER on Windows).

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <process.h>

#include "../platform/windows_support.h"

inline int getpid() { return ::_getpid(); }
#else
#include <unistd.h>
#endif

namespace tessaly::testing_support {

// An empty value store root for the scratch path: the path itself, or on
// Windows a key named after its last part (emptied first, as a key of an
// earlier run may have the same name).
inline std::string emptyRegistryRoot(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::string key = "Software\\Tessaly Tests\\" + path.parent_path().filename().string() + "-" +
                            path.filename().string();
    (void)::RegDeleteTreeW(HKEY_CURRENT_USER, wideKey(key).c_str());
    return key;
#else
    return path.string();
#endif
}

}  // namespace tessaly::testing_support
