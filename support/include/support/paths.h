#pragma once
// Path text helpers. Inside the system paths use "/" as separator; text that
// arrives with Windows-style backslashes is accepted by every helper here,
// which treats both "/" and "\" as separators.
//
// File-system paths on Linux are UTF-8. Narrow paths are handed to the OS as
// their bytes; wide (UTF-16) paths are converted to UTF-8 first.

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Every "\" becomes "/", in place.
void backslashesToSlashes(std::string& path);
void backslashesToSlashes(std::u16string& path);

// Every "\" or "/" becomes "/", and a separator directly after another one is
// dropped: "C:\\a\\\\b/" becomes "C:/a/b/".
void normaliseSeparators(std::string& path);

// True when the path starts with a separator, or (from 4 characters on) with a
// drive letter, ":" and a separator.
[[nodiscard]] bool isAbsolutePath(std::string_view path);
[[nodiscard]] bool isAbsolutePath(std::u16string_view path);

// The text up to and including the last separator; nullopt when there is none.
std::optional<std::string> directoryPart(std::string_view path);
std::optional<std::u16string> directoryPart(std::u16string_view path);

// The text after the last separator, or the whole text when there is none.
std::string_view fileNamePart(std::string_view path);
std::u16string_view fileNamePart(std::u16string_view path);

// Appends `separator` unless the text already ends with it.
void appendSeparator(std::string& path, char separator = '/');
void appendSeparator(std::u16string& path, char16_t separator = u'/');

// UTF-16 to UTF-8 for handing a wide path to the OS. Surrogate pairs become
// one 4-byte sequence; an unpaired surrogate makes the conversion fail.
std::optional<std::string> pathToUtf8(std::u16string_view path);
// UTF-8 from the OS to UTF-16. Bytes that are not valid UTF-8 become U+FFFD.
std::u16string pathFromUtf8(std::string_view path);

}  // namespace tessaly
