#include "support/directories.h"

#ifndef TESSALY_SUPPORT_DRIVER

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <utility>

#include "os_path.h"

namespace tessaly {

namespace {

bool isDotOrDotDot(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// Links (reparse points) and anything else that is not a real directory count
// as files.
bool isRealDirectory(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

void fillEntry(const WIN32_FIND_DATAW& found, DirectoryEntry& entry) {
    entry.name.assign(found.cFileName, found.cFileName + wcslen(found.cFileName));
    if (entry.name.size() > kMaxEntryName) entry.name.resize(kMaxEntryName);
    entry.isDirectory = isRealDirectory(found.dwFileAttributes);
}

// The search pattern of everything in a directory.
std::wstring everythingIn(std::wstring directory) {
    if (!directory.empty() && directory.back() != L'/' && directory.back() != L'\\') directory += L'/';
    return directory + L'*';
}

// A file is removed even when it is marked read-only, as unlink does.
bool deleteOneFile(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
    ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return ::DeleteFileW(path.c_str()) != 0;
}

int removeTreeOs(const std::wstring& path, bool keepGoing) {
    if (path.size() > kMaxTreePath) return 0;
    // Never through a link: the walk stays inside the tree it was given.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !isRealDirectory(attributes)) return 0;
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(everythingIn(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    bool ok = true;
    do {
        if (isDotOrDotDot(found.cFileName)) continue;
        const std::wstring child = path + L'/' + found.cFileName;
        bool removed;
        if (isRealDirectory(found.dwFileAttributes)) {
            removed = removeTreeOs(child, keepGoing) == 1;
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            removed = ::RemoveDirectoryW(child.c_str()) != 0;  // the link, not its target
        } else {
            removed = deleteOneFile(child);
        }
        if (!removed) {
            ok = false;
            if (!keepGoing) {
                ::FindClose(search);
                return 0;
            }
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ::RemoveDirectoryW(path.c_str()) && ok ? 1 : 0;
}

}  // namespace

FindHandle::~FindHandle() { end(); }

FindHandle::FindHandle(FindHandle&& other) noexcept
    : dir_(std::exchange(other.dir_, nullptr)),
      pending_(std::exchange(other.pending_, false)),
      first_(std::move(other.first_)) {}

FindHandle& FindHandle::operator=(FindHandle&& other) noexcept {
    if (this != &other) {
        end();
        dir_ = std::exchange(other.dir_, nullptr);
        pending_ = std::exchange(other.pending_, false);
        first_ = std::move(other.first_);
    }
    return *this;
}

bool FindHandle::begin(std::u16string_view directory) {
    end();
    const auto os = detail::osPath(directory);
    if (!os || os->empty()) return false;
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(everythingIn(detail::osWide(*os)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    dir_ = search;
    fillEntry(found, first_);
    pending_ = true;
    return true;
}

bool FindHandle::next(DirectoryEntry& entry) {
    if (!dir_) return false;
    if (pending_) {
        pending_ = false;
        entry = std::move(first_);
        return true;
    }
    return readEntry(entry);
}

void FindHandle::end() noexcept {
    if (dir_) ::FindClose(static_cast<HANDLE>(dir_));
    dir_ = nullptr;
    pending_ = false;
}

bool FindHandle::readEntry(DirectoryEntry& entry) {
    WIN32_FIND_DATAW found {};
    if (!::FindNextFileW(static_cast<HANDLE>(dir_), &found)) return false;
    fillEntry(found, entry);
    return true;
}

int removeTree(std::u16string_view directory, bool keepGoing) {
    if (directory.size() > kMaxTreePath) return 0;
    const auto os = detail::osPath(directory);
    if (!os || os->empty()) return 0;
    return removeTreeOs(detail::osWide(*os), keepGoing);
}

}  // namespace tessaly

#else

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <utility>

#include "os_path.h"

namespace tessaly {

namespace {

// Symbolic links and anything else that is not a real directory count as files.
bool entryIsDirectory(DIR* dir, const dirent* entry) {
    if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_DIR;
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return S_ISDIR(info.st_mode);
}

bool isDotOrDotDot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The length a UTF-8 path has in UTF-16 characters.
size_t utf16Length(std::string_view path) {
    size_t n = 0;
    for (const char c : path) {
        const auto b = uint8_t(c);
        if ((b & 0xC0) != 0x80) n += b >= 0xF0 ? 2 : 1;
    }
    return n;
}

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

// Works on the OS path so that names which are not valid UTF-8 are still removed.
int removeTreeOs(const std::string& path, bool keepGoing) {
    if (utf16Length(path) > kMaxTreePath) return 0;
    // Never through a symbolic link: the walk stays inside the tree it was given.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return 0;
    }
    bool ok = true;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (isDotOrDotDot(entry->d_name)) continue;
        const std::string child = path + "/" + entry->d_name;
        const bool removed = entryIsDirectory(dir.get(), entry)
                                 ? removeTreeOs(child, keepGoing) == 1
                                 : ::unlink(child.c_str()) == 0;
        if (!removed) {
            ok = false;
            if (!keepGoing) return 0;
        }
    }
    dir.reset();
    return ::rmdir(path.c_str()) == 0 && ok ? 1 : 0;
}

}  // namespace

FindHandle::~FindHandle() { end(); }

FindHandle::FindHandle(FindHandle&& other) noexcept
    : dir_(std::exchange(other.dir_, nullptr)),
      pending_(std::exchange(other.pending_, false)),
      first_(std::move(other.first_)) {}

FindHandle& FindHandle::operator=(FindHandle&& other) noexcept {
    if (this != &other) {
        end();
        dir_ = std::exchange(other.dir_, nullptr);
        pending_ = std::exchange(other.pending_, false);
        first_ = std::move(other.first_);
    }
    return *this;
}

bool FindHandle::begin(std::u16string_view directory) {
    end();
    const auto os = detail::osPath(directory);
    if (!os || os->empty()) return false;
    dir_ = ::opendir(os->c_str());
    if (!dir_) return false;
    pending_ = readEntry(first_);
    return true;
}

bool FindHandle::next(DirectoryEntry& entry) {
    if (!dir_) return false;
    if (pending_) {
        pending_ = false;
        entry = std::move(first_);
        return true;
    }
    return readEntry(entry);
}

void FindHandle::end() noexcept {
    if (dir_) ::closedir(static_cast<DIR*>(dir_));
    dir_ = nullptr;
    pending_ = false;
}

bool FindHandle::readEntry(DirectoryEntry& entry) {
    auto* dir = static_cast<DIR*>(dir_);
    const dirent* found = ::readdir(dir);
    if (!found) return false;
    entry.name = pathFromUtf8(found->d_name);
    if (entry.name.size() > kMaxEntryName) entry.name.resize(kMaxEntryName);
    entry.isDirectory = entryIsDirectory(dir, found);
    return true;
}

int removeTree(std::u16string_view directory, bool keepGoing) {
    if (directory.size() > kMaxTreePath) return 0;
    const auto os = detail::osPath(directory);
    if (!os || os->empty()) return 0;
    return removeTreeOs(*os, keepGoing);
}

}  // namespace tessaly

#endif  // _WIN32

#endif  // TESSALY_SUPPORT_DRIVER
