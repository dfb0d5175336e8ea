#include "platform/user_spool.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "composer/settings.h"

namespace tessaly {

std::string currentUserName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    for (;;) {
        passwd entry {};
        passwd* found = nullptr;
        const int result = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (result == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (result != 0 || !found || !found->pw_name) return {};
        return found->pw_name;
    }
}

int preparePrivateDirectory(const std::string& dir, std::string* error) {
    auto refuse = [&](std::string why) {
        if (error) *error = dir + ": " + why;
        return 0;
    };
    std::string path = dir;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return refuse(std::strerror(errno));
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
        // Whoever made it (this call or another at the same moment), it is
        // checked like one that was there already.
        if (::lstat(path.c_str(), &info) != 0) return refuse(std::strerror(errno));
    }
    if (S_ISLNK(info.st_mode)) return refuse("is a symbolic link");
    if (!S_ISDIR(info.st_mode)) return refuse("is not a directory");
    if (info.st_uid != ::geteuid()) return refuse("belongs to another user");
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), info.st_mode & 07700) != 0) {
        return refuse(std::string("cannot be made private: ") + std::strerror(errno));
    }
    return 1;
}

}  // namespace tessaly
