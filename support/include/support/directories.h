#pragma once
// Walking the entries of a directory and removing whole directory trees.
// Application only: the driver never walks directories.

#ifndef TESSALY_SUPPORT_DRIVER

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

// Entry names are at most this many UTF-16 characters long (longer ones are cut).
inline constexpr size_t kMaxEntryName = 259;
// removeTree refuses paths longer than this many UTF-16 characters.
inline constexpr size_t kMaxTreePath = 256;

struct DirectoryEntry {
    std::u16string name;
    // A real directory; a symbolic link to one does not count, so a walk never
    // leaves the tree it started in.
    bool isDirectory = false;
};

// One walk over a directory: begin, then next until it returns false. The
// entries include "." and ".."; their order is the file system's.
class FindHandle {
public:
    FindHandle() = default;
    ~FindHandle();
    FindHandle(FindHandle&& other) noexcept;
    FindHandle& operator=(FindHandle&& other) noexcept;
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    // Opens the directory and reads its first entry, which the first next()
    // yields. False when the directory cannot be searched.
    [[nodiscard]] bool begin(std::u16string_view directory);
    // The next entry; false when there are no more (or the walk was never begun).
    [[nodiscard]] bool next(DirectoryEntry& entry);
    // Closes the walk; begin may start another one.
    void end() noexcept;
    bool isOpen() const noexcept { return dir_ != nullptr; }

private:
    [[nodiscard]] bool readEntry(DirectoryEntry& entry);

    void* dir_ = nullptr;  // DIR*
    bool pending_ = false;
    DirectoryEntry first_;
};

// Deletes the directory with everything in it; 1 on success. Symbolic links
// inside are deleted, not followed; a link given as the directory is refused.
// Refuses paths longer than kMaxTreePath. A failure stops the walk with 0
// unless keepGoing is set, in which case the rest is still removed (and the
// result is 0).
[[nodiscard]] int removeTree(std::u16string_view directory, bool keepGoing);

}  // namespace tessaly

#endif  // TESSALY_SUPPORT_DRIVER
