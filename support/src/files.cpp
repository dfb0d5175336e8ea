#include "support/files.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "os_path.h"

namespace tessaly {

namespace {

constexpr size_t kCopyChunk = 4096;

// The status of an open stream, with 64-bit sizes on every system.
#ifdef _WIN32
using OsStat = struct _stat64;
int statStream(std::FILE* file, OsStat& info) { return ::_fstat64(::_fileno(file), &info); }
#else
using OsStat = struct stat;
int statStream(std::FILE* file, OsStat& info) { return ::fstat(::fileno(file), &info); }
#endif

FileHandle openOsPath(const std::optional<std::string>& path, const char* mode) {
    if (!path || !mode) return nullptr;
#ifdef _WIN32
    FileHandle file(detail::osOpen(*path, mode));
#else
    FileHandle file(std::fopen(path->c_str(), mode));
#endif
    if (!file) return nullptr;
    OsStat info {};
    if (statStream(file.get(), info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

// The length of an open regular file, -1 when it cannot be measured.
int64_t streamLength(std::FILE* file) {
    OsStat info {};
    if (statStream(file, info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return int64_t(info.st_size);
}

// Reads the whole stream into `out` with a zero byte after it.
int readStream(std::FILE* file, SizedBlock& out, uint64_t maxBytes, FileReadFailure* why) {
    auto fail = [&](FileReadFailure failure) {
        out = {};
        if (why) *why = failure;
        return 0;
    };
    if (!file) return fail(FileReadFailure::cannotOpen);
    const int64_t length = streamLength(file);
    if (length < 0) return fail(FileReadFailure::notAFile);
    if (uint64_t(length) > maxBytes || uint64_t(length) >= std::numeric_limits<size_t>::max()) {
        return fail(FileReadFailure::tooLarge);
    }
    const auto n = size_t(length);
    HeapBlock block(static_cast<uint8_t*>(allocateMemory(n + 1)));
    if (!block) return fail(FileReadFailure::outOfMemory);
    if (readUpTo(file, block.get(), n) != int64_t(n)) return fail(FileReadFailure::readError);
    block[n] = 0;
    out = {std::move(block), n};
    if (why) *why = FileReadFailure::none;
    return 1;
}

int writeWholeOsPath(const std::optional<std::string>& path, const void* bytes, size_t n) {
    FileHandle file = openOsPath(path, "wb");
    if (!file) return 0;
    if (writeAll(file.get(), bytes, n) < 0) return 0;
    return closeFile(std::move(file));
}

}  // namespace

FileHandle openFile(std::string_view path, const char* mode) {
    return openOsPath(detail::osPath(path), mode);
}

FileHandle openFile(std::u16string_view path, const char* mode) {
    return openOsPath(detail::osPath(path), mode);
}

int closeFile(FileHandle file) {
    if (!file) return 0;
    return std::fclose(file.release()) == 0 ? 1 : 0;
}

int64_t writeAll(std::FILE* file, const void* bytes, size_t n) {
    if (n == 0) return 0;
    if (!file || !bytes) return -1;
    const auto* p = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < n) {
        const size_t wrote = std::fwrite(p + done, 1, n - done, file);
        if (wrote == 0) return -1;
        done += wrote;
    }
    return int64_t(n);
}

int64_t readUpTo(std::FILE* file, void* dest, size_t n) {
    if (n == 0) return 0;
    if (!file || !dest) return -1;
    auto* p = static_cast<uint8_t*>(dest);
    size_t done = 0;
    while (done < n) {
        const size_t got = std::fread(p + done, 1, n - done, file);
        if (got == 0) {
            if (std::ferror(file)) return -1;
            break;
        }
        done += got;
    }
    return int64_t(done);
}

int seekFile(std::FILE* file, int64_t offset, int whence) {
    if (!file) return -1;
    int origin;
    switch (whence) {
        case 0: origin = SEEK_SET; break;
        case 1: origin = SEEK_CUR; break;
        case 2: origin = SEEK_END; break;
        default: return -1;
    }
#ifdef _WIN32
    return ::_fseeki64(file, offset, origin) == 0 ? 0 : -1;
#else
    return ::fseeko(file, off_t(offset), origin) == 0 ? 0 : -1;
#endif
}

#ifdef _WIN32
int64_t tellFile(std::FILE* file) { return file ? int64_t(::_ftelli64(file)) : -1; }
#else
int64_t tellFile(std::FILE* file) { return file ? int64_t(::ftello(file)) : -1; }
#endif

bool fileError(std::FILE* file) { return file && std::ferror(file) != 0; }

bool fileEof(std::FILE* file) { return file && std::feof(file) != 0; }

int64_t copyBytes(std::FILE* from, std::FILE* to, int64_t n) {
    if (n < 0 || !from || !to) return -1;
    uint8_t chunk[kCopyChunk];
    int64_t left = n;
    while (left > 0) {
        const size_t want = left < int64_t(kCopyChunk) ? size_t(left) : kCopyChunk;
        if (readUpTo(from, chunk, want) != int64_t(want)) return -1;
        if (writeAll(to, chunk, want) != int64_t(want)) return -1;
        left -= int64_t(want);
    }
    return n;
}

int printToStream(std::FILE* file, const char* format, ...) {
    if (!file || !format) return -1;
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(file, format, args);
    va_end(args);
    return n;
}

int printToNewFile(std::string_view path, const char* format, ...) {
    if (!format) return 0;
    FileHandle file = openOsPath(detail::osPath(path), "w");
    if (!file) return 0;
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(file.get(), format, args);
    va_end(args);
    const int closed = closeFile(std::move(file));
    return n > 0 && closed ? 1 : 0;
}

int writeWholeFile(std::string_view path, const void* bytes, size_t n) {
    return writeWholeOsPath(detail::osPath(path), bytes, n);
}

int writeWholeFile(std::u16string_view path, const void* bytes, size_t n) {
    return writeWholeOsPath(detail::osPath(path), bytes, n);
}

int64_t readFileHead(std::string_view path, void* dest, size_t n) {
    FileHandle file = openFile(path, "rb");
    if (!file) return -1;
    return readUpTo(file.get(), dest, n);
}

const char* fileReadFailureText(FileReadFailure failure) noexcept {
    switch (failure) {
        case FileReadFailure::none: return "no failure";
        case FileReadFailure::cannotOpen: return "cannot open";
        case FileReadFailure::notAFile: return "not a regular file";
        case FileReadFailure::tooLarge: return "too large";
        case FileReadFailure::outOfMemory: return "out of memory";
        case FileReadFailure::readError: return "read error";
    }
    return "unknown failure";
}

int readWholeFile(std::string_view path, SizedBlock& out, uint64_t maxBytes, FileReadFailure* why) {
    return readStream(openFile(path, "rb").get(), out, maxBytes, why);
}

#ifndef TESSALY_SUPPORT_DRIVER
int readWholeFile(std::u16string_view path, SizedBlock& out, uint64_t maxBytes,
                  FileReadFailure* why) {
    return readStream(openFile(path, "rb").get(), out, maxBytes, why);
}
#endif

int64_t fileSize(std::string_view path) {
    FileHandle file = openFile(path, "rb");
    if (!file) return -1;
    return streamLength(file.get());
}

bool fileExists(std::string_view path) { return openFile(path, "rb") != nullptr; }

bool fileExists(std::u16string_view path) { return openFile(path, "rb") != nullptr; }

#ifdef _WIN32

int deleteFile(std::u16string_view path) {
    const auto os = detail::osPath(path);
    return os && ::DeleteFileW(detail::osWide(*os).c_str()) ? 1 : 0;
}

int removeDirectory(std::u16string_view path) {
    const auto os = detail::osPath(path);
    return os && ::RemoveDirectoryW(detail::osWide(*os).c_str()) ? 1 : 0;
}

bool directoryExists(std::u16string_view path) {
    const auto os = detail::osPath(path);
    if (!os || os->empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(detail::osWide(*os).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

#else

int deleteFile(std::u16string_view path) {
    const auto os = detail::osPath(path);
    return os && ::unlink(os->c_str()) == 0 ? 1 : 0;
}

int removeDirectory(std::u16string_view path) {
    const auto os = detail::osPath(path);
    return os && ::rmdir(os->c_str()) == 0 ? 1 : 0;
}

bool directoryExists(std::u16string_view path) {
    const auto os = detail::osPath(path);
    if (!os || os->empty()) return false;
    DIR* dir = ::opendir(os->c_str());
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

#endif

#ifndef TESSALY_SUPPORT_DRIVER

int64_t readWholeFileInto(std::u16string_view path, void* dest, size_t capacity) {
    FileHandle file = openFile(path, "rb");
    if (!file || !dest) return -1;
    const int64_t length = streamLength(file.get());
    if (length < 0) return -1;
    if (uint64_t(length) >= capacity) return -2;
    const auto n = size_t(length);
    if (readUpTo(file.get(), dest, n) != length) return -1;
    static_cast<uint8_t*>(dest)[n] = 0;
    return length;
}

int copyFile(std::u16string_view from, std::u16string_view to) {
    FileHandle source = openFile(from, "rb");
    const auto target = detail::osPath(to);
    if (!source || !target) return 0;
    const int64_t length = streamLength(source.get());
    if (length < 0) return 0;
    // Opening the target "wb" would truncate the source when both are one file.
#ifdef _WIN32
    // The C run-time has no file numbers here: the volume and the file index
    // of both files tell instead.
    BY_HANDLE_FILE_INFORMATION sourceInfo {};
    const auto sourceHandle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(source.get())));
    if (!::GetFileInformationByHandle(sourceHandle, &sourceInfo)) return 0;
    const HANDLE targetHandle =
        ::CreateFileW(detail::osWide(*target).c_str(), 0,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (targetHandle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION targetInfo {};
        const bool same = ::GetFileInformationByHandle(targetHandle, &targetInfo) &&
                          sourceInfo.dwVolumeSerialNumber == targetInfo.dwVolumeSerialNumber &&
                          sourceInfo.nFileIndexHigh == targetInfo.nFileIndexHigh &&
                          sourceInfo.nFileIndexLow == targetInfo.nFileIndexLow;
        ::CloseHandle(targetHandle);
        if (same) return 0;
    }
#else
    struct stat sourceInfo {};
    struct stat targetInfo {};
    if (::fstat(::fileno(source.get()), &sourceInfo) != 0) return 0;
    if (::stat(target->c_str(), &targetInfo) == 0 && sourceInfo.st_dev == targetInfo.st_dev &&
        sourceInfo.st_ino == targetInfo.st_ino) {
        return 0;
    }
#endif
    FileHandle dest = openOsPath(target, "wb");
    if (!dest) return 0;
    if (copyBytes(source.get(), dest.get(), length) != length) return 0;
    return closeFile(std::move(dest));
}

int64_t freeDiskSpaceMB(std::u16string_view directory) {
    const auto os = detail::osPath(directory);
    if (!os) return -1;
#ifdef _WIN32
    // Bytes as blocks of one byte: what the caller may use (quotas apply).
    ULARGE_INTEGER available {};
    if (!::GetDiskFreeSpaceExW(detail::osWide(*os).c_str(), &available, nullptr, nullptr)) return -1;
    const uint64_t blocks = available.QuadPart;
    const uint64_t blockSize = 1;
#else
    struct statvfs info {};
    if (::statvfs(os->c_str(), &info) != 0) return -1;
    const uint64_t blocks = info.f_bavail;
    const uint64_t blockSize = info.f_frsize;
#endif
    // floor(available blocks x block size / 2^20) without overflowing.
    const uint64_t mb = (blocks >> 20) * blockSize + (((blocks & 0xFFFFF) * blockSize) >> 20);
    return mb > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                              : int64_t(mb);
}

#endif

#ifdef TESSALY_SUPPORT_DRIVER

#ifdef _WIN32

int makeDirectory(std::string_view path) {
    const auto os = detail::osPath(path);
    return os && ::CreateDirectoryW(detail::osWide(*os).c_str(), nullptr) ? 1 : 0;
}

int deleteFile(std::string_view path) {
    const auto os = detail::osPath(path);
    return os && ::DeleteFileW(detail::osWide(*os).c_str()) ? 1 : 0;
}

#else

int makeDirectory(std::string_view path) {
    const auto os = detail::osPath(path);
    return os && ::mkdir(os->c_str(), 0777) == 0 ? 1 : 0;
}

int deleteFile(std::string_view path) {
    const auto os = detail::osPath(path);
    return os && ::unlink(os->c_str()) == 0 ? 1 : 0;
}

#endif

#endif

}  // namespace tessaly
