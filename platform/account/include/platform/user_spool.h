#pragma once
// The user a program runs as, and that user's spool directory: where the
// printer puts the user's jobs and the job monitor looks for them.
//
// With the stored DWORD SpoolPerUser = 1 every user has a directory of their
// own under SpoolPath, named after the user, which only the user can enter
// (mode 0700). The printer's backend creates it for a user's first job; a
// program the user runs creates it too when it is missing (the spool root
// lets users add directories but not list them). A directory of that name
// that is a symbolic link or belongs to someone else is refused: another
// user could read the jobs in it.

#include <string>

namespace tessaly {

// The name of the effective user from the password database; empty when the
// user has no entry there.
std::string currentUserName();

// Makes sure that dir is a real directory of the calling user that no one
// else can enter: creates it (mode 0700) when missing, takes group and other
// access away from one of the user's own, refuses a symbolic link or another
// owner's directory. 1, or 0 with the reason in *error.
[[nodiscard]] int preparePrivateDirectory(const std::string& dir, std::string* error);

// The calling user's spool directory (ending in '/'), ready for use when
// there is one per user. 1, or 0 with the reason in *error: SpoolPath is
// missing, the user has no usable name, or the user's directory cannot be
// made private. Without a directory per user the shared SpoolPath is given
// as it is, and whether it exists is left to the caller.
[[nodiscard]] int currentUserSpoolDirectory(std::string* spool, std::string* error);

}  // namespace tessaly
