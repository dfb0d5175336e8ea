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
// Pages:
//   page ... endpage            one page; a page still open at the end of the
//                               file is ended there
// Drawing state (kept from page to page; transform and clip start afresh
// on every page):
//   pen none | COLOR [WIDTH] [solid|dash|dot|dashdot|dashdotdot]
//       [cap round|square|flat] [join round|bevel|miter] [dashes ON OFF ...]
//                               WIDTH 0 (the default) is the thin one-pixel pen
//   brush none | COLOR | hatch COLOR horizontal|vertical|fdiagonal|bdiagonal|cross|diagcross
//   fillmode alternate|winding
//   font "FAMILY" SIZE [bold] [italic]
//   textcolor COLOR
//   transform M11 M12 M21 M22 DX DY | translate DX DY | scale SX SY | rotate DEGREES
//                               applied before the current transform
//   save | restore
//   clip rect X Y W H | clip path | clip reset
//                               clip rect and clip path narrow the clip; clip
//                               path uses up the current path
// Paths (move starts the current path; rect, ellipse, roundrect, polygon
// and polyline add to it while one is open):
//   move X Y | line X Y | curve X1 Y1 X2 Y2 X Y | close
//   fill | stroke | fillstroke  draw the current path and empty it
// Shapes (outside a path: filled with the brush and outlined with the pen):
//   rect X Y W H | ellipse X Y W H | roundrect X Y W H RW RH
//   polygon X Y X Y ... | polyline X Y X Y ...
// Text, pictures, gradients:
//   text X Y "TEXT"             baseline-left at (X, Y)
//   image X Y W H "FILE"        a BMP or PNG file (relative to the script)
//   image X Y W H builtin       a generated picture
//   gradient X Y W H COLOR COLOR [horizontal|vertical]
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
inline constexpr size_t kMaxCommands = 1000000;  // commands of one script
inline constexpr size_t kMaxPages = 100000;

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
};

// One parsed command; which fields mean something depends on the op.
struct Command {
    Op op = Op::Page;
    int line = 0;
    // Coordinates and sizes in script units, in the order of the command's
    // syntax (a transform: M11 M12 M21 M22 DX DY).
    std::vector<double> values;
    gdi::Pen pen;
    gdi::Brush brush;
    gdi::FillMode fillMode = gdi::FillMode::Alternate;
    gdi::Color color = 0;
    gdi::Color color2 = 0;
    bool vertical = false;
    bool bold = false;
    bool italic = false;
    std::string text;       // font family or file name (UTF-8)
    std::u16string wide;    // text of a text command
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
    // Where relative image file names are found ("" = the current directory).
    std::string baseDirectory;
    // The device's resolution, which turns script units into pixels.
    double dpi = 300;
};

// Draws the script's pages into a context whose document has been started.
// 1, or 0 with "line N: why" in *error (a drawing call that failed, an image
// that cannot be read).
[[nodiscard]] int playScript(const Script& script, gdi::DeviceContext& dc, const PlayOptions& options,
                             std::string* error);

// The generated picture of "image ... builtin": width x height pixels,
// 24 bits, blue-green-red rows padded to 4 bytes.
std::vector<uint8_t> builtinPicture(int width, int height);

// The built-in test document: several Letter pages of shapes, dashed lines,
// text in three fonts, a picture, a gradient and clipping.
std::string_view testDocumentScript();

}  // namespace tessaly::script
