#pragma once
// Turning path arguments into the zero-terminated UTF-8 text the OS takes.

#include <optional>
#include <string>
#include <string_view>

#include "support/paths.h"

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

}  // namespace tessaly::detail
