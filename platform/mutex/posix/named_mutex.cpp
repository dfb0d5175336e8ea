#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

namespace tessaly {

namespace {

constexpr size_t kMaxEncodedName = 200;

// Creates the runtime directory when missing and checks that only we can use it.
bool prepareDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int lockRetrying(int fd, int operation) {
    for (;;) {
        if (::flock(fd, operation) == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

}  // namespace

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      count_(std::exchange(other.count_, 0)),
      alreadyExisted_(std::exchange(other.alreadyExisted_, false)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        count_ = std::exchange(other.count_, 0);
        alreadyExisted_ = std::exchange(other.alreadyExisted_, false);
    }
    return *this;
}

std::string NamedMutex::runtimeDirectory() {
    const char* env = std::getenv("TESSALY_RUNTIME_DIR");
    if (env && *env) return env;
    return "/tmp/tessaly-" + std::to_string(unsigned(::geteuid()));
}

std::string NamedMutex::lockPath(std::string_view name) {
    if (name.empty()) return {};
    std::string encoded;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            u == '_' || u == '-') {
            encoded += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[u >> 4];
            encoded += kHex[u & 15];
        }
        if (encoded.size() > kMaxEncodedName) return {};
    }
    std::string path = runtimeDirectory();
    if (path.back() != '/') path += '/';
    return path + encoded + ".lock";
}

int NamedMutex::create(std::string_view name, bool initialOwner) {
    close();
    const std::string path = lockPath(name);
    if (path.empty() || !prepareDirectory(runtimeDirectory())) return 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 0;
    }
    fd_ = fd;
    if (lockRetrying(fd_, LOCK_EX | LOCK_NB) == 0) {
        if (initialOwner) {
            count_ = 1;
        } else {
            lockRetrying(fd_, LOCK_UN);
        }
    } else if (errno == EWOULDBLOCK) {
        alreadyExisted_ = true;
    } else {
        close();
        return 0;
    }
    return 1;
}

int NamedMutex::wait() {
    if (fd_ < 0) return 0;
    if (count_ > 0) {
        ++count_;
        return 1;
    }
    if (lockRetrying(fd_, LOCK_EX) != 0) return 0;
    count_ = 1;
    return 1;
}

int NamedMutex::tryWait() {
    if (fd_ < 0) return 0;
    if (count_ > 0) {
        ++count_;
        return 1;
    }
    if (lockRetrying(fd_, LOCK_EX | LOCK_NB) != 0) return 0;
    count_ = 1;
    return 1;
}

int NamedMutex::release() {
    if (fd_ < 0 || count_ == 0) return 0;
    if (--count_ == 0) lockRetrying(fd_, LOCK_UN);
    return 1;
}

void NamedMutex::close() {
    if (fd_ >= 0) {
        if (count_ > 0) lockRetrying(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
    count_ = 0;
    alreadyExisted_ = false;
}

}  // namespace tessaly
