// Private fonts: faces registered from memory for the whole process. The
// registry holds one entry per face, under one lock; realized fonts share
// the bytes, so removing a registration never pulls a face from under a
// font in use.

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "font_face.h"

#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include "platform/gdi_fonts.h"
#include "support/text.h"

namespace tessaly::fonts {
namespace {

struct Registration {
    uintptr_t handle = 0;
    std::vector<PrivateFace> faces;
};

class PrivateRegistry {
public:
    uintptr_t add(std::vector<PrivateFace> faces) {
        std::lock_guard lock(mutex_);
        next_ += 4;
        registrations_.push_back(Registration{next_, std::move(faces)});
        return next_;
    }
    bool remove(uintptr_t handle) {
        std::lock_guard lock(mutex_);
        return std::erase_if(registrations_, [&](const Registration& r) { return r.handle == handle; }) > 0;
    }
    std::vector<PrivateFace> faces(const std::string& family) {
        std::vector<PrivateFace> found;
        std::lock_guard lock(mutex_);
        for (const Registration& r : registrations_)
            for (const PrivateFace& face : r.faces)
                if (family.empty() || FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(face.family.c_str()),
                                                         reinterpret_cast<const FcChar8*>(family.c_str())) == 0)
                    found.push_back(face);
        return found;
    }

private:
    std::mutex mutex_;
    std::vector<Registration> registrations_;
    // Private font handles live apart from the GDI object handles.
    uintptr_t next_ = 0x7F000000;
};

PrivateRegistry& registry() {
    static PrivateRegistry instance;
    return instance;
}

// Reads every face of the bytes; empty when one of them is not a usable
// scalable face.
std::vector<PrivateFace> readFaces(const FontBytes& bytes, const std::string& family,
                                   const std::shared_ptr<const GlyphMap>& glyphMap) {
    std::vector<PrivateFace> faces;
    long count = 1;
    for (long index = 0; index < count; ++index) {
        FreeTypeFace ft;
        if (!ft.open(bytes, static_cast<int>(index))) return {};
        FT_Face face = ft.face();
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return {};
        count = std::clamp<long>(face->num_faces, 1, 256);
        PrivateFace entry;
        entry.bytes = bytes;
        entry.index = static_cast<int>(index);
        entry.family = !family.empty() ? family : face->family_name ? face->family_name : "";
        if (entry.family.empty()) return {};
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && os2->usWeightClass) entry.weight = os2->usWeightClass;
        else entry.weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
        entry.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        // A map naming glyphs the font does not have is refused whole.
        if (glyphMap)
            for (const auto& [character, glyph] : *glyphMap)
                if (glyph >= static_cast<uint32_t>(face->num_glyphs)) return {};
        entry.glyphMap = glyphMap;
        faces.push_back(std::move(entry));
    }
    return faces;
}

}  // namespace

std::vector<PrivateFace> privateFaces(const std::string& family) { return registry().faces(family); }

HANDLE addPrivateFont(const void* data, size_t size, const char16_t* faceName,
                      std::span<const std::pair<char32_t, uint32_t>> glyphMap, DWORD* faces) {
    if (faces) *faces = 0;
    if (!data || size == 0) return nullptr;
    try {
        auto bytes = std::make_shared<const std::vector<uint8_t>>(static_cast<const uint8_t*>(data),
                                                                  static_cast<const uint8_t*>(data) + size);
        std::string family;
        if (faceName) {
            bool ok = true;
            family = toUtf8(std::u16string_view(faceName, textLength(faceName)), &ok);
            if (!ok) return nullptr;
        }
        std::shared_ptr<const GlyphMap> map;
        if (!glyphMap.empty()) map = std::make_shared<const GlyphMap>(glyphMap.begin(), glyphMap.end());
        std::vector<PrivateFace> read = readFaces(bytes, family, map);
        if (read.empty()) return nullptr;
        const auto count = static_cast<DWORD>(read.size());
        const uintptr_t handle = registry().add(std::move(read));
        if (faces) *faces = count;
        return reinterpret_cast<HANDLE>(handle);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool removePrivateFont(HANDLE handle) { return registry().remove(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace tessaly::fonts

HANDLE WINAPI AddFontMemResourceEx(LPVOID data, DWORD size, LPVOID reserved, DWORD* faces) {
    if (reserved || !faces) {
        if (faces) *faces = 0;
        return nullptr;
    }
    return tessaly::fonts::addPrivateFont(data, size, nullptr, {}, faces);
}

BOOL WINAPI RemoveFontMemResourceEx(HANDLE handle) {
    return tessaly::fonts::removePrivateFont(handle) ? TRUE : FALSE;
}
