// The GDI font entry points over realized fonts. Handles index a table of
// shared objects: a handle that was deleted, never issued or belongs to
// another kind of object is refused, and an object deleted while another
// thread still uses it lives until that use ends.

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "font_face.h"
#include "platform/gdi_fonts.h"
#include "support/text.h"

namespace tessaly::fonts {
namespace {

struct FontObject {
    LOGFONTW logFont{};
    std::mutex mutex;  // guards the realized font
    std::unique_ptr<RealizedFont> realized;
    bool failed = false;

    RealizedFont* realize() {
        if (!realized && !failed) {
            realized = RealizedFont::realize(logFont);
            failed = !realized;
        }
        return realized.get();
    }
};

struct DcObject {
    std::mutex mutex;
    std::shared_ptr<FontObject> font;
    uintptr_t fontHandle = 0;
};

using Object = std::variant<std::shared_ptr<DcObject>, std::shared_ptr<FontObject>>;

// The stock font every new context starts with (the system's default face,
// 16 units high); it cannot be deleted.
constexpr uintptr_t kStockFont = 0x10;

class HandleTable {
public:
    HandleTable() {
        auto stock = std::make_shared<FontObject>();
        stock->logFont.lfWeight = FW_NORMAL;
        stock->logFont.lfCharSet = DEFAULT_CHARSET;
        objects_.emplace(kStockFont, stock);
    }

    uintptr_t add(Object object) {
        std::lock_guard lock(mutex_);
        next_ += 4;
        objects_.emplace(next_, std::move(object));
        return next_;
    }
    template <typename T>
    std::shared_ptr<T> find(const void* handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == objects_.end()) return nullptr;
        const auto* object = std::get_if<std::shared_ptr<T>>(&it->second);
        return object ? *object : nullptr;
    }
    // Removes a handle of kind T; false when there is none.
    template <typename T>
    bool remove(const void* handle) {
        const auto key = reinterpret_cast<uintptr_t>(handle);
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(key);
        if (it == objects_.end() || !std::holds_alternative<std::shared_ptr<T>>(it->second)) return false;
        if (key != kStockFont) objects_.erase(it);
        return true;
    }

private:
    std::mutex mutex_;
    std::unordered_map<uintptr_t, Object> objects_;
    uintptr_t next_ = 0x1000;
};

HandleTable& handles() {
    static HandleTable table;
    return table;
}

// The font selected into a context, or null for a bad handle.
std::shared_ptr<FontObject> selectedFont(HDC dc) {
    auto context = handles().find<DcObject>(dc);
    if (!context) return nullptr;
    std::lock_guard lock(context->mutex);
    return context->font;
}

bool isDisplay(LPCWSTR driver) {
    if (!driver) return true;
    const std::u16string_view name(driver, textLength(driver));
    return equalNoCase(toNarrow(name), "DISPLAY");
}

}  // namespace

bool validDc(HDC dc) {
    return handles().find<DcObject>(dc) != nullptr;
}

}  // namespace tessaly::fonts

using namespace tessaly::fonts;

HDC WINAPI CreateICW(LPCWSTR driver, LPCWSTR /*device*/, LPCWSTR /*port*/, const DEVMODEW* /*mode*/) {
    if (!isDisplay(driver)) return nullptr;
    auto context = std::make_shared<DcObject>();
    context->font = handles().find<FontObject>(reinterpret_cast<const void*>(kStockFont));
    context->fontHandle = kStockFont;
    return reinterpret_cast<HDC>(handles().add(std::move(context)));
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* logFont) {
    if (!logFont) return nullptr;
    auto font = std::make_shared<FontObject>();
    font->logFont = *logFont;
    font->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    return reinterpret_cast<HFONT>(handles().add(std::move(font)));
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfUnderline = underline ? 1 : 0;
    lf.lfStrikeOut = strikeOut ? 1 : 0;
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (faceName) {
        for (size_t i = 0; i + 1 < LF_FACESIZE && faceName[i]; ++i) lf.lfFaceName[i] = faceName[i];
    }
    return CreateFontIndirectW(&lf);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    auto context = handles().find<DcObject>(dc);
    auto font = handles().find<FontObject>(object);
    if (!context || !font) return nullptr;
    std::lock_guard lock(context->mutex);
    const uintptr_t previous = context->fontHandle;
    context->font = std::move(font);
    context->fontHandle = reinterpret_cast<uintptr_t>(object);
    return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL WINAPI GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
    auto font = selectedFont(dc);
    if (!font || !metrics) return FALSE;
    std::lock_guard lock(font->mutex);
    RealizedFont* realized = font->realize();
    if (!realized) return FALSE;
    realized->textMetrics(metrics);
    return TRUE;
}

DWORD WINAPI GetKerningPairsW(HDC dc, DWORD count, KERNINGPAIR* pairs) {
    auto font = selectedFont(dc);
    if (!font) return 0;
    std::lock_guard lock(font->mutex);
    RealizedFont* realized = font->realize();
    if (!realized) return 0;
    const auto& all = realized->kerningPairs();
    if (!pairs) return static_cast<DWORD>(all.size());
    const size_t n = std::min<size_t>(count, all.size());
    if (n) std::memcpy(pairs, all.data(), n * sizeof(KERNINGPAIR));
    return static_cast<DWORD>(n);
}

DWORD WINAPI GetGlyphOutlineW(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                              LPVOID buffer, const MAT2* matrix) {
    auto font = selectedFont(dc);
    if (!font || !metrics || !matrix) return GDI_ERROR;
    std::lock_guard lock(font->mutex);
    RealizedFont* realized = font->realize();
    if (!realized) return GDI_ERROR;
    return realized->glyphOutline(character, format, metrics, bufferSize, buffer, *matrix);
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return handles().remove<FontObject>(object) ? TRUE : FALSE;
}

BOOL WINAPI DeleteDC(HDC dc) {
    return handles().remove<DcObject>(dc) ? TRUE : FALSE;
}
