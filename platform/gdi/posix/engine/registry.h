#pragma once
// Tables of the engine's live objects: numbered handles (HDEV, HSURF,
// HPALETTE) and the set of live DDI structures of each kind, so that a
// handle or pointer coming back from a driver is checked before use.

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace tessaly::gdi {

template <class T>
class HandleTable {
public:
    uintptr_t add(T* object) {
        std::lock_guard lock(mutex_);
        next_ += 4;
        objects_.emplace(next_, object);
        return next_;
    }
    void remove(uintptr_t handle) {
        std::lock_guard lock(mutex_);
        objects_.erase(handle);
    }
    T* find(uintptr_t handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second;
    }

private:
    std::mutex mutex_;
    std::unordered_map<uintptr_t, T*> objects_;
    uintptr_t next_ = 0x10000;
};

// Live objects of one kind, by the address of their DDI structure.
template <class T>
class LiveSet {
public:
    void add(const void* object) {
        std::lock_guard lock(mutex_);
        objects_.insert(object);
    }
    void remove(const void* object) {
        std::lock_guard lock(mutex_);
        objects_.erase(object);
    }
    bool contains(const void* object) {
        if (!object) return false;
        std::lock_guard lock(mutex_);
        return objects_.count(object) != 0;
    }

private:
    std::mutex mutex_;
    std::unordered_set<const void*> objects_;
};

// One table per kind, for the whole process.
template <class T>
LiveSet<T>& liveSet() {
    static LiveSet<T> set;
    return set;
}
template <class T>
HandleTable<T>& handleTable() {
    static HandleTable<T> table;
    return table;
}

}  // namespace tessaly::gdi
