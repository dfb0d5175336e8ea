#pragma once
// The value store that stands in for the registry key
// HKEY_LOCAL_MACHINE "SOFTWARE\Korvane\Tessaly".
//
// Every value is one file under a root directory, written atomically (a fresh
// file beside it renamed over the old one), so a reader sees either the old
// value or the new one. The root is the installation's (the CMake setting
// TESSALY_REGISTRY_DEFAULT_ROOT, /var/lib/tessaly/registry unless configured
// otherwise); the environment variable TESSALY_REGISTRY_ROOT overrides it.
//
// Value names are matched ignoring case, as the registry does: the file name
// is the lower-cased name with every byte outside [a-z0-9_-] written as %XX,
// so no name can reach outside the root.
//
// The user's layer. The installation writes the root as the administrator;
// an ordinary user cannot write it afterwards, yet the application keeps its
// preferences and the automatic-printing hand-over in the same values. So a
// process that cannot write an existing root (the administrator never can
// fail to) gets the user's layer over it when it takes the configured store:
//   - reads look in the user's layer first, then in the root;
//   - writes go to the user's layer, which is created (mode 0700) on the
//     first write;
//   - deleting removes the value from the user's layer and, when the root
//     still holds it, leaves a deletion mark "<file name>~deleted" in the
//     layer (no encoded name holds '~'), so the value reads as absent from
//     then on; writing the value again removes the mark.
// The layer lives in TESSALY_REGISTRY_USER_ROOT when that is set and not
// empty, else in $XDG_CONFIG_HOME/tessaly/registry, else in
// $HOME/.config/tessaly/registry (the home directory from the password
// database when HOME is unset). A user with no layer directory to write gets
// kRegistryAccessDenied from writes and deletes; reads still see the root.
// When the root is writable (the installation, or a test's own root) the
// store is the root alone, exactly as without layers.
//
// On Windows the store is the registry itself. A root is a key path, the
// installation's being HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Tessaly; a path may
// begin with its hive (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or HKCU)
// and lies under HKEY_CURRENT_USER without one, so TESSALY_REGISTRY_ROOT can
// give tests a key of their own that needs no administrator rights. "/"
// separates keys as "\" does. Values are REG_DWORD and REG_SZ, names are the
// registry's (matched ignoring case by the registry) within the same length
// limit, and valuePath() gives the key path and the value name. The user's
// layer is the key TESSALY_REGISTRY_USER_ROOT names, else
// HKEY_CURRENT_USER\Software\Korvane\Tessaly; the configured store takes it
// when the installation's key exists and the process may not write it (the
// system's own per-user copy of the key serves 32-bit programs only).
// Deletion marks are values of the layer's subkey "~deleted"; copyValuesTo()
// takes a key path.
//
// Results follow the registry's helpers: 0 on success, otherwise an error
// code with the value of the matching Windows system error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

inline constexpr int kRegistryOk = 0;
inline constexpr int kRegistryNotFound = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr int kRegistryAccessDenied = 5;        // ERROR_ACCESS_DENIED
inline constexpr int kRegistryInvalidData = 13;        // ERROR_INVALID_DATA
inline constexpr int kRegistryWriteFault = 29;         // ERROR_WRITE_FAULT
inline constexpr int kRegistryInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
inline constexpr int kRegistryMoreData = 234;          // ERROR_MORE_DATA
inline constexpr int kRegistryUnsupportedType = 1630;  // ERROR_UNSUPPORTED_TYPE

enum class RegistryType { Dword, String };

// One root directory of values, with the user's layer over it when the
// store is layered. Cheap to create; holds no open files.
class ValueStore {
public:
    // The configured store: the root that the installation and the
    // environment name, layered for a user who cannot write it.
    ValueStore();
    // The root alone, never layered.
    explicit ValueStore(std::string root);
    // The root with the layer `userRoot` over it, whoever the caller is; an
    // empty userRoot is a layer that cannot be written.
    ValueStore(std::string root, std::string userRoot);
    // The same as the default construction, for call sites that say so.
    static ValueStore configured() { return ValueStore(); }

    // TESSALY_REGISTRY_ROOT when set and not empty, else the installation's root.
    static std::string configuredRoot();
    // Where the calling user's layer lives (see above); empty when neither
    // the environment nor the password database names a home directory.
    static std::string configuredUserRoot();
    const std::string& root() const { return root_; }
    bool layered() const { return layered_; }
    const std::string& userRoot() const { return userRoot_; }

    // The file a value is written to: in the user's layer when the store is
    // layered, else in the root. Empty when the name is empty or too long
    // (its encoded form must stay below 240 bytes) or there is no layer
    // directory.
    std::string valuePath(std::string_view name) const;

    // kRegistryNotFound when absent, kRegistryUnsupportedType when the value
    // has the other type, kRegistryInvalidData when the file is damaged.
    int type(std::string_view name, RegistryType* out) const;
    int readDword(std::string_view name, uint32_t* out) const;
    int readString(std::string_view name, std::u16string* out) const;

    // Writing creates the root when it is missing. A string ends at its first
    // zero unit; it must be valid UTF-16 (no unpaired surrogates).
    [[nodiscard]] int writeDword(std::string_view name, uint32_t value);
    [[nodiscard]] int writeString(std::string_view name, std::u16string_view value);
    // kRegistryNotFound when there was no such value.
    [[nodiscard]] int deleteValue(std::string_view name);

    // Writes every value this store shows (the root's values, overridden by
    // the user's, without the deleted ones) into the plain root `dir`, which
    // is created when missing. Values that cannot be read are left out.
    [[nodiscard]] int copyValuesTo(const std::string& dir) const;

private:
    // Writes a value file where the store writes: the root, or the layer.
    int writeValue(std::string_view name, std::string_view bytes);

    std::string root_;
    std::string userRoot_;
    bool layered_ = false;
};

// The helpers the settings, the application and the driver use on the key,
// on the configured store. Buffers are sized in bytes like the registry's:
// a value that does not fit with its terminator gives kRegistryMoreData and
// leaves an empty (terminated) buffer.
[[nodiscard]] int registryReadDword(const char* name, uint32_t* out);
// The string in the ANSI code page: characters above U+00FF become '?'.
[[nodiscard]] int registryReadString(const char* name, char* dest, size_t destBytes);
[[nodiscard]] int registryReadWideString(const char* name, char16_t* dest, size_t destBytes);
[[nodiscard]] int registryWriteWideString(const char* name, const char16_t* value);
[[nodiscard]] int registryWriteDword(const char* name, uint32_t value);
[[nodiscard]] int registryDeleteValue(const char* name);

}  // namespace tessaly
