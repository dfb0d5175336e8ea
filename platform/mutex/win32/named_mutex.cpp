// Named mutexes over the system's mutex objects.
//
// The object of a name is "Local\<prefix><encoded name>" in the session's
// namespace; the prefix is empty unless TESSALY_RUNTIME_DIR is set, when its
// encoded form and "/" keep a test's mutexes apart from everyone else's.
// Names are encoded as on other systems (bytes outside [A-Za-z0-9_-] as %XX),
// so a name never holds the namespace separator.
//
// The system gives a mutex to a thread and lets the owning thread wait again
// at once. Ownership here belongs to one NamedMutex object instead, so the
// process keeps a table of the names its objects own: an object waits for
// another object of the same process as it would for another process. A
// holder that dies leaves the mutex abandoned; the next waiter gets it, as
// it would get a free one. The thread that took a mutex must release it.
#include "platform/named_mutex.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tessaly {

namespace {

constexpr size_t kMaxEncodedName = 200;
// Longer object names are refused by the system.
constexpr size_t kMaxObjectName = MAX_PATH;

std::string encode(std::string_view text) {
    std::string encoded;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-') {
            encoded += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[u >> 4];
            encoded += kHex[u & 15];
        }
    }
    return encoded;
}

// The names owned by objects of this process, each with its owner's token.
struct OwnerTable {
    std::mutex lock;
    std::condition_variable released;
    std::map<std::string, uint64_t> owners;
};

OwnerTable& ownerTable() {
    static OwnerTable table;
    return table;
}

uint64_t newToken() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// Waits for the object; true when it is ours (also when its last holder
// died holding it).
bool waitForObject(HANDLE handle, DWORD milliseconds) {
    const DWORD r = ::WaitForSingleObject(handle, milliseconds);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

// Takes the name for an object within the process (blocking or not), then
// the system object; true when owned.
bool claim(HANDLE handle, const std::string& name, uint64_t token, bool block) {
    OwnerTable& table = ownerTable();
    {
        std::unique_lock<std::mutex> guard(table.lock);
        for (;;) {
            const auto it = table.owners.find(name);
            if (it == table.owners.end()) break;
            if (!block) return false;
            table.released.wait(guard);
        }
        table.owners.emplace(name, token);
    }
    if (waitForObject(handle, block ? INFINITE : 0)) return true;
    std::lock_guard<std::mutex> guard(table.lock);
    table.owners.erase(name);
    table.released.notify_all();
    return false;
}

void giveUp(HANDLE handle, const std::string& name, uint64_t token) {
    (void)::ReleaseMutex(handle);
    OwnerTable& table = ownerTable();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto it = table.owners.find(name);
    if (it != table.owners.end() && it->second == token) table.owners.erase(it);
    table.released.notify_all();
}

}  // namespace

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      object_(std::move(other.object_)),
      token_(std::exchange(other.token_, 0)),
      count_(std::exchange(other.count_, 0)),
      alreadyExisted_(std::exchange(other.alreadyExisted_, false)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        object_ = std::move(other.object_);
        token_ = std::exchange(other.token_, 0);
        count_ = std::exchange(other.count_, 0);
        alreadyExisted_ = std::exchange(other.alreadyExisted_, false);
    }
    return *this;
}

std::string NamedMutex::runtimeDirectory() {
    std::string prefix = "Local\\";
    const DWORD needed = ::GetEnvironmentVariableA("TESSALY_RUNTIME_DIR", nullptr, 0);
    if (needed > 1) {
        std::string value(needed, '\0');
        const DWORD got = ::GetEnvironmentVariableA("TESSALY_RUNTIME_DIR", value.data(), needed);
        if (got > 0 && got < needed) {
            value.resize(got);
            prefix += encode(value) + "/";
        }
    }
    return prefix;
}

std::string NamedMutex::lockPath(std::string_view name) {
    if (name.empty()) return {};
    const std::string encoded = encode(name);
    if (encoded.size() > kMaxEncodedName) return {};
    std::string path = runtimeDirectory() + encoded;
    if (path.size() >= kMaxObjectName) return {};
    return path;
}

int NamedMutex::create(std::string_view name, bool initialOwner) {
    close();
    const std::string path = lockPath(name);
    if (path.empty()) return 0;
    const std::wstring wide(path.begin(), path.end());
    // Never created owned: the system would hand an existing mutex to this
    // thread when the thread already holds it through another object.
    handle_ = ::CreateMutexW(nullptr, FALSE, wide.c_str());
    if (!handle_) return 0;
    object_ = path;
    token_ = newToken();
    if (claim(handle_, object_, token_, false)) {
        if (initialOwner) {
            count_ = 1;
        } else {
            giveUp(handle_, object_, token_);
        }
    } else {
        alreadyExisted_ = true;
    }
    return 1;
}

int NamedMutex::wait() {
    if (!handle_) return 0;
    if (count_ > 0) {
        ++count_;
        return 1;
    }
    if (!claim(handle_, object_, token_, true)) return 0;
    count_ = 1;
    return 1;
}

int NamedMutex::tryWait() {
    if (!handle_) return 0;
    if (count_ > 0) {
        ++count_;
        return 1;
    }
    if (!claim(handle_, object_, token_, false)) return 0;
    count_ = 1;
    return 1;
}

int NamedMutex::release() {
    if (!handle_ || count_ == 0) return 0;
    if (--count_ == 0) giveUp(handle_, object_, token_);
    return 1;
}

void NamedMutex::close() {
    if (handle_) {
        if (count_ > 0) giveUp(handle_, object_, token_);
        ::CloseHandle(handle_);
    }
    handle_ = nullptr;
    object_.clear();
    token_ = 0;
    count_ = 0;
    alreadyExisted_ = false;
}

}  // namespace tessaly
