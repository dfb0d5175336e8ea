#pragma once
// What a CUPS job tells the backend, turned into what the printer driver
// understands: the job's options (the fifth argument, "name=value ..."),
// the PPD the queue offers (made from the driver's paper table), and the
// job's title as a document name. Everything here comes from the job and
// is untrusted: sizes are capped, unknown or malformed options are ignored.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::cups {

// At most this many options and this many bytes of option text are read.
inline constexpr size_t kMaxOptions = 256;
inline constexpr size_t kMaxOptionText = 65536;

// Splits the option string as CUPS writes it: options separated by blanks,
// each "name", "name=value" or "noname" (a boolean; "name" gives "true",
// "noname" gives "false"); a value may be quoted with ' or " and may use
// backslash escapes; a {...} collection is kept as it is.
std::vector<std::pair<std::string, std::string>> parseOptions(std::string_view text);

// What the job asks of the printer.
struct JobRequest {
    std::string paperName;  // a full name from the driver's paper table, or empty
    bool landscape = false;
    // The orientation came as orientation-requested or landscape: CUPS's
    // pdftopdf has then already laid each page out turned on the sheet, as
    // for paper. Degrees clockwise (90, 180, 270) that turn the pages back
    // upright, so that the movie shows them as they are read; 0: none.
    int turnBack = 0;
    int dpi = 0;            // 0: the printer's
};

// media, PageSize, PageRegion: a paper of the table by its PPD keyword, its
// full name or its first word (case ignored); orientation-requested 4 or 5
// and landscape: landscape, laid out turned by CUPS's filter (turnBack); the
// PPD's Orientation: landscape for the driver to apply; Resolution and printer-resolution ("600dpi",
// "600x600dpi"): the resolution, 1 to 2400.
JobRequest mapOptions(const std::vector<std::pair<std::string, std::string>>& options);

// The PPD keyword of a paper of the table ("A4", "Letter", "10x11in").
std::string paperKeyword(std::string_view paperName);

// The queue's PPD: asks CUPS for PDF and offers the driver's papers and
// resolutions; Letter at 300 dpi by default.
std::string makePpd(std::string_view modelName);

// A job title as the document's name: control characters become blanks,
// invalid UTF-8 bytes become '?', at most maxBytes bytes (a whole character
// at the end); an empty title gives the fallback.
std::string documentName(std::string_view title, std::string_view fallback, size_t maxBytes = 255);

}  // namespace tessaly::cups
