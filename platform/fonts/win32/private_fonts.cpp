// Private fonts on Windows: the system registers them (AddFontMemResourceEx
// copies the bytes and serves the faces to this process only). A face gets
// the caller's family name and character map by rewriting its naming table
// and 'cmap' first; a collection is registered face by face, so one handle
// of ours may stand for several of the system's. Handles are our own, so a
// stale or foreign one is refused rather than passed to the system.

#include <algorithm>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "platform/gdi_fonts.h"
#include "sfnt_rewrite.h"

namespace tessaly::fonts {
namespace {

struct Registration {
    uintptr_t handle = 0;
    std::vector<HANDLE> systemHandles;
};

class PrivateRegistry {
public:
    uintptr_t add(std::vector<HANDLE> systemHandles) {
        std::lock_guard lock(mutex_);
        next_ += 4;
        registrations_.push_back(Registration{next_, std::move(systemHandles)});
        return next_;
    }
    bool remove(uintptr_t handle) {
        std::vector<HANDLE> systemHandles;
        {
            std::lock_guard lock(mutex_);
            auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                      [&](const Registration& r) { return r.handle == handle; });
            if (found == registrations_.end()) return false;
            systemHandles = std::move(found->systemHandles);
            registrations_.erase(found);
        }
        for (HANDLE h : systemHandles) RemoveFontMemResourceEx(h);
        return true;
    }

private:
    std::mutex mutex_;
    std::vector<Registration> registrations_;
    uintptr_t next_ = 0x7F000000;
};

PrivateRegistry& registry() {
    static PrivateRegistry instance;
    return instance;
}

}  // namespace

HANDLE addPrivateFont(const void* data, size_t size, const char16_t* faceName,
                      std::span<const std::pair<char32_t, uint32_t>> glyphMap, DWORD* faces) {
    if (faces) *faces = 0;
    if (!data || size == 0 || size > 0xFFFFFFFFu) return nullptr;
    std::vector<HANDLE> systemHandles;
    const auto release = [&] {
        for (HANDLE done : systemHandles) RemoveFontMemResourceEx(done);
    };
    try {
        const std::u16string_view family = faceName ? std::u16string_view(faceName)
                                                    : std::u16string_view();
        const std::vector<std::vector<uint8_t>> rebuilt =
            rewriteFaces(std::span(static_cast<const uint8_t*>(data), size), family, glyphMap);
        if (rebuilt.empty()) return nullptr;
        systemHandles.reserve(rebuilt.size());
        for (const std::vector<uint8_t>& face : rebuilt) {
            DWORD added = 0;
            // The system copies the bytes; it never writes to them.
            HANDLE h = AddFontMemResourceEx(const_cast<uint8_t*>(face.data()), static_cast<DWORD>(face.size()),
                                            nullptr, &added);
            if (!h || added == 0) {
                if (h) RemoveFontMemResourceEx(h);
                release();
                return nullptr;
            }
            systemHandles.push_back(h);
        }
        const uintptr_t handle = registry().add(std::move(systemHandles));
        // The faces of the bytes: the system may count more (Wine adds a
        // vertical "@" font beside each CJK face).
        if (faces) *faces = static_cast<DWORD>(rebuilt.size());
        return reinterpret_cast<HANDLE>(handle);
    } catch (const std::bad_alloc&) {
        release();
        return nullptr;
    }
}

bool removePrivateFont(HANDLE handle) { return registry().remove(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace tessaly::fonts
