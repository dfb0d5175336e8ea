#pragma once
// The PDF front end: opens a PDF and plays each of its pages into the
// graphics layer's device context, as a Windows application prints a
// document through GDI. The PDF is read and interpreted by poppler; nothing
// of poppler shows in this header.
//
// What a page brings to the device context today: paths filled with either
// rule, strokes (width, dashes, caps, joins, miter limit), clipping by paths
// and by stroke outlines, the page's transforms, solid colours of every
// colour space (converted to RGB), images (stencil masks, colour-key, hard
// and soft masks as per-pixel alpha), shadings and tiling patterns as the
// small fills poppler breaks them into, Type 3 glyphs as paths (their text
// kept as invisible text in an installed face). Other text is text
// at the PDF's glyph positions: in the document's embedded fonts (TrueType,
// CFF, Type 1 and OpenType, simple and CID-keyed; registered as private fonts
// while the document is open, each glyph known by its Unicode value, else a
// private-use value), or in an installed face of the font's style when it has
// no usable file. Invisible text (render mode 3) is handed over as invisible
// text, stroked text as its outlines stroked (mode 1 also as invisible text),
// and clipping text clips by its glyph outlines; vertical text goes glyph
// by glyph. Fully transparent paint is left out. Partial opacity and
// transparency groups are not expressed yet.
//
// Pages are numbered from 1. Operations return 1 for success and 0 for
// failure with one line in *error; nothing here throws.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_context.h"

namespace tessaly::pdf {

enum class PdfError {
    None,
    CannotOpen,  // the file cannot be read
    Damaged,     // not a PDF, or one poppler cannot repair
    Encrypted,   // a password is needed, or the one given is wrong
    BadPage,     // a page number outside the document
    Drawing,     // the device context refused a drawing call
};

// A page's size in points (1/72 inch) as it is shown: its crop box, turned
// by the page's rotation.
struct PageSize {
    double widthPt = 0;
    double heightPt = 0;
};

// The largest page side accepted, in points (3276.7 mm, the largest paper a
// device mode holds); larger boxes are clamped to it, smaller ones to 1 pt.
inline constexpr double kMaxPageSidePt = 3276.7 / 25.4 * 72;

// The operations a page may run before it is cut short: a page
// whose content never ends, or forms that draw each other over and over,
// still end, with what was drawn so far.
inline constexpr uint64_t kMaxPageOperations = 4000000;

struct PlayOptions {
    // When the device's page differs from the PDF page, the PDF page is
    // scaled to fit it and centred (true), or drawn at its own size from the
    // top-left corner (false).
    bool fit = true;
    // Degrees clockwise (0, 90, 180 or 270) the page is turned on top of its
    // own rotation: a page a print server laid out turned on the sheet is
    // turned back with it.
    int turn = 0;
    // The operations cap of the page, counted twice over: what reaches the
    // device (paths painted and clipped, glyphs, images, saves, forms
    // entered) and the page's own operators; 0: none.
    uint64_t maxOperations = kMaxPageOperations;
    // When given: one line saying what the page left out (it was cut short,
    // or could not be read and is blank), or cleared when it was played whole.
    std::string* note = nullptr;
};

class Document {
public:
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Opens a file. `password` is tried as both the owner and the user
    // password. Null with one line in *error (naming the file) and the kind
    // in *kind when given.
    static std::unique_ptr<Document> open(const std::string& path, const std::optional<std::string>& password,
                                          std::string* error, PdfError* kind = nullptr);
    // The same over bytes in memory (copied); `name` stands for the file in
    // messages.
    static std::unique_ptr<Document> openBytes(std::span<const uint8_t> bytes, std::string_view name,
                                               const std::optional<std::string>& password, std::string* error,
                                               PdfError* kind = nullptr);

    [[nodiscard]] int pageCount() const;
    // The size of a page; {0, 0} for a number outside the document.
    // turn: as PlayOptions::turn (a quarter turn swaps the sides).
    [[nodiscard]] PageSize pageSize(int page, int turn = 0) const;
    // The document's title from its information dictionary (UTF-8), or "".
    [[nodiscard]] std::string title() const;

    // Plays one page: dc.startPage(), the page's drawing at the device's
    // resolution, dc.endPage(). The page is always ended once started; a
    // drawing call the context refused makes the result 0 with the first
    // refusal's reason. A page cut short by the operations cap is a success
    // (what was drawn stays) with a note.
    [[nodiscard]] int playPage(int page, gdi::PrinterDevice& device, gdi::DeviceContext& dc, std::string* error,
                               const PlayOptions& options = {}, PdfError* kind = nullptr);

    struct Impl;

private:
    explicit Document(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// A page range as "1-3,5,8-" ("-4": up to 4, "8-": from 8 to the end, blanks
// ignored) over a document of pageCount pages: the pages in the order given.
// 0 with one line in *error for a malformed range or a page outside
// 1..pageCount.
[[nodiscard]] int parsePageRange(std::string_view text, int pageCount, std::vector<int>* pages, std::string* error);

}  // namespace tessaly::pdf
