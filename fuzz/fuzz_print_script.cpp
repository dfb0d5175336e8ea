// Arbitrary bytes as a print script: the parser either refuses them with a
// line number or gives commands whose numbers are all finite and within the
// documented limits.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/print_script.h"

using namespace tessaly::script;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Script script;
    std::string error;
    if (!parseScript(text, &script, &error)) {
        if (error.rfind("line ", 0) != 0) __builtin_trap();
        return 0;
    }
    size_t pages = 0;
    for (const Command& c : script.commands) {
        if (c.op == Op::Page) ++pages;
        for (double v : c.values) {
            if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate * 2) __builtin_trap();
        }
        if ((c.op == Op::Polygon || c.op == Op::Polyline) && (c.values.size() % 2 || c.values.size() > 2 * kMaxPoints))
            __builtin_trap();
        if (c.pen.dashes.size() > kMaxDashes || c.pen.width < 0 || c.pen.width > kMaxSize) __builtin_trap();
        if (c.wide.size() > kMaxTextBytes) __builtin_trap();
        if (c.rop > 0xFF || c.mix < 1 || c.mix > 16 || c.alpha < 0 || c.alpha > 255) __builtin_trap();
        if (c.bits != 1 && c.bits != 4 && c.bits != 8 && c.bits != 16 && c.bits != 24 && c.bits != 32) __builtin_trap();
        if (c.op == Op::ClipRegion && (c.values.empty() || c.values.size() % 4 || c.values.size() > 4 * kMaxRegionRects))
            __builtin_trap();
        if (c.op == Op::GradientTriangles &&
            (c.values.size() != 2 * c.colors.size() || c.colors.empty() || c.colors.size() % 3 ||
             c.colors.size() > 3 * kMaxTriangles))
            __builtin_trap();
        if (c.op == Op::Brush && c.brush.style == tessaly::gdi::BrushStyle::Pattern &&
            (c.values.size() != 2 || c.values[0] < 1 || c.values[1] < 1 || c.values[0] > kMaxPatternSide ||
             c.values[1] > kMaxPatternSide))
            __builtin_trap();
    }
    if (pages != script.pageCount) __builtin_trap();
    return 0;
}
