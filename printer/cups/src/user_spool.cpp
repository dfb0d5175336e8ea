#include "cups_backend/user_spool.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tessaly::cups {

bool validUserDirectoryName(std::string_view user) {
    if (user.empty() || user.size() > 255 || user == "." || user == "..") return false;
    for (char c : user) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

namespace {

int lookUp(std::string_view name, JobUser* out) {
    if (!validUserDirectoryName(name)) return 0;
    const std::string text(name);
    passwd entry{};
    passwd* found = nullptr;
    std::string buffer(16384, '\0');
    if (::getpwnam_r(text.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return 0;
    // The account's own name, which is what its directory is called.
    if (!validUserDirectoryName(found->pw_name)) return 0;
    *out = {found->pw_name, found->pw_uid, found->pw_gid, found->pw_dir ? found->pw_dir : "/"};
    return 1;
}

}  // namespace

int resolveJobUser(std::string_view jobUser, std::string_view unknownUserAccount, JobUser* out) {
    if (lookUp(jobUser, out)) return 1;
    return !unknownUserAccount.empty() && lookUp(unknownUserAccount, out);
}

int prepareUserSpool(const std::string& root, std::string_view user, uid_t uid, gid_t gid, std::string* dir,
                     std::string* error) {
    auto refuse = [error](std::string text) {
        if (error) *error = std::move(text);
        return 0;
    };
    if (!validUserDirectoryName(user)) return refuse("the user name cannot name a spool directory");
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) {
        const mode_t old = ::umask(022);
        std::filesystem::create_directories(root, ec);
        ::umask(old);
        if (ec) return refuse("cannot make the spool directory " + root + ": " + ec.message());
    }
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) return refuse("cannot open the spool directory " + root + ": " + std::strerror(errno));
    const std::string name(user);
    bool made = ::mkdirat(rootFd, name.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) {
        const int err = errno;
        ::close(rootFd);
        return refuse("cannot make the spool directory of " + name + ": " + std::strerror(err));
    }
    // Opened without following a link, so that what is checked is what is used.
    const int fd = ::openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(rootFd);
    if (fd < 0) return refuse("the spool directory of " + name + " is not a directory of its own");
    struct stat info {};
    int result = 1;
    if (::fstat(fd, &info) != 0) {
        result = refuse("cannot check the spool directory of " + name + ": " + std::strerror(errno));
    } else if (info.st_uid != uid) {
        if (made && ::fchown(fd, uid, gid) == 0) {
            info.st_uid = uid;
        } else {
            result = refuse("the spool directory of " + name + " belongs to another user");
        }
    }
    if (result && (info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        result = refuse("cannot protect the spool directory of " + name + ": " + std::strerror(errno));
    ::close(fd);
    if (result) *dir = root + (root.empty() || root.back() == '/' ? "" : "/") + name + "/";
    return result;
}

}  // namespace tessaly::cups
