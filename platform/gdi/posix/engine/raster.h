#pragma once
// The renderers' shared machinery: a view of a bitmap surface's pixels,
// regions of covered pixels, and the raster operation over a region with a
// source, a pattern and an optional mask.
//
// Coordinates: integer device coordinates are pixel centres, as in GDI. A
// path is rasterised by sampling pixel centres (no anti-aliasing), with the
// top-left fill convention.

#include <pixman.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine_objects.h"

namespace tessaly::gdi {

// Bits per pixel of a BMF_ format, 0 for formats without a plain layout.
int formatBits(ULONG format);
inline ULONG swapRedBlue(ULONG c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
// The palette entry (0x00BBGGRR) nearest to a colour.
ULONG nearestIndex(const std::vector<ULONG>& colorrefs, ULONG colorref);

// Well ordered, and within +-2^30 so that sizes fit a LONG.
RECTL normalizeRect(const RECTL& r);
RECTL intersectRect(const RECTL& a, const RECTL& b);
inline bool emptyRect(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }

// A bitmap surface's pixels: registered engine surfaces and plain SURFOBJs
// with bits alike.
struct PixelView {
    SURFOBJ* so = nullptr;
    Surface* surface = nullptr;  // when the engine knows it
    LONG width = 0, height = 0;
    uint8_t* scan0 = nullptr;
    LONG delta = 0;
    ULONG format = 0;
    int bpp = 0;

    PixelView() = default;
    ~PixelView();
    PixelView(const PixelView&) = delete;
    PixelView& operator=(const PixelView&) = delete;

    bool open(SURFOBJ* pso);
    // True when the renderers can draw into it (16, 24 or 32 bits).
    bool drawable() const { return bpp == 16 || bpp == 24 || bpp == 32; }
    uint8_t* row(LONG y) const { return scan0 + static_cast<ptrdiff_t>(y) * delta; }
    // Raw pixel values (palette indices for indexed formats).
    ULONG pixel(LONG x, LONG y) const;
    void setPixel(LONG x, LONG y, ULONG value);
    // Reads pixels [x, x + n) of row y as raw values.
    void readRow(LONG x, LONG y, LONG n, uint32_t* out) const;
    void writeRow(LONG x, LONG y, LONG n, const uint32_t* in);
    void fillSpan(LONG x, LONG y, LONG n, ULONG value);
    void fillRect(const RECTL& r, ULONG value);
    // A pixman image over the bits (16/24/32 bits), made on first use.
    pixman_image_t* image();
    RECTL bounds() const { return RECTL{0, 0, width, height}; }

private:
    pixman_image_t* image_ = nullptr;
    bool ownImage_ = false;
};

// A pixman region that frees itself (the engine's; the device context has
// its own Region of device rectangles).
struct PixelRegion {
    pixman_region32_t r;
    PixelRegion() { pixman_region32_init(&r); }
    explicit PixelRegion(const RECTL& rect);
    ~PixelRegion() { pixman_region32_fini(&r); }
    PixelRegion(const PixelRegion&) = delete;
    PixelRegion& operator=(const PixelRegion&) = delete;
    bool empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&r)); }
    void intersect(const RECTL& rect);
    void intersect(const pixman_region32_t* other) { pixman_region32_intersect(&r, &r, other); }
    void unite(const RECTL& rect);
    RECTL extents() const;
};

// The region a clip allows inside a target area (the area clipped to the
// surface as well). A null clip or DC_TRIVIAL allows the whole area.
void clipRegion(const CLIPOBJ* pco, const RECTL& area, const PixelView& target, PixelRegion* out);

// A source of colours for the raster operation, already in the target's
// format.
struct Operand {
    enum Kind { None, Solid, Bitmap, Tile } kind = None;
    ULONG color = 0;                  // Solid
    const PixelView* bitmap = nullptr;  // Bitmap: pixel (x + dx, y + dy)
    LONG dx = 0, dy = 0;
    const XLATEOBJ* xlate = nullptr;
    const BrushObject* brush = nullptr;  // Tile: repeated from the origin
    LONG originX = 0, originY = 0;
    const PixelView* targetView = nullptr;  // for converting tiles to the target's format

    // Colours of n pixels from (x, y); sets transparent[i] for a tile's
    // transparent pixels when transparent is given.
    void fetch(LONG x, LONG y, LONG n, uint32_t* out, uint8_t* transparent) const;
};

// The operand for a brush (null brush: solid 0).
Operand brushOperand(const BRUSHOBJ* pbo, const POINTL* origin, const PixelView& target);

// A ROP3 applied bitwise to pattern, source and destination values.
uint32_t rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d);
// Whether a ROP3 reads the source, the pattern or the destination.
inline bool ropUsesSource(ULONG rop) { return ((rop >> 2) & 0x33) != (rop & 0x33); }
inline bool ropUsesPattern(ULONG rop) { return ((rop >> 4) & 0x0F) != (rop & 0x0F); }
inline bool ropUsesDest(ULONG rop) { return ((rop >> 1) & 0x55) != (rop & 0x55); }
// The ROP3 of a foreground mix (R2_ codes).
ULONG mixToRop3(MIX mix);

// A 1-bit mask surface: bit set selects the foreground ROP.
struct MaskOperand {
    const PixelView* bitmap = nullptr;
    LONG dx = 0, dy = 0;
    bool bit(LONG x, LONG y) const;
};

// Applies the ROP4 (low byte: where the mask is set or there is no mask;
// high byte: where the mask is clear) over the region.
void applyRop(PixelView& target, const pixman_region32_t* region, const Operand& source, const Operand& pattern,
              ULONG rop4, const MaskOperand* mask);

// The pixels a path covers (filled with the given rule), limited to `limit`.
// Returns false when rasterising failed (out of memory).
bool fillPathRegion(const PathObject& path, bool winding, const RECTL& limit, PixelRegion* out);
// The pixels of a wide stroke of the path through the transform.
bool strokePathRegion(const PathObject& path, const XFORML& xform, const LINEATTRS& attrs, const RECTL& limit,
                      PixelRegion* out);
// The pixels of cosmetic (one pixel wide) lines, styled when the attributes
// ask for it; updates the style state.
bool cosmeticPathRegion(const PathObject& path, LINEATTRS* attrs, LONG styleUnit, const RECTL& limit,
                        PixelRegion* out);

// Builds a region from the set bits of a 1-bit image (cairo A1 layout)
// placed at (x0, y0).
void regionFromA1(const uint8_t* data, int stride, int width, int height, LONG x0, LONG y0, PixelRegion* out);

// Hands a path to the caller, who deletes it with EngDeletePath.
PATHOBJ* handOutPath(std::unique_ptr<PathObject> path);

// Calls a hooked driver function of the target surface when it has one.
template <class Fn>
Fn hookedFunction(SURFOBJ* pso, FLONG flag, ULONG index) {
    const Surface* surface = Surface::fromSurfobj(pso);
    return surface ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(surface->hooked(flag, index))) : nullptr;
}

}  // namespace tessaly::gdi
