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

// The local account a job is printed as.
struct JobUser {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// The account for a job's user name: the user of that name when the system
// knows it, else the account configured for unknown users (a job from
// another machine) when it is set and known. 0 when the job is to be refused.
[[nodiscard]] int resolveJobUser(std::string_view jobUser, std::string_view unknownUserAccount, JobUser* out);

// Makes (or checks) <root><user>/ for the user uid:gid and gives its path
// with a trailing '/'. The root is made with mode 0755 when missing. An
// existing entry that is a symbolic link, not a directory, or owned by
// someone else is refused. 1, or 0 with the reason in *error.
[[nodiscard]] int prepareUserSpool(const std::string& root, std::string_view user, uid_t uid, gid_t gid,
                                   std::string* dir, std::string* error);

}  // namespace tessaly::cups
