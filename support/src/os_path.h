#pragma once
// Turning path arguments into the zero-terminated text the OS takes: UTF-8
// on POSIX systems, UTF-16 on Windows (through osWide below).

#include <optional>
#include <string>
#include <string_view>

#include "support/paths.h"

#ifdef _WIN32
#include <cstdio>
#endif

namespace tessaly::detail {

// A narrow path as it is; nullopt when it holds a zero byte (the OS would
// silently cut it there).
inline std::optional<std::string> osPath(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

// A wide path in UTF-8; nullopt for an unpaired surrogate or a zero character.
inline std::optional<std::string> osPath(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return pathToUtf8(path);
}

#ifdef _WIN32
// The UTF-8 path as the wide text of the system's calls. Bytes that are not
// UTF-8 become U+FFFD and so name no existing file.
inline std::wstring osWide(std::string_view utf8) {
    const std::u16string wide = pathFromUtf8(utf8);
    return std::wstring(wide.begin(), wide.end());
}

// fopen with a UTF-8 path ("x" in the mode is not understood by every C
// run-time of Windows and is refused).
inline std::FILE* osOpen(const std::string& path, const char* mode) {
    std::wstring wideMode;
    for (const char* p = mode; *p; ++p) {
        if (*p == 'x') return nullptr;
        wideMode += wchar_t(*p);
    }
    return ::_wfopen(osWide(path).c_str(), wideMode.c_str());
}
#endif

}  // namespace tessaly::detail
