#pragma once
// Print scripts: a small line-based text format for drawings that are
// printed through the graphics layer's device context (tessaly-print
// --script FILE, the built-in test document, tests and benchmarks).
//
// One command a line; words are separated by blanks. A comment runs from a
// "#" at the start of a line, or a "#" followed by a blank, to the end of the
// line (outside quotes; "#" with hex digits is a colour). Texts and file names
// are in double quotes, with \" and \\ inside; the file is UTF-8. Numbers
// are decimals ("12", "-3.5", "1e2"); colours are #RRGGBB. Coordinates are
// in the script's unit with the origin at the top-left corner of the page
// and y downward.
//
// Header (before the first page):
//   units pt|mm|in|px           unit of every coordinate and size (default pt)
//   paper NAME | WxHmm          the paper the document asks for ("A4",
//                               "Letter", "100x150mm"); the command line wins
//   orientation portrait|landscape
// Private fonts (in the header or on a page):
//   fontfile "FILE" "FACE"      the font file (TrueType, OpenType or Type 1;
//                               relative to the script; at most 64 MB)
//                               registered from memory under the face name
//                               FACE (1 to 31 bytes), as a program registers
//                               fonts of its own: from this command to the
//                               end of the document, `font "FACE"` finds it
// Pages:
//   page ... endpage            one page; a page still open at the end of the
//                               file is ended there
// Drawing state (kept from page to page; transform and clip start afresh
// on every page):
//   pen none | COLOR [WIDTH] [solid|dash|dot|dashdot|dashdotdot]
//       [cap round|square|flat] [join round|bevel|miter] [dashes ON OFF ...]
//                               WIDTH 0 (the default) is the thin one-pixel pen
//   brush none | COLOR | hatch COLOR horizontal|vertical|fdiagonal|bdiagonal|cross|diagcross
//       | pattern W H [bits 8|24|32]
//                               a pattern brush whose tile is the generated
//                               picture at W x H pixels (1..256)
//   mix 1..16 | NAME            the foreground mix (R2 code) of pens and brushes:
//                               black notmergepen masknotpen notcopypen
//                               maskpennot not xorpen notmaskpen maskpen
//                               notxorpen nop mergenotpen copypen mergepennot
//                               mergepen white
//   fillmode alternate|winding
//   font "FAMILY" SIZE [bold] [italic] [underline] [strikeout] [charset N]
//                               SIZE is the em height; N is a character set
//                               code 0..255 (default 1, the default set)
//   textcolor COLOR
//   transform M11 M12 M21 M22 DX DY | translate DX DY | scale SX SY | rotate DEGREES
//                               applied before the current transform
//   save | restore
//   clip rect X Y W H | clip path | clip region X Y W H [X Y W H ...] | clip reset
//                               clip rect, clip path and clip region narrow
//                               the clip; clip path uses up the current path;
//                               a region's rectangles (at most 1000) are page
//                               rectangles, not turned by the transform
// Paths (move starts the current path; rect, ellipse, roundrect, polygon
// and polyline add to it while one is open):
//   move X Y | line X Y | curve X1 Y1 X2 Y2 X Y | close
//   fill | stroke | fillstroke  draw the current path and empty it
// Shapes (outside a path: filled with the brush and outlined with the pen):
//   rect X Y W H | ellipse X Y W H | roundrect X Y W H RW RH
//   polygon X Y X Y ... | polyline X Y X Y ...
// Text, pictures, gradients:
//   text X Y "TEXT" [spacing S] [opaque [COLOR]]
//                               baseline-left at (X, Y); with spacing each
//                               character starts S units after the one
//                               before; opaque fills the text's box with
//                               COLOR (white by default) first
//   glyphs X Y N N ...          glyph indices 0..65535 of the font (at most
//                               4096), baseline-left at (X, Y)
//   image X Y W H "FILE"        a BMP or PNG file (relative to the script)
//   image X Y W H builtin [bits 1|4|8|16|24|32] [rop ROP]
//                               a generated picture in that pixel format (24
//                               by default; 1 bit is a black-and-white mask, 4
//                               and 8 bits use a palette), copied with a
//                               raster operation; a negative W or H mirrors it
//   patblt X Y W H ROP          a rectangle filled with the brush through ROP
//   alphablend X Y W H ALPHA [perpixel]
//                               the generated picture blended with constant
//                               alpha 0..255 (perpixel: also with its own
//                               alpha, fading from left to right)
//   transparentblt X Y W H COLOR
//                               the generated picture with COLOR left out
//   gradient X Y W H COLOR COLOR [horizontal|vertical]
//   gradient triangle X Y COLOR X Y COLOR X Y COLOR [X Y COLOR X Y COLOR X Y COLOR ...]
//                               Gouraud-shaded triangles (at most 1000)
// A ROP is a ternary raster operation, 0..255 or 0x00..0xFF, or one of
// srccopy srcpaint srcand srcinvert srcerase notsrccopy notsrcerase
// mergecopy mergepaint patcopy patpaint patinvert dstinvert blackness
// whiteness.
//
// Pictures reach the device context in their own pixel format: 1-, 4- and
// 8-bit indices into their palettes, 16-bit 5-5-5 words, 24 and 32 bits.
//
// Every number is checked: coordinates are limited to +-1000000 units,
// widths and sizes to 0..10000, and lists and texts have caps (below). An
// error names the line: "line 12: expected a colour, found 'red'".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_context.h"

namespace tessaly::script {

inline constexpr double kMaxCoordinate = 1000000;
inline constexpr double kMaxSize = 10000;
inline constexpr size_t kMaxPoints = 10000;      // points of one polygon or polyline
inline constexpr size_t kMaxDashes = 16;         // dash lengths of one pen
inline constexpr size_t kMaxTextBytes = 4096;    // one quoted text
inline constexpr size_t kMaxGlyphs = 4096;       // indices of one glyphs command
inline constexpr size_t kMaxCommands = 1000000;  // commands of one script
inline constexpr size_t kMaxPages = 100000;
inline constexpr size_t kMaxRegionRects = 1000;  // rectangles of one clip region
inline constexpr size_t kMaxTriangles = 1000;    // triangles of one gradient
inline constexpr int kMaxPatternSide = 256;      // pixels of a pattern tile side
inline constexpr size_t kMaxFontFiles = 64;      // fontfile commands of one script
inline constexpr uint64_t kMaxFontFileBytes = 64u << 20;

enum class Unit { Point, Millimetre, Inch, Pixel };

enum class Op {
    Page,
    EndPage,
    Pen,
    Brush,
    FillMode,
    Font,
    TextColor,
    Transform,
    Save,
    Restore,
    ClipRect,
    ClipPath,
    ClipReset,
    Move,
    Line,
    Curve,
    Close,
    Fill,
    Stroke,
    FillStroke,
    Rect,
    Ellipse,
    RoundRect,
    Polygon,
    Polyline,
    Text,
    Image,
    BuiltinImage,
    Gradient,
    Mix,
    ClipRegion,
    PatBlt,
    AlphaBlend,
    TransparentBlt,
    GradientTriangles,
    Glyphs,
    FontFile,
};

// One parsed command; which fields mean something depends on the op.
struct Command {
    Op op = Op::Page;
    int line = 0;
    // Coordinates and sizes in script units, in the order of the command's
    // syntax (a transform: M11 M12 M21 M22 DX DY; triangles: X Y of each
    // vertex; a pattern brush: the tile's W H in pixels).
    std::vector<double> values;
    std::vector<gdi::Color> colors;  // the vertices' colours of triangles
    gdi::Pen pen;
    gdi::Brush brush;
    gdi::FillMode fillMode = gdi::FillMode::Alternate;
    gdi::Color color = 0;
    gdi::Color color2 = 0;
    bool vertical = false;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 1;        // DEFAULT_CHARSET
    bool opaque = false;    // text drawn over a box of `color`
    double spacing = -1;    // text: distance between characters, < 0 the font's
    int bits = 24;          // pixel format of a generated picture or pattern tile
    uint32_t rop = 0xCC;    // raster operation of image and patblt
    int mix = 13;           // R2 code of mix
    int alpha = 255;        // constant alpha of alphablend
    bool perPixel = false;  // alphablend with the picture's own alpha
    std::string text;       // font family or file name (UTF-8)
    std::u16string wide;    // text of a text command, glyph indices of glyphs, family of font,
                            // face name of fontfile
};

struct Script {
    Unit unit = Unit::Point;
    std::string paper;                 // as written, empty when not given
    std::optional<bool> landscape;
    std::vector<Command> commands;
    size_t pageCount = 0;
};

// Parses a whole script. 1, or 0 with "line N: why" in *error.
[[nodiscard]] int parseScript(std::string_view text, Script* out, std::string* error);

// Device pixels per script unit at a resolution.
double unitScale(Unit unit, double dpi);

struct PlayOptions {
    // Where relative image and font file names are found ("" = the current
    // directory).
    std::string baseDirectory;
    // The device's resolution, which turns script units into pixels.
    double dpi = 300;
};

// Draws the script's pages into a context whose document has been started.
// 1, or 0 with "line N: why" in *error (a drawing call that failed, an image
// or font file that cannot be read). The fonts the script registered are
// removed before it returns.
[[nodiscard]] int playScript(const Script& script, gdi::DeviceContext& dc, const PlayOptions& options,
                             std::string* error);

// The generated picture of "image ... builtin": width x height pixels,
// 24 bits, blue-green-red rows padded to 4 bytes.
std::vector<uint8_t> builtinPicture(int width, int height);

// The generated picture in a pixel format, as the device context takes it
// (see above); `view` points into `storage` and `palette`.
struct FormattedPicture {
    gdi::BitmapView view;
    std::vector<uint8_t> storage;
    std::vector<gdi::Color> palette;
};
// bits is 1, 4, 8, 16, 24 or 32 (anything else is taken as 24); with
// alphaRamp a 32-bit picture's alpha falls from 255 at the left to 0 at the
// right, its colours premultiplied.
void formattedPicture(int width, int height, int bits, bool alphaRamp, FormattedPicture& out);

// The built-in test document: several Letter pages of shapes, dashed lines,
// text in three fonts, a picture, a gradient and clipping.
std::string_view testDocumentScript();

}  // namespace tessaly::script
