#pragma once
// The GDI side of the graphics layer: a printer device made from a driver's
// entry table, and the device context an application prints into.
//
// A PrinterDevice enables the driver's device and surface. A DeviceContext
// keeps the drawing state (transform, pen, brush, font, clip, ...) and turns
// each drawing call into the driver's hooked Drv... call with the driver
// interface's objects filled in, in device coordinates. When the surface
// does not hook a call, the engine's own function renders it. When a hook
// declines a call (returns FALSE), the context behaves as GDI does: curves
// are flattened into lines and the call is made again; what is still
// declined is broken into simpler calls (a fill becomes a paint of its
// region, a stroke a fill of its widened outline, text fills of its glyph
// outlines, a blit the engine's own blit).
//
// Pages of a banding surface are recorded and played band by band at
// endPage(), with band-relative coordinates.
//
// Conventions:
// - Colours are 0x00RRGGBB (red in bits 16 to 23, blue in the low byte); the
//   top byte is ignored.
// - World coordinates are doubles; the world transform maps them to device
//   pixels (x' = x*m11 + y*m21 + dx, y' = x*m12 + y*m22 + dy, as XFORM). The
//   initial transform is the identity, so world units are device pixels,
//   y downward, origin at the top-left corner of the page.
// - Operations return true for success and false for failure; the reason of
//   the first failure since the last clearError() is kept in errorText().
// - A new context starts as GDI's does: black one-pixel solid pen, white
//   solid brush, alternate fill mode, R2_COPYPEN, black text on an opaque
//   white background (text boxes are filled unless the background mode is
//   set to Transparent), text aligned at the top left, a 12-point Arial (the
//   font layer maps the name to an installed face), no clip.
// - Nothing here throws.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winddi.h"

namespace tessaly::gdi {

using Color = uint32_t;  // 0x00RRGGBB

struct PointD {
    double x = 0;
    double y = 0;
};

// A rectangle in world coordinates; right and bottom are exclusive as in GDI.
struct RectD {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// A world transform with XFORM's fields.
struct Transform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    // this applied first, then next
    [[nodiscard]] Transform then(const Transform& next) const;
    [[nodiscard]] PointD apply(PointD p) const;
    [[nodiscard]] bool invertible() const;
};

enum class TransformMode {
    Identity,       // reset to the identity (the given transform is ignored)
    LeftMultiply,   // the given transform applied before the current one
    RightMultiply,  // the given transform applied after the current one
    Set,            // replaces the current one
};

enum class PenStyle { Solid, Dash, Dot, DashDot, DashDotDot, Null, User, Alternate };
enum class LineCap { Round, Square, Flat };
enum class LineJoin { Round, Bevel, Miter };

struct Pen {
    PenStyle style = PenStyle::Solid;
    // A cosmetic pen is one device pixel wide whatever the transform; a
    // geometric pen is `width` world units wide and has caps and joins.
    bool geometric = false;
    double width = 1;
    Color color = 0x000000;
    LineCap cap = LineCap::Round;
    LineJoin join = LineJoin::Round;
    double miterLimit = 10;
    // For PenStyle::User: alternating on and off lengths, starting with on;
    // world units for a geometric pen, style units (three device pixels at
    // the printer's style step) for a cosmetic one.
    std::vector<double> dashes;
};

enum class BrushStyle { Null, Solid, Hatch, Pattern };
enum class HatchStyle { Horizontal, Vertical, ForwardDiagonal, BackwardDiagonal, Cross, DiagonalCross };

// Pixels a caller hands over (only borrowed for the duration of a call; the
// context copies what it keeps).
// - 1, 4 and 8 bits per pixel: palette indices (the leftmost pixel in the
//   high bits of a byte), `palette` with up to 256 colours; indices past
//   the palette show black.
// - 16 bits per pixel: little-endian words of 5-5-5 red, green, blue (the
//   top bit unused); a transparent colour is matched as its 5-5-5 word.
// - 24 bits per pixel: blue, green, red bytes.
// - 32 bits per pixel: blue, green, red, alpha bytes; for alphaBlend with
//   per-pixel alpha the colour bytes are premultiplied by alpha, as Windows
//   expects.
// Rows are `stride` bytes apart (at least the bytes of width pixels), top
// row first.
struct BitmapView {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    int stride = 0;
    const uint8_t* bits = nullptr;
    std::span<const Color> palette;
};

struct Brush {
    BrushStyle style = BrushStyle::Solid;
    Color color = 0xFFFFFF;  // solid colour, or the hatch lines' colour
    HatchStyle hatch = HatchStyle::Horizontal;
    // The pattern tile of BrushStyle::Pattern; copied when the brush is set.
    BitmapView pattern;
};

enum class FillMode { Alternate, Winding };
enum class BackgroundMode { Transparent, Opaque };
enum class ClipCombine { And, Copy, Or, Diff, Xor };

enum class TextAlignX { Left, Center, Right };
enum class TextAlignY { Top, Baseline, Bottom };

struct GradientVertex {
    double x = 0;
    double y = 0;
    Color color = 0;
    uint8_t alpha = 0xFF;
};

struct GradientTriangle {
    uint32_t a = 0, b = 0, c = 0;
};

// A device rectangle (pixels, right and bottom exclusive).
struct DeviceRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class DeviceContext;

// One enabled device of a driver: its PDEV, the engine device and the
// surface. Made by open(); the destructor disables surface and PDEV.
class PrinterDevice {
public:
    ~PrinterDevice();
    PrinterDevice(const PrinterDevice&) = delete;
    PrinterDevice& operator=(const PrinterDevice&) = delete;

    // Runs DrvEnablePDEV, creates the engine device, DrvCompletePDEV,
    // DrvEnableSurface and reads the surface. `driver` is what the driver's
    // DrvEnableDriver filled in; `devmode` may be changed by the driver.
    // On failure returns null and sets *error (when given) to one line naming
    // the step and the driver's last error.
    static std::unique_ptr<PrinterDevice> open(const DRVENABLEDATA& driver, DEVMODEW* devmode,
                                               std::u16string_view deviceName, std::string* error,
                                               HANDLE driverHandle = nullptr);

    // Disables surface and PDEV (also done by the destructor); once.
    void close();

    // Changes the device mode between pages (what ResetDC does): enables a
    // new PDEV for `devmode` (DrvEnablePDEV, DrvCompletePDEV), lets the
    // driver hand its state over (DrvResetPDEV(old, new)), disables the old
    // surface and PDEV and enables the new surface. The document goes on.
    // When the new PDEV or the hand-over fails, the old device stays and
    // the result is false; when the new surface fails, the device is closed.
    // *error (when given) gets one line. Use DeviceContext::resetDevice
    // while a context prints on the device.
    [[nodiscard]] bool reset(DEVMODEW* devmode, std::string* error);

    [[nodiscard]] int32_t pageWidth() const;   // surface pixels (GDIINFO ulHorzRes)
    [[nodiscard]] int32_t pageHeight() const;  // GDIINFO ulVertRes
    [[nodiscard]] int32_t dpiX() const;        // GDIINFO ulLogPixelsX
    [[nodiscard]] int32_t dpiY() const;
    [[nodiscard]] bool banding() const;        // the driver marked the surface for banding
    [[nodiscard]] int32_t bandHeight() const;  // surface rows (the page height without banding)
    [[nodiscard]] FLONG hooks() const;         // the surface's hook flags
    [[nodiscard]] const GDIINFO& gdiInfo() const;
    [[nodiscard]] const DEVINFO& devInfo() const;
    [[nodiscard]] SURFOBJ* surface() const;  // the driver's surface (locked while the device lives)
    [[nodiscard]] DHPDEV pdev() const;
    [[nodiscard]] HDEV engineDevice() const;
    // The driver's function with a DDI index (INDEX_Drv...), or null.
    [[nodiscard]] PFN function(ULONG index) const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    explicit PrinterDevice(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The options of a text call, as ExtTextOutW takes them.
struct TextOptions {
    // Distances to the next character in world units, one per character
    // (character spacing); empty: the font's own advances.
    std::span<const double> advances;
    // The advances come in pairs (ETO_PDY): per character the distance to
    // the next one along the baseline and across it (positive towards the
    // descent), so that one call can hold several lines. Underline and
    // strike-out follow each line.
    bool pairs = false;
    // Filled with the background colour first (ETO_OPAQUE).
    const RectD* opaque = nullptr;
    // The text is clipped to this world rectangle (ETO_CLIPPED); under a
    // rotating transform, to the rectangle's device bounding box.
    const RectD* clip = nullptr;
    // The text holds glyph indices of the font rather than characters
    // (ETO_GLYPH_INDEX).
    bool glyphIndices = false;
    // Text that is there to be found, not seen (a scanned page's text
    // layer): the driver gets it with a mix that leaves the surface as it
    // is, and nothing is painted when the driver declines it.
    bool invisible = false;
};

// The device context of one PrinterDevice (which must outlive it).
class DeviceContext {
public:
    explicit DeviceContext(PrinterDevice& device);
    ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    [[nodiscard]] const std::string& errorText() const;
    void clearError();

    // Document events. endDoc(true) ends an aborted document (ED_ABORTDOC).
    // endPage plays a recorded page band by band on a banding surface and
    // fails when any band or the page's events failed.
    [[nodiscard]] bool startDoc(std::u16string_view name, DWORD jobId);
    [[nodiscard]] bool startPage();
    [[nodiscard]] bool endPage();
    [[nodiscard]] bool endDoc(bool abort = false);
    [[nodiscard]] bool inPage() const;
    // A new device mode for the next pages (ResetDC): refused inside a page;
    // the drawing state stays.
    [[nodiscard]] bool resetDevice(DEVMODEW* devmode);

    // Drawing state. save() returns the new depth (>= 1); restore(n) goes
    // back to the state saved at depth n (negative: relative, -1 the last).
    int save();
    [[nodiscard]] bool restore(int level = -1);

    [[nodiscard]] bool setTransform(const Transform& transform, TransformMode mode = TransformMode::Set);
    [[nodiscard]] const Transform& transform() const;

    [[nodiscard]] bool setPen(const Pen& pen);
    [[nodiscard]] bool setBrush(const Brush& brush);
    void setFillMode(FillMode mode);
    void setMix(int rop2);  // R2_BLACK .. R2_WHITE, default R2_COPYPEN
    void setTextColor(Color color);
    void setBackgroundColor(Color color);
    void setBackgroundMode(BackgroundMode mode);
    // The font of the fonts layer; lfHeight < 0 is the em height in world
    // units, lfEscapement (tenths of a degree, counter-clockwise) turns the
    // baseline.
    [[nodiscard]] bool setFont(const LOGFONTW& font);
    void setTextAlign(TextAlignX x, TextAlignY y);

    // Clipping. Rectangles and paths are in world coordinates; a region is a
    // list of device rectangles. Every clip is also limited to the page.
    [[nodiscard]] bool clipRect(const RectD& rect, ClipCombine combine = ClipCombine::And);
    [[nodiscard]] bool clipRegion(std::span<const DeviceRect> rects, ClipCombine combine = ClipCombine::Copy);
    // The current path (closed by endPath) becomes the clip, with the current
    // fill mode; the path is used up.
    [[nodiscard]] bool clipPath(ClipCombine combine = ClipCombine::And);
    void resetClip();

    // Paths. Between beginPath and endPath the drawing calls below add to
    // the path instead of drawing; outside a path bracket moveTo sets the
    // current position and lineTo/bezierTo draw with the pen.
    [[nodiscard]] bool beginPath();
    [[nodiscard]] bool endPath();
    void abortPath();
    [[nodiscard]] bool moveTo(PointD p);
    [[nodiscard]] bool lineTo(PointD p);
    [[nodiscard]] bool bezierTo(PointD c1, PointD c2, PointD end);  // cubic
    [[nodiscard]] bool closeFigure();
    [[nodiscard]] bool fillPath();
    [[nodiscard]] bool strokePath();
    [[nodiscard]] bool strokeAndFillPath();
    // The finished path becomes the outline of its stroke with the current
    // pen (width, caps, joins, dashes), as closed figures to be filled or
    // clipped with the winding rule (WidenPath).
    [[nodiscard]] bool widenPath();

    // Shapes: added to the path inside a path bracket, else filled with the
    // brush and outlined with the pen (polyline: outlined only).
    [[nodiscard]] bool rectangle(const RectD& rect);
    [[nodiscard]] bool roundRect(const RectD& rect, double cornerWidth, double cornerHeight);
    [[nodiscard]] bool ellipse(const RectD& bounds);
    [[nodiscard]] bool polygon(std::span<const PointD> points);
    [[nodiscard]] bool polyline(std::span<const PointD> points);
    [[nodiscard]] bool polyPolygon(std::span<const PointD> points, std::span<const int> counts);

    // Bitmaps. The source rectangle is in bitmap pixels; rop3 is a ternary
    // raster operation code (the high word of SRCCOPY and friends, or the
    // full DWORD form).
    [[nodiscard]] bool stretchBlt(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                                  DWORD rop3 = SRCCOPY);
    // constantAlpha 0..255; perPixelAlpha uses the 32-bit source's alpha.
    [[nodiscard]] bool alphaBlend(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                                  uint8_t constantAlpha, bool perPixelAlpha);
    [[nodiscard]] bool transparentBlt(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                                      Color keyColor);
    // A rectangle filled with the brush through rop3 (PATCOPY, PATINVERT,
    // DSTINVERT, BLACKNESS, WHITENESS, ...); an operation that reads a
    // source bitmap is refused.
    [[nodiscard]] bool patBlt(const RectD& rect, DWORD rop3 = PATCOPY);

    // Gradients: a rectangle from `from` to `to` (horizontal: left to right,
    // vertical: top to bottom), and Gouraud-shaded triangles.
    [[nodiscard]] bool gradientRect(const RectD& rect, Color from, Color to, bool vertical);
    [[nodiscard]] bool gradientTriangles(std::span<const GradientVertex> vertices,
                                         std::span<const GradientTriangle> triangles);

    // Text with the selected font at a point (the text alignment decides
    // which point of the text it is). `advances` (world units, one per
    // character) replace the font's own advances when given. `opaque`, when
    // given, is filled with the background colour first (as ETO_OPAQUE).
    [[nodiscard]] bool textOut(PointD at, std::u16string_view text, std::span<const double> advances = {},
                               const RectD* opaque = nullptr);
    // The full text call: glyph indices, clipping; the font's underline and
    // strike-out are drawn with the text (handed to the driver as the text
    // call's extra rectangles when the baseline is horizontal or vertical).
    [[nodiscard]] bool textOut(PointD at, std::u16string_view text, const TextOptions& options);

    // The context's internals (the drawing files use them).
    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessaly::gdi
