#pragma once
// Movies saved into a folder without asking: the headless monitor keeps each
// finished movie in one folder, named after the printed document's title.
// The title comes from the printing application and is not trusted: the
// name made from it never leaves the folder and never replaces a file.

#include <string>
#include <string_view>

namespace tessaly::app {

// A file name (without ".swf") made from a document title: separators and
// control characters become "_", leading dots and blanks and trailing dots
// and blanks go, a document extension (".pdf", ".txt", ...) is dropped, the
// length is limited to 200 bytes (at a character boundary); "Untitled" when
// nothing is left.
std::string movieNameForTitle(std::string_view title);

// Copies the movie into the folder (created when missing) as
// "<name>.swf", or "<name> (2).swf" and so on when that exists; the new file
// is created exclusively, so instances saving at once never share a name.
// 1 with the path in *savedPath, 0 when the folder or file cannot be made.
[[nodiscard]] int saveMovieToFolder(const std::string& moviePath, const std::string& folder, std::string_view title,
                                    std::string* savedPath);

}  // namespace tessaly::app
