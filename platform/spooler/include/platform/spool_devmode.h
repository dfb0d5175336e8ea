#pragma once
// The printer's device mode as the spool host hands it to the driver: the
// 220-byte public DEVMODEW followed by the driver's 2660-byte private part.
//
// The private part mirrors the printer's stored defaults (value store:
// DPI, WidthMM1000, HeightMM1000, SizeIndex, CustomWidthMM1000,
// CustomHeightMM1000) and carries the 2624-byte job settings block. What a
// job asks for (paper, orientation, resolution) goes into the public fields
// with their dmFields bits, and the driver resolves it into the private part.
//
// Private part, little-endian:
//   0 signature 0x12873465   8 width, micrometres   12 height, micrometres
//   16 size index            20 custom width        24 custom height
//   32 resolution, dpi       36 job settings block (2624 bytes)

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pagesmith/printer_devmode.h"
#include "platform/winddi.h"

namespace tessaly {

class ValueStore;

inline constexpr uint32_t kDevModeSignature = pagesmith::kPrivateSignature;
inline constexpr uint16_t kDevModePublicSize = pagesmith::kPublicDevmodeSize;
inline constexpr uint16_t kDevModePrivateSize = pagesmith::kPrivateDevmodeSize;
inline constexpr size_t kDevModeSettingsOffset = offsetof(pagesmith::PrivateDevmode, settings);
inline constexpr size_t kDevModeSettingsSize = sizeof(JobSettingsBlock);
// The mechanics flags inside the settings block, and their image and vector bits.
inline constexpr size_t kSettingsMechanicsOffset = offsetof(JobSettingsBlock, mechanics);
inline constexpr uint32_t kSettingsMechImage = kMechImage;
inline constexpr uint32_t kSettingsMechVector = kMechVector;
inline constexpr uint32_t kSettingsMechPreview = kMechPreview;
inline constexpr uint32_t kSettingsMechPreviewSupported = kMechPreviewSupported;
// The paper code of a size given in tenths of a millimetre.
inline constexpr short kPaperCodeCustom = pagesmith::kPaperCodeUser;

// The printer's stored defaults, with the values a fresh printer has.
struct PrinterDefaults {
    uint32_t dpi = 300;
    uint32_t widthMM1000 = 215900;
    uint32_t heightMM1000 = 279400;
    int32_t sizeIndex = 0;
    uint32_t customWidthMM1000 = 101600;
    uint32_t customHeightMM1000 = 152399;
};

// The defaults from the value store; a missing or unreadable value keeps its
// default.
PrinterDefaults readPrinterDefaults(const ValueStore& store);

// What one job asks of the printer; everything left unset keeps the
// printer's own value.
struct PrintRequest {
    // A paper of the driver's table, by its full name ("A4 210 x 297 mm") or
    // its first word ("A4", "letter"), case ignored.
    std::string paperName;
    // A paper size in tenths of a millimetre (both set, 1..32767).
    int paperWidthTenths = 0;
    int paperLengthTenths = 0;
    std::optional<short> orientation;  // DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE
    int dpi = 0;                       // 1..32767; 0 keeps the printer's
    // Pages as page images (true) or as vector content (false): replaces the
    // image and vector bits of the settings block's mechanics when set.
    std::optional<bool> imagePages;
    // The driver also keeps the raster it renders of every page, beside the
    // vector content (the preview bits of the mechanics are set; the preview
    // list keeps what the settings block says).
    bool pageRasters = false;
};

// The DEVMODE paper code of a row of the driver's paper table; 0 when the
// name is not in the table.
short paperCodeForName(std::string_view name);

// The public and private part in one block, as the driver receives it.
class PrinterDevMode {
public:
    PrinterDevMode();

    DEVMODEW* devmode() { return reinterpret_cast<DEVMODEW*>(storage_.data()); }
    const DEVMODEW* devmode() const { return reinterpret_cast<const DEVMODEW*>(storage_.data()); }
    uint8_t* privatePart() { return reinterpret_cast<uint8_t*>(storage_.data()) + kDevModePublicSize; }
    const uint8_t* privatePart() const {
        return reinterpret_cast<const uint8_t*>(storage_.data()) + kDevModePublicSize;
    }
    static constexpr size_t size() { return kDevModePublicSize + kDevModePrivateSize; }

    uint32_t privateDword(size_t offset) const;
    void setPrivateDword(size_t offset, uint32_t value);

private:
    // Held as DWORDs so that the DEVMODEW at the front is aligned.
    std::vector<uint32_t> storage_;
};

// Builds the device mode from the printer's defaults, the 2624-byte settings
// block and the job's requests. 1, or 0 with the reason in *error (an unknown
// paper name, a size or resolution out of range).
[[nodiscard]] int buildDevMode(const PrinterDefaults& defaults, const void* settingsBlock,
                               const PrintRequest& request, PrinterDevMode* out, std::string* error);

}  // namespace tessaly
