#pragma once
// Named mutexes shared between processes, standing in for the system's named
// mutex objects. Each name is a lock file in the runtime directory, held with
// flock(): the kernel drops the lock when its holder exits or is killed, like
// an abandoned mutex, so a crashed holder never blocks the others for good.
//
// The runtime directory is TESSALY_RUNTIME_DIR when set, else
// /tmp/tessaly-<uid>; it is created with mode 0700 and refused when it is not
// a real directory owned by the caller or is open to other users. Names are
// case-sensitive; bytes outside [A-Za-z0-9_-] are written as %XX in the file
// name, so a name cannot reach outside the directory.
//
// On Windows each name is a mutex object of the session instead (see
// lockPath()); a holder that dies leaves it abandoned, and the next waiter
// takes it as it would a free one. TESSALY_RUNTIME_DIR, when set, then keeps
// a test's names apart from everyone else's rather than naming a directory.
// The system ties a held mutex to the thread that took it: release it on the
// same thread.
//
// Ownership belongs to one NamedMutex object: two objects with the same name
// exclude each other even inside one process. An object that owns its mutex
// may wait again; it is released after as many releases as waits.

#include <string>
#include <string_view>

namespace tessaly {

class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex() { close(); }
    NamedMutex(NamedMutex&& other) noexcept;
    NamedMutex& operator=(NamedMutex&& other) noexcept;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Opens the mutex called name, creating it when needed (a mutex held by
    // this object before is closed first). With initialOwner the mutex is
    // claimed when it is free; when another holder has it, alreadyExists()
    // is true and it is not owned. Without initialOwner alreadyExists() tells
    // whether another holder had it at that moment. 1 on success, 0 when the
    // runtime directory or the lock file cannot be used.
    [[nodiscard]] int create(std::string_view name, bool initialOwner);

#ifdef _WIN32
    bool isOpen() const { return handle_ != nullptr; }
#else
    bool isOpen() const { return fd_ >= 0; }
#endif
    bool alreadyExists() const { return alreadyExisted_; }
    bool owned() const { return count_ > 0; }

    // Blocks until the mutex is owned: 1, or 0 when it is not open.
    [[nodiscard]] int wait();
    // Claims the mutex when free: 1 when owned now, 0 when held elsewhere.
    [[nodiscard]] int tryWait();
    // Gives up one ownership: 1, or 0 when it was not owned.
    [[nodiscard]] int release();
    // Releases any ownership and closes the lock file.
    void close();

    // The directory of the lock files (not created here); on Windows the
    // start of every object name ("Local\\" and the test prefix).
    static std::string runtimeDirectory();
    // The lock file of a name (on Windows its object name); empty when the
    // name is empty or too long.
    static std::string lockPath(std::string_view name);

private:
#ifdef _WIN32
    void* handle_ = nullptr;  // the system's mutex object
    std::string object_;      // its name, as lockPath() gives it
    unsigned long long token_ = 0;  // this object's claim among the process's own
#else
    int fd_ = -1;
#endif
    int count_ = 0;
    bool alreadyExisted_ = false;
};

}  // namespace tessaly
