#pragma once
// File access over the run-time library's streams (modes "rb", "wb", "w"),
// whole-file reads and writes, and a few file-system queries.
//
// Narrow paths go to the OS as their bytes; wide paths are UTF-16 and are
// converted to UTF-8 (see pathToUtf8). A path that cannot be converted, or
// that contains a zero character, makes the call fail like a missing file.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "support/format_check.h"
#include "support/memory.h"

namespace tessaly {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// An open stream; closed when it goes out of scope.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a stream; null on failure. Directories are not files: opening one fails.
FileHandle openFile(std::string_view path, const char* mode);
FileHandle openFile(std::u16string_view path, const char* mode);
// Closes the stream, flushing what is buffered; 1 on success, 0 when the
// stream was null or buffered data could not be written.
[[nodiscard]] int closeFile(FileHandle file);

// Writes all n bytes: n, 0 for n = 0, -1 on a failed write.
[[nodiscard]] int64_t writeAll(std::FILE* file, const void* bytes, size_t n);
// Reads until n bytes, end of file or error: the count, -1 on a read error.
[[nodiscard]] int64_t readUpTo(std::FILE* file, void* dest, size_t n);
// whence 0 (start), 1 (current), 2 (end); 0 on success, -1 on failure or an
// unknown whence.
[[nodiscard]] int seekFile(std::FILE* file, int64_t offset, int whence);
[[nodiscard]] int64_t tellFile(std::FILE* file);
[[nodiscard]] bool fileError(std::FILE* file);
[[nodiscard]] bool fileEof(std::FILE* file);
// Copies n bytes in chunks of 4096: n, or -1 on an error or an early end.
[[nodiscard]] int64_t copyBytes(std::FILE* from, std::FILE* to, int64_t n);

// printf-style output to a stream; the count written, negative on failure.
[[nodiscard]] int printToStream(std::FILE* file, const char* format, ...)
    TESSALY_PRINTF_FORMAT(2, 3);
// printf-style output to a new text file ("w"); 1 when something was written
// and the file was closed cleanly.
[[nodiscard]] int printToNewFile(std::string_view path, const char* format, ...)
    TESSALY_PRINTF_FORMAT(2, 3);

// Writes the whole file ("wb"); 1 on success.
[[nodiscard]] int writeWholeFile(std::string_view path, const void* bytes, size_t n);
[[nodiscard]] int writeWholeFile(std::u16string_view path, const void* bytes, size_t n);
// Reads up to n bytes from the start of the file: the count, -1 when it
// cannot be opened or read.
[[nodiscard]] int64_t readFileHead(std::string_view path, void* dest, size_t n);

// Why a whole-file read failed.
enum class FileReadFailure {
    none,
    cannotOpen,   // missing, not permitted, or a directory
    notAFile,     // cannot be measured: a pipe, a device
    tooLarge,     // longer than the caller's limit
    outOfMemory,
    readError,    // the read failed or the file changed length meanwhile
};
// A short text for messages: "cannot open", "too large", ...
const char* fileReadFailureText(FileReadFailure failure) noexcept;

// No limit on the length of a file read whole.
inline constexpr uint64_t kAnyFileLength = UINT64_MAX;

// Reads the whole file into `out`: a new block of its length, followed by one
// zero byte that the length does not count (text can be parsed in place). A
// file longer than maxBytes is refused before anything is allocated. 1 on
// success; 0 on failure, with out empty and the reason in *why when given.
[[nodiscard]] int readWholeFile(std::string_view path, SizedBlock& out,
                                uint64_t maxBytes = kAnyFileLength, FileReadFailure* why = nullptr);
#ifndef TESSALY_SUPPORT_DRIVER
[[nodiscard]] int readWholeFile(std::u16string_view path, SizedBlock& out,
                                uint64_t maxBytes = kAnyFileLength, FileReadFailure* why = nullptr);
#endif

// Size in bytes; -1 when the file cannot be opened or measured.
[[nodiscard]] int64_t fileSize(std::string_view path);
// True when the file can be opened "rb".
[[nodiscard]] bool fileExists(std::string_view path);
[[nodiscard]] bool fileExists(std::u16string_view path);

// Deletes a file / removes an empty directory; 1 on success.
[[nodiscard]] int deleteFile(std::u16string_view path);
[[nodiscard]] int removeDirectory(std::u16string_view path);
// True when the directory can be searched.
[[nodiscard]] bool directoryExists(std::u16string_view path);

#ifndef TESSALY_SUPPORT_DRIVER
// Reads the whole file into dest and appends a zero byte: the length, -2 when
// length + 1 exceeds capacity (dest is left untouched), -1 on failure.
[[nodiscard]] int64_t readWholeFileInto(std::u16string_view path, void* dest, size_t capacity);
// Copies a file, replacing an existing target; 1 on success. Copying a file
// onto itself fails and leaves it intact.
[[nodiscard]] int copyFile(std::u16string_view from, std::u16string_view to);
// The space available to the caller on the directory's file system, in
// megabytes (bytes >> 20); -1 on failure.
[[nodiscard]] int64_t freeDiskSpaceMB(std::u16string_view directory);
#endif

#ifdef TESSALY_SUPPORT_DRIVER
// Creates one directory; 1 on success.
[[nodiscard]] int makeDirectory(std::string_view path);
// Deletes a file; 1 on success.
[[nodiscard]] int deleteFile(std::string_view path);
#endif

}  // namespace tessaly
