#pragma once
// UTF-8 names from the installer, UTF-16 for the system's wide calls.

#include <windows.h>

#include <cstdint>
#include <string>

namespace tessaly::spooler::win32 {

// False for text that is not UTF-8.
inline bool toUtf16(const std::string& text, std::wstring* out) {
    out->clear();
    if (text.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               out->data(), n) == n;
}

inline std::string toUtf8(const wchar_t* text) {
    if (!text || !*text) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// A path for the file calls: "/" as the system writes it, "\".
inline bool toSystemPath(const std::string& path, std::wstring* out) {
    if (!toUtf16(path, out)) return false;
    for (wchar_t& c : *out)
        if (c == L'/') c = L'\\';
    return true;
}

// The last error of a failed call, never 0 (a call that failed without
// setting one still failed).
inline uint32_t lastError() {
    const DWORD code = GetLastError();
    return code ? static_cast<uint32_t>(code) : 31u;  // ERROR_GEN_FAILURE
}

}  // namespace tessaly::spooler::win32
