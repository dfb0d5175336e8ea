#include "platform/spool_devmode.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/registry.h"

namespace tessaly {

static_assert(sizeof(DEVMODEW) == kDevModePublicSize);
static_assert((kDevModePublicSize + kDevModePrivateSize) % 4 == 0);

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The first word of a row's name, when it names the paper on its own (not
// the inch sizes, whose first word is a number, nor "German", "Japanese"
// and "US", which start several descriptions).
std::string_view shortName(std::string_view name) {
    const std::string_view word = name.substr(0, name.find(' '));
    if (word.empty() || std::isdigit(static_cast<unsigned char>(word[0]))) return {};
    if (word == "German" || word == "Japanese" || word == "US") return {};
    return word;
}

void setDword(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getDword(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

}  // namespace

PrinterDefaults readPrinterDefaults(const ValueStore& store) {
    PrinterDefaults defaults;
    uint32_t value = 0;
    if (store.readDword("DPI", &value) == kRegistryOk) defaults.dpi = value;
    if (store.readDword("WidthMM1000", &value) == kRegistryOk) defaults.widthMM1000 = value;
    if (store.readDword("HeightMM1000", &value) == kRegistryOk) defaults.heightMM1000 = value;
    if (store.readDword("SizeIndex", &value) == kRegistryOk) defaults.sizeIndex = static_cast<int32_t>(value);
    if (store.readDword("CustomWidthMM1000", &value) == kRegistryOk) defaults.customWidthMM1000 = value;
    if (store.readDword("CustomHeightMM1000", &value) == kRegistryOk) defaults.customHeightMM1000 = value;
    return defaults;
}

short paperCodeForName(std::string_view name) {
    for (const pagesmith::PaperSize& row : pagesmith::kPaperTable) {
        if (equalIgnoringCase(name, row.name)) return row.code;
    }
    for (const pagesmith::PaperSize& row : pagesmith::kPaperTable) {
        const std::string_view word = shortName(row.name);
        if (!word.empty() && equalIgnoringCase(name, word)) return row.code;
    }
    return 0;
}

PrinterDevMode::PrinterDevMode() : storage_(size() / 4, 0) {}

uint32_t PrinterDevMode::privateDword(size_t offset) const { return getDword(privatePart() + offset); }

void PrinterDevMode::setPrivateDword(size_t offset, uint32_t value) { setDword(privatePart() + offset, value); }

int buildDevMode(const PrinterDefaults& defaults, const void* settingsBlock, const PrintRequest& request,
                 PrinterDevMode* out, std::string* error) {
    auto refuse = [error](std::string text) {
        if (error) *error = std::move(text);
        return 0;
    };
    PrinterDevMode built;
    DEVMODEW* dm = built.devmode();
    static constexpr char16_t kDeviceName[] = u"Tessaly";
    std::copy(std::begin(kDeviceName), std::end(kDeviceName), dm->dmDeviceName);
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmDriverVersion = 0x0100;
    dm->dmSize = kDevModePublicSize;
    dm->dmDriverExtra = kDevModePrivateSize;

    if (!request.paperName.empty()) {
        const short code = paperCodeForName(request.paperName);
        if (code == 0) return refuse("unknown paper \"" + request.paperName + "\"");
        dm->dmFields |= DM_PAPERSIZE;
        dm->dmPaperSize = code;
    } else if (request.paperWidthTenths != 0 || request.paperLengthTenths != 0) {
        if (request.paperWidthTenths < 1 || request.paperWidthTenths > 32767 || request.paperLengthTenths < 1 ||
            request.paperLengthTenths > 32767) {
            return refuse("paper size out of range (0.1 to 3276.7 mm)");
        }
        dm->dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
        dm->dmPaperSize = kPaperCodeCustom;
        dm->dmPaperWidth = static_cast<short>(request.paperWidthTenths);
        dm->dmPaperLength = static_cast<short>(request.paperLengthTenths);
    }
    if (request.orientation) {
        if (*request.orientation != DMORIENT_PORTRAIT && *request.orientation != DMORIENT_LANDSCAPE) {
            return refuse("unknown orientation");
        }
        dm->dmFields |= DM_ORIENTATION;
        dm->dmOrientation = *request.orientation;
    }
    if (request.dpi != 0) {
        if (request.dpi < 1 || request.dpi > 32767) return refuse("resolution out of range (1 to 32767 dpi)");
        dm->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
        dm->dmPrintQuality = static_cast<short>(request.dpi);
        dm->dmYResolution = static_cast<short>(request.dpi);
    }

    built.setPrivateDword(0, kDevModeSignature);
    built.setPrivateDword(8, defaults.widthMM1000);
    built.setPrivateDword(12, defaults.heightMM1000);
    built.setPrivateDword(16, static_cast<uint32_t>(defaults.sizeIndex));
    built.setPrivateDword(20, defaults.customWidthMM1000);
    built.setPrivateDword(24, defaults.customHeightMM1000);
    built.setPrivateDword(32, defaults.dpi);
    uint8_t* block = built.privatePart() + kDevModeSettingsOffset;
    if (settingsBlock) std::memcpy(block, settingsBlock, kDevModeSettingsSize);
    if (request.imagePages) {
        uint32_t mechanics = getDword(block + kSettingsMechanicsOffset) & ~(kSettingsMechImage | kSettingsMechVector);
        mechanics |= *request.imagePages ? kSettingsMechImage : kSettingsMechVector;
        setDword(block + kSettingsMechanicsOffset, mechanics);
    }
    if (request.pageRasters) {
        setDword(block + kSettingsMechanicsOffset, getDword(block + kSettingsMechanicsOffset) | kSettingsMechPreview |
                                                       kSettingsMechPreviewSupported);
    }

    *out = std::move(built);
    return 1;
}

}  // namespace tessaly
