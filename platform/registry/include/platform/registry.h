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

// One root directory of values. Cheap to create; holds no open files.
class ValueStore {
public:
    // The store at the root that the installation and the environment name.
    ValueStore();
    explicit ValueStore(std::string root);

    // TESSALY_REGISTRY_ROOT when set and not empty, else the installation's root.
    static std::string configuredRoot();
    const std::string& root() const { return root_; }

    // The file that holds a value; empty when the name is empty or too long
    // (its encoded form must stay below 240 bytes).
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

private:
    std::string root_;
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
