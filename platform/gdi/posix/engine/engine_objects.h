#pragma once
// The engine's objects behind the driver interface's handles and structures,
// and how the device context builds them.
//
// Every DDI structure handed to a driver is the first base of one of these
// classes (SURFOBJ of Surface, PATHOBJ of PathObject, ...), so a pointer the
// driver passes back is turned into the object with fromXxx(), which checks
// that the object is alive and refuses anything else (a foreign or stale
// pointer gives null, never a crash). Handles (HDEV, HSURF, HBITMAP,
// HPALETTE) are numbers looked up in a table, so a stale handle is refused
// as well.
//
// Objects the device context builds for one call (ClipObject, BrushObject,
// XlateObject, XformObject, StringObject, and paths) may live on its stack;
// they register themselves on construction and unregister on destruction.
// None of them is copyable. The objects are not locked: one device is used
// by one thread at a time, as the spooler guarantees; the handle tables are
// shared and locked.

#include <pixman.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi_fonts.h"
#include "platform/winddi.h"

namespace tessaly::gdi {

class Surface;
class PathObject;
struct PixelRegion;

// Number of entries of a driver's function table (INDEX_Drv... values).
constexpr ULONG kDriverFunctionCount = 93;

// ---------------------------------------------------------------------------
// The engine device behind an HDEV: the driver's hooked functions and the
// device it enabled. The device context creates it from the driver's
// DRVENABLEDATA, fills dhpdev, the capabilities and the surface as the
// driver hands them out (DrvEnablePDEV, DrvEnableSurface), and destroys it
// after DrvDisablePDEV.
class Device {
public:
    explicit Device(const DRVENABLEDATA& data);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    HDEV handle() const { return handle_; }
    static Device* fromHandle(HDEV hdev);

    ULONG driverVersion() const { return driverVersion_; }
    // The driver's function for an INDEX_Drv... value, null when it has none.
    PFN function(ULONG index) const { return index < kDriverFunctionCount ? functions_[index] : nullptr; }
    template <class Fn>
    Fn drv(ULONG index) const {
        // Through void(*)(), the generic function pointer type.
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(function(index)));
    }

    DHPDEV dhpdev = nullptr;
    GDIINFO gdiInfo{};
    DEVINFO devInfo{};
    HSURF surface = nullptr;  // what DrvEnableSurface returned

private:
    HDEV handle_ = nullptr;
    ULONG driverVersion_ = 0;
    std::array<PFN, kDriverFunctionCount> functions_{};
};

// ---------------------------------------------------------------------------
// Palettes behind HPALETTE. Colours are kept as the caller gave them:
// PAL_INDEXED entries as 0x00BBGGRR (PALETTEENTRY order, red in the low
// byte); PAL_BGR surfaces take colours as 0x00RRGGBB (blue in the low byte,
// the byte order B,G,R of a 24-bit pixel); PAL_RGB as 0x00BBGGRR;
// PAL_BITFIELDS by the three masks.
class Palette {
public:
    Palette(ULONG mode, const ULONG* colors, ULONG count, FLONG red, FLONG green, FLONG blue);
    ~Palette();
    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    HPALETTE handle() const { return handle_; }
    static Palette* fromHandle(HPALETTE hpal);

    ULONG mode() const { return mode_; }
    const std::vector<ULONG>& colors() const { return colors_; }
    // A colour of this palette (an index for PAL_INDEXED) as 0x00BBGGRR.
    ULONG toColorref(ULONG color) const;
    // The colour of this palette nearest to a 0x00BBGGRR colour.
    ULONG fromColorref(ULONG colorref) const;

private:
    HPALETTE handle_ = nullptr;
    ULONG mode_ = 0;
    std::vector<ULONG> colors_;
    FLONG masks_[3] = {0, 0, 0};
};

// ---------------------------------------------------------------------------
// Surfaces behind HSURF and HBITMAP (the same number). An engine bitmap
// holds its bits (its own memory or the caller's) and a pixman image over
// them; a device-managed surface has no bits.
class Surface : public SURFOBJ {
public:
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    static Surface* fromHandle(HSURF hsurf);
    static Surface* fromSurfobj(const SURFOBJ* pso);

    // A bitmap of the given format; pvBits null means the engine allocates
    // the bits (zeroed unless BMF_NOZEROINIT). Null when the format or size
    // is bad or memory is refused. Same rules as EngCreateBitmap, without
    // the byte limit and the observer.
    static std::unique_ptr<Surface> createBitmap(SIZEL size, LONG width, ULONG format, FLONG flags,
                                                 void* bits);
    // Registers an owned surface in the handle table; the table owns it
    // until EngDeleteSurface.
    static HSURF adopt(std::unique_ptr<Surface> surface);

    // A pixman image over the bits (null for a surface without bits or a
    // format pixman cannot address, such as 1 and 4 bits per pixel).
    pixman_image_t* image() const { return image_; }
    uint8_t* row(LONG y) const { return static_cast<uint8_t*>(pvScan0) + static_cast<ptrdiff_t>(y) * lDelta; }
    int bitsPerPixel() const;

    // EngAssociateSurface's record.
    FLONG hooks = 0;
    Device* device() const { return Device::fromHandle(hdev); }
    // The driver's hooked function when this surface is associated with a
    // device that hooks it (flag HOOK_..., index INDEX_Drv...), else null.
    PFN hooked(FLONG hookFlag, ULONG index) const;

    bool banding = false;     // EngMarkBandingSurface
    HPALETTE palette = nullptr;  // palette of indexed bitmaps, if any

    // Deferred drawing (deferral.h); null while the surface draws at once.
    struct Deferral;
    std::unique_ptr<Deferral> deferral;

private:
    Surface();
    pixman_image_t* image_ = nullptr;
    std::unique_ptr<uint8_t[]> owned_;
};

// ---------------------------------------------------------------------------
// A path of sub-paths of POINTFIX points (28.4 device coordinates), each a
// start point followed by runs of lines or cubic Béziers (three points per
// curve), optionally closed. Enumeration hands out one record per run: the
// first run of a sub-path carries the start point and PD_BEGINSUBPATH, the
// last one PD_ENDSUBPATH (and PD_CLOSEFIGURE when closed), Bézier runs
// PD_BEZIERS. A sub-path of a lone point is one record of one point.
class PathObject : public PATHOBJ {
public:
    PathObject();
    ~PathObject();
    PathObject(const PathObject&) = delete;
    PathObject& operator=(const PathObject&) = delete;

    static PathObject* fromPathobj(const PATHOBJ* ppo);

    // Building (PATHOBJ_bMoveTo, bPolyLineTo, bPolyBezierTo, bCloseFigure).
    // A move after a move replaces the first one. Lines or curves without a
    // move of their own begin a sub-path at the current point: (0, 0) at
    // first, a closed figure's start after bCloseFigure.
    bool moveTo(POINTFIX point);
    bool lineTo(const POINTFIX* points, ULONG count);
    bool lineTo(POINTFIX point) { return lineTo(&point, 1); }
    // count must be a multiple of 3.
    bool bezierTo(const POINTFIX* points, ULONG count);
    bool bezierTo(POINTFIX c1, POINTFIX c2, POINTFIX end);
    bool closeFigure();
    // Marks the current sub-path's first record with PD_RESETSTYLE.
    void resetStyle();
    void clear();
    // Moves every point.
    void offset(FIX dx, FIX dy);
    // A deep copy (registered like any other path).
    std::unique_ptr<PathObject> clone() const;
    // Lines instead of curves (each Bézier cut into line pieces no longer
    // than about a pixel's flatness); what GDI does before retrying a call
    // that a driver declined.
    std::unique_ptr<PathObject> flattened() const;

    bool empty() const { return records_.empty(); }
    RECTFX bounds() const;  // all points, control points included; zero when empty
    POINTFIX currentPoint() const { return current_; }

    // Enumeration (PATHOBJ_vEnumStart / PATHOBJ_bEnum).
    void enumStart() { cursor_ = 0; }
    bool enumerate(PATHDATA* data);

    struct Record {
        FLONG flags = 0;
        std::vector<POINTFIX> points;
    };
    const std::vector<Record>& records() const { return records_; }

    // Clip-line enumeration (PATHOBJ_vEnumStartClipLines, bEnumClipLines).
    struct ClipLines;
    ClipLines* clipLines() const { return clipLines_.get(); }
    void setClipLines(std::unique_ptr<ClipLines> lines);

private:
    void update();  // fl and cCurves
    Record& openRun(bool bezier);

    std::vector<Record> records_;
    size_t subpathFirst_ = 0;  // index of the current sub-path's first record
    bool open_ = false;        // a sub-path is open for more segments
    POINTFIX current_{0, 0};
    size_t cursor_ = 0;
    std::unique_ptr<ClipLines> clipLines_;
};

// ---------------------------------------------------------------------------
// A clip: trivial (DC_TRIVIAL, nothing clipped), one rectangle (DC_RECT) or
// a region (DC_COMPLEX), kept as a pixman region in device pixels, with an
// optional path of the same area for TC_PATHOBJ. rclBounds is the region's
// extent (for a trivial clip: what the caller sets, the surface by default).
class ClipObject : public CLIPOBJ {
public:
    ClipObject();  // trivial, unbounded
    ~ClipObject();
    ClipObject(const ClipObject&) = delete;
    ClipObject& operator=(const ClipObject&) = delete;

    static ClipObject* fromClipobj(const CLIPOBJ* pco);

    void setTrivial(const RECTL& bounds);
    void setRect(const RECTL& rect);  // an empty rectangle clips everything away
    // A region; one rectangle becomes DC_RECT.
    void setRegion(const pixman_region32_t* region);
    void setRects(const RECTL* rects, ULONG count);
    // Keeps a path describing the region (TC_PATHOBJ); setting it does not
    // change the region. Null goes back to TC_RECTANGLES.
    void setPath(std::unique_ptr<PathObject> path);
    // Intersects with a rectangle (a band); a trivial clip becomes DC_RECT.
    void intersect(const RECTL& rect);
    void offset(LONG dx, LONG dy);

    // The clip area; for a trivial clip the bounds.
    const pixman_region32_t* region() const { return &region_; }
    const PathObject* path() const { return path_.get(); }
    bool isEmpty() const;

    // Enumeration (CLIPOBJ_cEnumStart / CLIPOBJ_bEnum).
    ULONG enumStart(bool all, ULONG type, ULONG direction, ULONG limit);
    bool enumerate(ULONG bytes, ENUMRECTS* out);

private:
    void refresh();
    pixman_region32_t region_;
    std::unique_ptr<PathObject> path_;
    std::vector<RECTL> order_;
    size_t cursor_ = 0;
    bool started_ = false;
};

// ---------------------------------------------------------------------------
// A brush: a solid colour in the target surface's format (iSolidColor), or a
// pattern (iSolidColor 0xFFFFFFFF): an 8x8 hatch or a bitmap, kept as a
// 24-bit B,G,R top-down tile repeated from the brush origin.
class BrushObject : public BRUSHOBJ {
public:
    BrushObject();  // solid black
    explicit BrushObject(ULONG solidColor);
    ~BrushObject();
    BrushObject(const BrushObject&) = delete;
    BrushObject& operator=(const BrushObject&) = delete;

    static BrushObject* fromBrushobj(const BRUSHOBJ* pbo);

    // colorref is the logical colour (0x00BBGGRR) that
    // BRUSHOBJ_ulGetBrushColor reports; deviceColor is it in the surface's
    // format (0x00RRGGBB for the printer's 24-bit surface).
    void setSolid(ULONG deviceColor, ULONG colorref);
    // A tile of B,G,R pixels (24 bits, rows of `stride` bytes).
    void setPattern(const uint8_t* bgr, LONG width, LONG height, LONG stride);
    // HS_HORIZONTAL (0) .. HS_DIAGCROSS (5) in fore/back colours (0x00RRGGBB),
    // background transparent when transparent is set.
    void setHatch(ULONG style, ULONG foreRgb, ULONG backRgb, bool transparent);

    bool isSolid() const { return iSolidColor != 0xFFFFFFFF; }
    ULONG colorref() const { return colorref_; }
    // The tile (null for a solid brush): B,G,R,A rows (PIXMAN_a8r8g8b8,
    // alpha 0 where a hatch is transparent).
    pixman_image_t* pattern() const { return pattern_; }
    LONG patternWidth() const { return patternWidth_; }
    LONG patternHeight() const { return patternHeight_; }
    ULONG hatchStyle() const { return hatch_; }  // 0xFFFFFFFF unless a hatch

    // For DrvRealizeBrush and BRUSHOBJ_pvGetRbrush: the surface the brush is
    // used on (set by the caller before the call).
    SURFOBJ* target = nullptr;
    void* allocRealization(ULONG bytes);

private:
    void dropPattern();
    ULONG colorref_ = 0;
    pixman_image_t* pattern_ = nullptr;
    std::vector<uint32_t> patternBits_;
    LONG patternWidth_ = 0;
    LONG patternHeight_ = 0;
    ULONG hatch_ = 0xFFFFFFFF;
    std::unique_ptr<uint8_t[]> realization_;
};

// ---------------------------------------------------------------------------
// Colour translation from a source surface's colours to the target's.
// Trivial when both use the same format; a table (XO_TABLE, pulXlate) for
// indexed sources; otherwise per colour through the two palettes.
class XlateObject : public XLATEOBJ {
public:
    XlateObject();  // trivial
    // source/target null: the format's natural colours (24/32 bits as
    // 0x00RRGGBB).
    XlateObject(const Palette* source, const Palette* target);
    ~XlateObject();
    XlateObject(const XlateObject&) = delete;
    XlateObject& operator=(const XlateObject&) = delete;

    static XlateObject* fromXlateobj(const XLATEOBJ* pxlo);

    // An indexed source given as 0x00BBGGRR entries (a DIB's colour table).
    void setSourceColors(const ULONG* colorrefs, ULONG count);

    ULONG translate(ULONG color) const;
    // The palettes' entries as 0x00BBGGRR (XLATEOBJ_cGetPalette).
    const std::vector<ULONG>& sourceColors() const { return sourceColors_; }
    const std::vector<ULONG>& targetColors() const { return targetColors_; }

private:
    void build();
    ULONG sourceMode_ = PAL_BGR;
    ULONG targetMode_ = PAL_BGR;
    std::vector<ULONG> sourceColors_;
    std::vector<ULONG> targetColors_;
    std::vector<ULONG> table_;
};

// ---------------------------------------------------------------------------
// A world-to-device transform (x' = x*eM11 + y*eM21 + eDx, y' = x*eM12 +
// y*eM22 + eDy).
class XformObject : public XFORMOBJ {
public:
    XformObject();  // identity
    explicit XformObject(const XFORML& matrix);
    ~XformObject();
    XformObject(const XformObject&) = delete;
    XformObject& operator=(const XformObject&) = delete;

    static XformObject* fromXformobj(const XFORMOBJ* pxo);

    void set(const XFORML& matrix) { matrix_ = matrix; }
    const XFORML& matrix() const { return matrix_; }
    ULONG complexity() const;  // GX_IDENTITY, GX_OFFSET, GX_SCALE or GX_GENERAL
    bool apply(ULONG mode, ULONG count, const void* in, void* out) const;

private:
    XFORML matrix_{1, 0, 0, 1, 0, 0};
};

// ---------------------------------------------------------------------------
// A realized font: a logical font of the font layer at a device size.
// Glyph handles are the face's glyph indices. Outlines are paths in device
// FIX units relative to the glyph origin (y down), through the font's
// transform.
struct FontRequest {
    // lfHeight in device pixels (negative: the em; positive: the cell
    // height); lfWidth 0; lfEscapement in tenths of a degree rotates the
    // baseline counter-clockwise.
    LOGFONTW logFont{};
    // An extra linear transform from em space (pixels, y down) to the
    // device, applied after the escapement (identity: plain text).
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1;
    // The device resolution (FONTOBJ sizLogResPpi).
    LONG dpiX = 300, dpiY = 300;
};

class FontObject : public FONTOBJ {
public:
    // Null when no face can be realized.
    static std::unique_ptr<FontObject> create(const FontRequest& request);
    ~FontObject();
    FontObject(const FontObject&) = delete;
    FontObject& operator=(const FontObject&) = delete;

    static FontObject* fromFontobj(const FONTOBJ* pfo);

    // The glyph for a character (the default glyph 0 when the font lacks it).
    HGLYPH glyph(char32_t character) const;
    // The advance of a glyph in device units (x, y) through the transform.
    bool advance(HGLYPH glyph, double* dx, double* dy);
    // The glyph's record: its outline (gdf.ppo), advance and ink box.
    const GLYPHDATA* glyphData(HGLYPH glyph);
    // The glyph's 1-bit image (FO_GLYPHBITS), or null for an empty glyph.
    GLYPHBITS* glyphBits(HGLYPH glyph);
    // The pixels the glyph covers with its origin at (0, 0) (see
    // glyphPixels), kept, since text sits at whole pixels; null for an
    // unknown glyph and for glyphs too large to keep (draw those with
    // glyphPixels from glyphData's outline).
    const pixman_region32_t* glyphRegion(HGLYPH glyph);

    // Ascent and descent of the font in device pixels along its y axis.
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    double emPixels() const { return em_; }
    const TEXTMETRICW& textMetrics() const { return metrics_; }
    const FontRequest& request() const { return request_; }

    // The font file (mapped or read once), its path as a list of names
    // ending with an empty one, and one of its tables by a tag with the
    // first letter in the low byte (as Windows spells tags); null when
    // there is none.
    const void* fontFile(ULONG* bytes);
    const char16_t* fontFilePaths(ULONG* characters);
    const uint8_t* openTypeTable(ULONG tag, ULONG* bytes);

    IFIMETRICS* ifiMetrics();
    FD_GLYPHSET* glyphSet();
    XformObject* transform() { return xform_.get(); }
    ULONG allGlyphHandles(HGLYPH* handles);
    void info(ULONG bytes, FONTINFO* out);

    struct Impl;

private:
    FontObject();
    std::unique_ptr<Impl> impl_;
    FontRequest request_;
    std::unique_ptr<XformObject> xform_;
    TEXTMETRICW metrics_{};
    double ascent_ = 0, descent_ = 0, em_ = 0;
};

// The pixels of a glyph outline placed with its origin at the device pixel
// `origin`, within `limit`: those whose centres the outline covers. A
// glyph's origin is the top-left corner of its pixel, as font rasterisers
// (and movie players) place glyphs, while device coordinates are pixel
// centres: the outline is sampled half a pixel right of and below them.
bool glyphPixels(const PathObject& outline, POINTL origin, const RECTL& limit, PixelRegion* out);

// ---------------------------------------------------------------------------
// A string of glyphs at device positions (integer pixels on the baseline).
class StringObject : public STROBJ {
public:
    StringObject();
    ~StringObject();
    StringObject(const StringObject&) = delete;
    StringObject& operator=(const StringObject&) = delete;

    static StringObject* fromStrobj(const STROBJ* pstro);

    // Lays out text of the font from the origin (device pixels, the first
    // glyph's origin on the baseline). advances, when given, are the
    // distances from each character's origin to the next along the
    // baseline in device pixels (ExtTextOut's lpDx); otherwise the font's
    // advances are used (SO_FLAG_DEFAULT_PLACEMENT). Sets the glyphs,
    // positions, pwszOrg, flAccel, ulCharInc and rclBkGround (the text's box
    // from ascent to descent). With `glyphIndices` the text holds glyph
    // indices (ETO_GLYPH_INDEX): pwszOrg carries the indices, as Windows
    // passes them, and flAccel has SO_GLYPHINDEX_TEXTOUT. `across`, when
    // given with advances, moves each next character across the baseline
    // (device pixels towards the descent): the glyphs then stand on several
    // lines, and the string is neither SO_HORIZONTAL nor SO_VERTICAL.
    bool layout(FontObject& font, const WCHAR* text, ULONG count, double x, double y,
                const double* advances, bool glyphIndices = false, const double* across = nullptr);
    // Glyphs given directly (ExtTextOut with ETO_GLYPH_INDEX): positions in
    // device pixels. pwszOrg is null.
    bool setGlyphs(FontObject& font, const HGLYPH* glyphs, const POINTL* positions, ULONG count);
    // Moves every position and the background box.
    void offset(LONG dx, LONG dy);

    FontObject* font() const { return font_; }
    const std::vector<GLYPHPOS>& positions() const { return glyphs_; }
    // The advance widths in device units of glyphs [first, first + count).
    bool advanceWidths(ULONG first, ULONG count, POINTQF* out);

    // Enumeration (STROBJ_vEnumStart / STROBJ_bEnum).
    void enumStart() { cursor_ = 0; }
    bool enumerate(ULONG* count, GLYPHPOS** glyphs, bool positionsOnly);

private:
    void finish(bool oneLine = true);
    FontObject* font_ = nullptr;
    std::vector<GLYPHPOS> glyphs_;
    std::vector<POINTQF> advances_;
    std::u16string text_;
    size_t cursor_ = 0;
};

}  // namespace tessaly::gdi
