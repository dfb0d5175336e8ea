// Printed text on the whole printing road: random strings (blanks, control
// characters, lone and paired surrogates, markup characters, scripts the
// fonts may lack), glyph indices, world transforms (turns, shears, mirrors,
// huge and tiny scales), fonts (installed faces, long or odd names, names of
// no installed face, a private font registered under a random name), sizes,
// styles, character sets, character spacing, opaque rectangles and clips,
// through the device context's text call into the real printer driver
// loaded by the spool host, and the job it writes converted into a movie.
//
// Nothing may crash, and every job must finish and convert: a page or a
// document the driver fails, or a job the converter refuses, stops the run.

#include <sanitizer/lsan_interface.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_bytes.h"
#include "platform/device_context.h"
#include "platform/gdi_engine_control.h"
#include "platform/gdi_fonts.h"
#include "platform/spool_host.h"
#include "print_road.h"

using namespace tessaly;
using namespace tessaly::gdi;
using print_road::stop;

namespace {

struct Reader : FuzzBytes {
    int pick(int n) { return byte() % n; }
    bool chance(int percent) { return pick(100) < percent; }
    double coordinate(double extent) {
        const uint8_t kind = byte();
        if (kind < 0xF0) return (static_cast<double>(byte()) - 16.0) * extent / 224.0;
        switch (kind & 7) {
            case 0: return 1e9;
            case 1: return -1e9;
            case 2: return 2147483647.0;
            case 3: return static_cast<double>(word()) / 16.0;
            default: return -0.5;
        }
    }
    Color color() {
        if (byte() < 96) return 0;
        return (static_cast<Color>(byte()) << 16) | (static_cast<Color>(byte()) << 8) | byte();
    }
};

// A string of characters, or of glyph indices, of every kind the text call
// may meet.
std::u16string text(Reader& in, bool glyphIndices) {
    std::u16string s;
    const int length = in.pick(in.chance(10) ? 250 : 24);
    for (int i = 0; i < length && in.more(); ++i) {
        if (glyphIndices) {
            const uint8_t k = in.byte();
            s += k < 200 ? char16_t(k) : k < 240 ? char16_t(in.word() & 0x3FF) : char16_t(in.word());
            continue;
        }
        const uint8_t k = in.byte();
        if (k < 110) s += char16_t(u'a' + k % 26 - (k & 32 ? 32 : 0));
        else if (k < 130) s += u' ';
        else if (k < 140) s += char16_t(in.pick(32));  // control characters
        else if (k < 145) s += (k & 1) ? u'\u00a0' : u'\u3000';
        else if (k < 155) s += u"<>&\"'"[k % 5];
        else if (k < 165) s += char16_t(0xD800 + in.pick(0x800));  // a lone surrogate
        else if (k < 170) s += u"\U0001F600";
        else if (k < 185) s += char16_t(0x391 + in.pick(40));
        else if (k < 200) s += char16_t(0x410 + in.pick(64));
        else if (k < 215) s += char16_t(0x4E00 + in.pick(256));
        else if (k < 225) s += char16_t(0xC0 + in.pick(64));
        else if (k < 230) s += (k & 1) ? u'\uFFFF' : u'\uFFFE';
        else s += char16_t(in.word());
    }
    return s;
}

// Face names: installed faces, names of none, long and odd ones.
std::u16string faceName(Reader& in) {
    static const char16_t* const kNames[] = {
        u"DejaVu Sans", u"Liberation Serif", u"DejaVu Sans Mono", u"WenQuanYi Micro Hei", u"Arial",
        u"Times New Roman", u"DejaVu Math TeX Gyre", u"", u"No Such Face At All", u"Odd \"Quoted\" <Face> & Co",
        u"\u00c9l\u00e9gante \u4e2d\u6587", u"A Very Long Face Name Of Thirty-One", u"Fuzz Private"};
    const int k = in.pick(16);
    if (k < 13) return kNames[k];
    std::u16string s;
    const int length = in.pick(40);
    for (int i = 0; i < length; ++i) s += char16_t(in.byte() < 200 ? 32 + in.pick(95) : in.word());
    return s;
}

LOGFONTW font(Reader& in) {
    LOGFONTW f{};
    static const LONG kHeights[] = {-1, 0, 1, 3, -500, 4000, -100000, 2147483647, -2147483647};
    const uint8_t h = in.byte();
    f.lfHeight = h < 220 ? -(6 + h % 90) : kHeights[h % 9];
    f.lfWidth = in.chance(85) ? 0 : in.pick(200) - 20;
    f.lfEscapement = in.chance(70) ? 0 : (in.chance(50) ? 900 * in.pick(5) : in.word() % 7200);
    f.lfOrientation = in.chance(80) ? f.lfEscapement : in.pick(3600);
    f.lfWeight = in.chance(60) ? 400 : in.chance(70) ? 700 : in.pick(1100);
    f.lfItalic = in.chance(25);
    f.lfUnderline = in.chance(10);
    f.lfStrikeOut = in.chance(10);
    static const BYTE kSets[] = {DEFAULT_CHARSET, ANSI_CHARSET, SYMBOL_CHARSET, 128, 161, 204, 238, 255};
    f.lfCharSet = in.chance(80) ? kSets[in.pick(8)] : in.byte();
    f.lfPitchAndFamily = in.byte() & 0x33;
    const std::u16string name = faceName(in);
    // Longer names are cut as LOGFONT does, keeping the terminating zero.
    const size_t n = std::min<size_t>(name.size(), LF_FACESIZE - 1);
    std::copy(name.begin(), name.begin() + long(n), f.lfFaceName);
    return f;
}

Transform transform(Reader& in) {
    Transform t;
    switch (in.pick(8)) {
        case 0: break;
        case 1: {
            const double angle = in.byte() * 3.14159265358979 / 64.0;
            t.m11 = std::cos(angle), t.m12 = std::sin(angle), t.m21 = -std::sin(angle), t.m22 = std::cos(angle);
            break;
        }
        case 2: t.m21 = (in.byte() - 128) / 64.0; break;  // shears
        case 3: t.m12 = (in.byte() - 128) / 64.0; break;
        case 4: t.m11 = -1; break;  // mirrors
        case 5: t.m22 = -1; break;
        case 6: {
            static const double kScales[] = {1e-6, 1e-3, 0.05, 3, 40, 1e4, 1e7, 0};
            t.m11 = kScales[in.pick(8)], t.m22 = in.chance(50) ? t.m11 : kScales[in.pick(8)];
            break;
        }
        default:
            t.m11 = (in.byte() - 128) / 32.0, t.m12 = (in.byte() - 128) / 64.0;
            t.m21 = (in.byte() - 128) / 64.0, t.m22 = (in.byte() - 128) / 32.0;
            break;
    }
    t.dx = in.pick(400), t.dy = in.pick(400);
    return t;
}

RectD rect(Reader& in, double w, double h) {
    return RectD{in.coordinate(w), in.coordinate(h), in.coordinate(w), in.coordinate(h)};
}

// One text call with random options.
void textCall(Reader& in, DeviceContext& dc, double w, double h) {
    TextOptions options;
    options.glyphIndices = in.chance(20);
    const std::u16string s = text(in, options.glyphIndices);
    std::vector<double> advances;
    if (in.chance(30)) {
        // Usually one per character, sometimes too few or too many.
        const size_t count = in.chance(90) ? s.size() : size_t(in.pick(8));
        for (size_t i = 0; i < count; ++i) {
            const uint8_t k = in.byte();
            advances.push_back(k < 230 ? (k - 40) / 4.0
                               : k < 240 ? 1e9
                               : k < 250 ? -1e7
                                         : (k & 1 ? std::numeric_limits<double>::infinity()
                                                  : std::numeric_limits<double>::quiet_NaN()));
        }
        options.advances = advances;
    }
    RectD opaque, clip;
    if (in.chance(20)) options.opaque = &(opaque = rect(in, w, h));
    if (in.chance(20)) options.clip = &(clip = rect(in, w, h));
    (void)dc.textOut({in.coordinate(w), in.coordinate(h)}, s, options);
}

// The bytes of an installed face, read once, for registering as a private
// font.
const std::vector<char>& privateFontBytes() {
    static const std::vector<char> bytes = [] {
        std::ifstream file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
        return std::vector<char>((std::istreambuf_iterator<char>(file)), {});
    }();
    return bytes;
}

void call(Reader& in, DeviceContext& dc, double w, double h) {
    switch (in.pick(12)) {
        case 0:
        case 1: {
            const LOGFONTW f = font(in);
            (void)dc.setFont(f);
            break;
        }
        case 2: {
            const Transform t = transform(in);
            (void)dc.setTransform(t, in.chance(70) ? TransformMode::Set : TransformMode::LeftMultiply);
            break;
        }
        case 3:
            dc.setTextColor(in.color());
            dc.setBackgroundColor(in.color());
            dc.setBackgroundMode(in.chance(50) ? BackgroundMode::Opaque : BackgroundMode::Transparent);
            break;
        case 4:
            dc.setTextAlign(static_cast<TextAlignX>(in.pick(3)), static_cast<TextAlignY>(in.pick(3)));
            break;
        case 5:
            if (in.chance(70)) (void)dc.clipRect(rect(in, w, h), static_cast<ClipCombine>(in.pick(5)));
            else dc.resetClip();
            break;
        case 6:
            if (in.chance(50)) (void)dc.save();
            else (void)dc.restore(-1);
            break;
        default: textCall(in, dc, w, h); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& driver = print_road::driverPath();
    Reader in{{data, size}};
    print_road::Scratch scratch;

    SpoolOptions options;
    options.driverPath = driver;
    options.request.imagePages = false;
    options.request.dpi = 72 + in.pick(79);
    options.request.paperWidthTenths = 400 + in.pick(100) * 10;
    options.request.paperLengthTenths = 400 + in.pick(100) * 10;
    // Sometimes a surface of a few rows, so that the page is played in bands.
    const uint8_t bandKind = in.byte();
    setSurfaceByteLimit((bandKind & 7) == 0 ? uint64_t{16384} * (1 + bandKind / 8) : 0);

    // Sometimes a private font under a random name with a random glyph map
    // (the name may hide an installed face while it is registered).
    HANDLE privateFont = nullptr;
    if (in.chance(15) && !privateFontBytes().empty()) {
        std::u16string name = in.chance(50) ? std::u16string(u"Fuzz Private") : faceName(in);
        std::vector<std::pair<char32_t, uint32_t>> map;
        if (in.chance(50))
            for (int i = in.pick(12); i > 0; --i) {
                const auto character = char32_t(in.chance(80) ? 32 + in.pick(95) : in.word());
                map.emplace_back(character, uint32_t(in.pick(4000)));
            }
        const std::vector<char>& bytes = privateFontBytes();
        privateFont = fonts::addPrivateFont(bytes.data(), bytes.size(), name.c_str(), map);
    }

    std::string error;
    int pages = 0;
    {
        SpoolHost host;
        if (!host.open(options, &error)) stop("the spool host failed: " + error);
        PrinterDevice& device = host.device();
        const double w = device.pageWidth(), h = device.pageHeight();
        DeviceContext& dc = host.context();
        if (!dc.startDoc(u"fuzz", 1)) stop(dc.errorText());
        // Work per input stays bounded: at most 2 pages and 40 calls.
        int calls = 0;
        while (pages < 2 && (pages == 0 || in.more())) {
            if (!dc.startPage()) stop(dc.errorText());
            ++pages;
            const int count = 1 + in.pick(24);
            std::string refused;
            for (int i = 0; i < count && calls < 40 && in.more(); ++i, ++calls) {
                call(in, dc, w, h);
                if (refused.empty()) refused = dc.errorText();
                dc.clearError();
            }
            if (!dc.endPage()) stop("endPage failed: " + dc.errorText() + " (first call refused: " + refused + ")");
            if (calls >= 40) break;
        }
        if (!dc.endDoc()) stop("endDoc failed: " + dc.errorText());
        host.close();
    }
    setSurfaceByteLimit(0);
    if (privateFont && !fonts::removePrivateFont(privateFont)) stop("the private font was not registered");

    scratch.checkJob(pages);
    return 0;
}

// One text in two fonts printed before the run, out of the leak checker's
// sight: fontconfig loses some memory of its configuration when it starts,
// once per process, which is no leak of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const uint8_t kWarmUp[] = {0,  50, 50, 1,  99, 3,  0,  30, 0,   0,   0,   0,  99, 99, 99, 0,
                                      1,  0,  0,  7,  99, 99, 5,  7,  4,   11,  11,  14, 99, 99, 99, 0,
                                      100, 0, 100, 0, 30, 0,  0,  0,  0,   99,  99,  99, 0,  0,  0,  3,
                                      7,  99, 99, 3,  200, 201, 202, 99, 99, 99, 0, 100, 0, 120};
    __lsan::ScopedDisabler unchecked;
    return LLVMFuzzerTestOneInput(kWarmUp, sizeof kWarmUp);
}
