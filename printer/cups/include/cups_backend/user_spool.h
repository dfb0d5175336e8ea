#pragma once
// The spool directory of one user: <root><user>/, mode 0700, owned by the
// user, so that no other user can read the jobs in it. The backend makes it
// with the privileges of the print server before it prints as the user.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tessaly::cups {

// Whether a user name can name a directory: not empty, not "." or "..", no
// '/', no control characters, at most 255 bytes.
bool validUserDirectoryName(std::string_view user);

// Makes (or checks) <root><user>/ for the user uid:gid and gives its path
// with a trailing '/'. The root is made with mode 0755 when missing. An
// existing entry that is a symbolic link, not a directory, or owned by
// someone else is refused. 1, or 0 with the reason in *error.
[[nodiscard]] int prepareUserSpool(const std::string& root, std::string_view user, uid_t uid, gid_t gid,
                                   std::string* dir, std::string* error);

}  // namespace tessaly::cups
