#pragma once
// The device record of one PDEV (the DDI's DHPDEV points to it): the page
// geometry, the capture modes, the surface and its bands, and the state of
// the job being written.

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "composer/settings.h"
#include "fontcapture/font_capture.h"
#include "glyph_map.h"
#include "image/bag_writer.h"
#include "platform/winddi.h"
#include "support/files.h"

namespace tessaly::pagesmith {

// A bitmap already written in the current job, found again by its content.
struct BitmapRecord {
    uint32_t id = 0;
    uint32_t checksum = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// A font captured in the current job, found again by its face (without
// case), style code and the character set it was asked for. Its font file is
// written when the document ends.
struct FontRecord {
    uint32_t id = 0;
    std::string face;               // ANSI face name as asked for
    int32_t style = 0;              // bit 0 bold, bit 1 italic
    int32_t requestedCharSet = -1;  // -1: the default set
    std::unique_ptr<CapturedFont> font;
};

inline constexpr uint32_t kDefaultResolution = 300;
inline constexpr uint32_t kDefaultWidth = 215900;
inline constexpr uint32_t kDefaultHeight = 279400;

struct DriverDevice {
    FileHandle jobFile;                // media.mml of the open job; null when none
    uint32_t pageNumber = 0;           // 0-based page being written in the job
    std::vector<BitmapRecord> bitmaps;
    std::vector<FontRecord> fonts;
    GlyphSetCache glyphSets;
    bool headerWritten = false;        // the Media start tag is written
    uint32_t resolution = kDefaultResolution;
    uint32_t width = kDefaultWidth;    // micrometres
    uint32_t height = kDefaultHeight;  // micrometres
    JobSettingsBlock settings{};
    std::string basePath;              // normalised, ends in '/'
    std::string spoolDirectory;        // normalised, ends in '/'
    std::string jobDirectory;          // ends in '/'
    std::string jobName;               // eight digits
    bool rejectUnknownRop = true;
    int32_t pageWidth = 0;             // pixels
    int32_t pageHeight = 0;
    bool rasterCapture = false;
    bool banding = false;
    int32_t bandWidth = 0;
    int32_t bandHeight = 0;
    int32_t bandX = 0;
    int32_t bandY = 0;
    uint32_t bandCount = 0;
    int32_t nestingDepth = 0;          // > 0 inside the driver's own engine calls
    bool vectorCapture = false;
    HPALETTE palette = nullptr;
    HSURF surface = nullptr;
    HDEV engineDevice = nullptr;
    HANDLE driverHandle = nullptr;
    std::string mediaPath;
    uint32_t nextId = 0;               // last id given in the job
    std::optional<std::u16string> documentName;
    int32_t jobId = -1;
    uint32_t scrambleState = 0;

    // Job names come from a generator of the device's own, seeded when the
    // device is made, so devices in one process do not share a sequence.
    std::minstd_rand random;
    // The raster page of a banded page, open between its bands.
    BagWriter bandRaster;

    bool jobOpen() const { return jobFile != nullptr; }
    // Drawing calls are translated into markup only when they come from GDI,
    // not from the driver's own engine calls.
    bool translating() const { return vectorCapture && nestingDepth == 0; }
};

// The device behind a surface handed to an event; null when it has none.
inline DriverDevice* deviceOf(SURFOBJ* pso) {
    return pso ? reinterpret_cast<DriverDevice*>(pso->dhpdev) : nullptr;
}

// Holds the nesting depth up while the driver calls into the engine, so the
// hooks the engine calls back know the call is the driver's own.
class NestingFrame {
public:
    explicit NestingFrame(DriverDevice* device) : device_(device) {
        if (device_) ++device_->nestingDepth;
    }
    ~NestingFrame() {
        if (device_) --device_->nestingDepth;
    }
    NestingFrame(const NestingFrame&) = delete;
    NestingFrame& operator=(const NestingFrame&) = delete;

private:
    DriverDevice* device_;
};

// The seed of a new device: the tick count, the thread and a process-wide
// accumulator that each device advances, so devices made in one tick differ.
void seedDevice(DriverDevice& device);

// The mechanics made consistent for capture, then the capture modes.
void applyCaptureModes(DriverDevice& device);

// Moves the running job of one device to another (a device mode changed in
// the middle of a document): the old device is left without a job.
void handOverJob(DriverDevice& from, DriverDevice& to);

}  // namespace tessaly::pagesmith
