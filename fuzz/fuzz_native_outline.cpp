// Feeds arbitrary bytes to the conversion of native glyph outlines (polygon
// headers and curve records) into outline commands and checks what it keeps.

#include <cstddef>
#include <cstdint>

#include "fontcapture/font_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaly;
    GlyphOutline outline;
    outline.moveTo({7, 7});
    const int ok = appendNativeOutline(data, size, outline);
    for (const OutlineCommand& c : outline.commands()) {
        for (const OutlinePoint& p : c.points) {
            if (p.x < GlyphOutline::kMinCoordinate || p.x > GlyphOutline::kMaxCoordinate ||
                p.y < GlyphOutline::kMinCoordinate || p.y > GlyphOutline::kMaxCoordinate)
                __builtin_trap();  // every stored point is clamped
        }
    }
    if (!ok) {
        outline.truncate(1);
        if (outline.size() != 1 || !(outline.current() == OutlinePoint{7, 7})) __builtin_trap();
    }
    return 0;
}
