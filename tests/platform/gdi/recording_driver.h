#pragma once
// A small printer driver for the device context's tests: its hooks record
// what they are handed, render through the engine, and decline calls on
// request. One instance is active at a time (the hooks find it through a
// global pointer, as a driver finds its PDEV through the surface).

#include <cstring>
#include <string>
#include <vector>

#include "platform/device_context.h"
#include "platform/winddi.h"

namespace tessaly::gdi::testing {

struct Call {
    std::string name;                    // "DrvFillPath", "DrvStartPage", ...
    std::vector<PATHDATA> records;       // copies below (pointers into points)
    std::vector<std::vector<POINTFIX>> points;  // per path record
    std::vector<FLONG> recordFlags;
    bool beziers = false;                // the path had PO_BEZIERS
    int clipComplexity = -1;             // DC_TRIVIAL / DC_RECT / DC_COMPLEX
    RECTL clipBounds{};
    std::vector<RECTL> clipRects;        // the enumerated clip rectangles
    ULONG brushColor = 0;
    FLONG lineFlags = 0;
    float lineWidth = 0;
    std::vector<LONG> styleLongs;
    std::vector<float> styleReals;
    XFORML xform{};
    bool hasXform = false;
    MIX mix = 0;
    ROP4 rop4 = 0;
    FLONG options = 0;
    RECTL target{};
    POINTL origin{};                     // band origins
    std::u16string text;                 // DrvTextOut
    std::vector<POINTL> glyphPositions;
    std::vector<HGLYPH> glyphs;
    std::vector<RECTL> extraRects;       // up to the zero rectangle
    FLONG stringFlags = 0;               // STROBJ flAccel
    FLONG fontType = 0;                  // FONTOBJ flFontType
    ULONG fontUniq = 0;                  // FONTOBJ iUniq: the realization
    FLONG flags = 0;                     // DrvEndDoc
};

struct DriverConfig {
    LONG width = 200;
    LONG height = 150;
    LONG bandRows = 0;   // 0: no banding
    FLONG hooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_PLGBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH |
                  HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_COPYBITS | HOOK_TRANSPARENTBLT |
                  HOOK_ALPHABLEND | HOOK_GRADIENTFILL;
    // Declining: by hook name, always or only while the path has curves.
    std::vector<std::string> decline;
    std::vector<std::string> declineCurves;
    bool failNextBand = false;
    ULONG failEnablePdev = 0;     // a last error to fail DrvEnablePDEV with
    bool failEnableSurface = false;
};

class RecordingDriver {
public:
    explicit RecordingDriver(DriverConfig config = {});
    ~RecordingDriver();

    [[nodiscard]] const DRVENABLEDATA& enableData() const { return data_; }
    // Opens a device (and fails the test's expectations itself when it
    // cannot).
    std::unique_ptr<PrinterDevice> open(std::string* error = nullptr);

    DriverConfig config;
    std::vector<Call> calls;
    std::vector<uint8_t> page;  // the last sent page, B,G,R rows of width * 3 bytes
    int pagesSent = 0;
    int pdevsDisabled = 0;

    // Names of the calls in order.
    [[nodiscard]] std::vector<std::string> names() const;
    [[nodiscard]] std::vector<const Call*> named(const std::string& name) const;
    // A pixel of the last page as 0x00RRGGBB.
    [[nodiscard]] uint32_t pixel(int x, int y) const;

    // Driver state.
    HDEV hdev = nullptr;
    HSURF surface = nullptr;
    POINTL band{};  // the current band's origin

    bool declines(const std::string& hook, bool curves) const;
    void copyRows(SURFOBJ* so, LONG fromRow, LONG rows, LONG pageRow);

private:
    std::vector<DRVFN> table_;
    DRVENABLEDATA data_{};
};

}  // namespace tessaly::gdi::testing
