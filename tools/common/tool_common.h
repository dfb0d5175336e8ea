#pragma once
// What the command-line tools share: where the program and its data
// directory are, and converting a job directory into a finished movie.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tessaly::tools {

// The directory of the running program ("." when it cannot be found).
std::filesystem::path programDirectory();

// The data directory that belongs to this program: the repository's data/
// when it runs from the build tree, else the installed one. Ends in "/".
std::string defaultBaseDirectory();

// What the conversion tells of a movie besides its file.
struct ConvertedMovie {
    double docWidth = 0, docHeight = 0;  // movie pixels
    uint32_t backgroundColor = 0xFFFFFF;
    unsigned version = 5;
};

// Converts a job directory into the finished movie at output: the conversion
// into output + ".part", then the finishing step into output, which is
// replaced only when everything succeeded. An empty base directory means
// defaultBaseDirectory(). 1, or 0 with the file concerned in *failedPath and
// the reason in *reason. The mechanics bits in leaveOut are cleared from the
// job's settings before converting (a job printed with page rasters for
// reference converts without the preview clips they would make). The
// conversion advances pageCounter, when given, page by page; *movie, when
// given, receives the movie's size, background colour and version.
[[nodiscard]] int convertJobToMovie(const std::string& jobDir, const std::string& output, const std::string& base,
                                    std::string* failedPath, std::string* reason, uint32_t leaveOut = 0,
                                    std::atomic<uint32_t>* pageCounter = nullptr,
                                    ConvertedMovie* movie = nullptr);

}  // namespace tessaly::tools
