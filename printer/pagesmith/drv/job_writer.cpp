#include "job_writer.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "markup.h"
#include "platform/registry.h"
#include "support/atomic_file.h"
#include "support/scrambler.h"
#include "support/text.h"

namespace tessaly::pagesmith {

namespace {

// Page rasters are read once, by the converter, and are mostly paper: the
// fastest zlib level packs them nearly as small in a fraction of the time.
constexpr int kRasterLevel = 1;

constexpr const char* kMediaVersion = "1, 0, 426";

std::string rasterPageName(uint32_t page) { return "altpage" + std::to_string(page) + ".bag"; }

// The job fails: media.mml is closed and the status says so, and the next
// page event begins a new job.
void failJob(DriverDevice& device) {
    if (device.jobFile) (void)closeFile(std::move(device.jobFile));
    device.headerWritten = false;
    if (device.bandRaster.isOpen()) (void)device.bandRaster.close();
    (void)writeStatus(device, "error");
}

bool streamFailed(const DriverDevice& device) {
    return !device.jobFile || fileError(device.jobFile.get());
}

std::string frameStartTag(const DriverDevice& device) {
    std::string tag;
    markup::startTagOpen(tag, "Frame");
    markup::integerAttribute(tag, "id", device.pageNumber);
    markup::integerAttribute(tag, "width", uint32_t(device.pageWidth));
    markup::integerAttribute(tag, "height", uint32_t(device.pageHeight));
    if (device.rasterCapture) markup::textAttribute(tag, "alt", rasterPageName(device.pageNumber));
    markup::startTagClose(tag, false, true);
    return tag;
}

// Creates a bag file with its header; a file whose header could not be
// written is removed.
int createRaster(BagWriter& writer, const std::string& path) {
    if (writer.open(path)) return 1;
    (void)writer.close();
    (void)deleteFile(path);
    return 0;
}

// Writes the end tag of the page; the page number advances.
int finishFrame(DriverDevice& device) {
    std::string tag;
    markup::endTag(tag, "Frame");
    if (!writeMarkup(device, tag) || streamFailed(device)) {
        failJob(device);
        return 0;
    }
    ++device.pageNumber;
    return 1;
}

}  // namespace

void releaseJob(DriverDevice& device) {
    if (device.jobFile) (void)closeFile(std::move(device.jobFile));
    if (device.bandRaster.isOpen()) (void)device.bandRaster.close();
    device.bitmaps.clear();
    device.fonts.clear();
    device.glyphSets.clear();
    device.pageNumber = 0;
    device.nextId = 0;
    device.bandX = device.bandY = 0;
    device.bandCount = 0;
    device.headerWritten = false;
}

int writeStatus(const DriverDevice& device, std::string_view text) {
    if (device.jobDirectory.empty()) return 0;
    // Replaced whole, so the application never reads a half-written status.
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return writeFileAtomically(device.jobDirectory + "_status", {bytes});
}

uint32_t newId(DriverDevice& device) { return ++device.nextId; }

bool writeMarkup(DriverDevice& device, std::string_view plain) {
    if (!device.jobFile) return false;
    std::vector<uint8_t> bytes(plain.begin(), plain.end());
    device.scrambleState = scramble(bytes.data(), bytes.size(), device.scrambleState);
    return writeAll(device.jobFile.get(), bytes.data(), bytes.size()) == int64_t(bytes.size());
}

int writeJobSettings(const DriverDevice& device) {
    JobSettings settings;
    settings.block() = device.settings;
    if (device.documentName) settings.setSource(*device.documentName);
    if (device.jobId != -1) settings.sourceId = device.jobId;

    // The one-shot instructions of the application for this job; both values
    // are consumed once the location has been seen.
    char16_t location[sizeof settings.outputLocation / sizeof(char16_t)] = {};
    const int read = registryReadWideString("MSNextOutputLocation", location, sizeof location);
    if (read == kRegistryOk || read == kRegistryMoreData) {
        // A location too long for the settings is not used, but it is consumed
        // all the same, so it cannot steer a later job.
        if (read == kRegistryOk) settings.setOutputLocation(location);
        uint32_t flags = kDefaultNextOutputFlags;
        if (registryReadDword("MSNextOutputFlags", &flags) != kRegistryOk) flags = kDefaultNextOutputFlags;
        settings.outputFlags = flags;
        (void)registryDeleteValue("MSNextOutputLocation");
        (void)registryDeleteValue("MSNextOutputFlags");
    }
    // The values belong to this job only: the device's own settings keep
    // none of them, so a later document on the device is not sent there too.
    settings.setBaseDirectory(device.basePath);
    if (!settings.interfaceNameText().empty()) {
        // An interface that cannot be read leaves the settings without one.
        (void)settings.loadInterface(settings.interfaceNameText());
    }
    const std::string text = writeSettings(settings);
    return writeWholeFile(device.jobDirectory + "media.settings", text.data(), text.size());
}

int beginJob(DriverDevice& device) {
    releaseJob(device);
    device.jobDirectory.clear();
    device.jobName.clear();
    device.mediaPath.clear();

    (void)makeDirectory(device.spoolDirectory);
    for (int attempt = 0; attempt < kJobNameTries; ++attempt) {
        const unsigned first = unsigned(device.random() % 10000);
        const unsigned second = unsigned(device.random() % 10000);
        const std::string name = formatNarrow("%04u%04u", first, second);
        const std::string directory = device.spoolDirectory + name + "/";
        if (makeDirectory(directory)) {
            device.jobName = name;
            device.jobDirectory = directory;
            break;
        }
    }
    if (device.jobName.empty()) return 0;

    device.mediaPath = device.jobDirectory + "media.mml";
    device.jobFile = openFile(device.mediaPath, "wb");
    if (!device.jobFile) {
        failJob(device);
        return 0;
    }
    device.scrambleState = jobKey();
    if (!writeJobSettings(device)) {
        // Without its settings the job cannot be converted: it is given up
        // rather than continued without its Media element.
        failJob(device);
        return 0;
    }
    (void)writeStatus(device, "begin");
    return 1;
}

int beginDocumentElement(DriverDevice& device) {
    if (!device.jobOpen() && !beginJob(device)) return 0;
    if (device.headerWritten) return 1;
    std::string tag;
    markup::startTagOpen(tag, "Media");
    markup::integerAttribute(tag, "width", uint32_t(device.pageWidth));
    markup::integerAttribute(tag, "height", uint32_t(device.pageHeight));
    markup::textAttribute(tag, "version", kMediaVersion);
    markup::startTagClose(tag, false, true);
    if (!writeMarkup(device, tag)) {
        failJob(device);
        return 0;
    }
    device.headerWritten = true;
    return 1;
}

int beginFrame(DriverDevice& device) {
    if (!device.jobOpen()) return 0;
    const bool written = writeMarkup(device, frameStartTag(device));
    (void)writeStatus(device, std::to_string(device.pageNumber + 1));
    if (!written || streamFailed(device)) {
        failJob(device);
        return 0;
    }
    return 1;
}

int endFrame(DriverDevice& device, const uint8_t* rows, ptrdiff_t stride) {
    if (!device.jobOpen()) return 0;
    if (device.rasterCapture && rows) {
        // A raster page that cannot be written is skipped; the frame keeps
        // naming it.
        BagWriter raster;
        if (createRaster(raster, device.jobDirectory + rasterPageName(device.pageNumber))) {
            (void)raster.appendBand(rows, stride, uint32_t(device.pageWidth), uint32_t(device.pageHeight),
                                    BagPixelOrder::kBgr, kRasterLevel);
            (void)raster.close();
        }
    }
    return finishFrame(device);
}

int beginBandFrame(DriverDevice& device) {
    if (!device.jobOpen()) return 0;
    if (!writeMarkup(device, frameStartTag(device))) {
        failJob(device);
        return 0;
    }
    if (device.rasterCapture &&
        !createRaster(device.bandRaster, device.jobDirectory + rasterPageName(device.pageNumber))) {
        failJob(device);
        return 0;
    }
    (void)writeStatus(device, std::to_string(device.pageNumber + 1));
    if (streamFailed(device)) {
        failJob(device);
        return 0;
    }
    return 1;
}

int addBand(DriverDevice& device, const uint8_t* rowData, ptrdiff_t stride, int32_t rows, bool* continues) {
    *continues = false;
    if (!device.jobOpen() || rows <= 0) return 0;
    if (device.rasterCapture && rowData && device.bandRaster.isOpen()) {
        (void)device.bandRaster.appendBand(rowData, stride, uint32_t(device.pageWidth), uint32_t(rows),
                                           BagPixelOrder::kBgr, kRasterLevel);
    }
    if (int64_t(device.bandY) + rows < device.pageHeight) {
        *continues = true;
        return 1;
    }
    if (device.bandRaster.isOpen()) (void)device.bandRaster.close();
    return finishFrame(device);
}

void endDocument(DriverDevice& device) {
    if (!device.jobOpen()) return;
    std::string tag;
    markup::endTag(tag, "Media");
    const bool written = writeMarkup(device, tag);
    if (device.bandRaster.isOpen()) (void)device.bandRaster.close();

    for (const FontRecord& font : device.fonts) {
        if (!font.font) continue;
        std::vector<uint8_t> bytes;
        try {
            const std::string text = fontFileMml(*font.font);
            bytes.assign(text.begin(), text.end());
        } catch (const std::bad_alloc&) {
            continue;  // a font whose file cannot be made is skipped
        }
        (void)scramble(bytes.data(), bytes.size(), jobKey());
        // A font file that cannot be written is skipped.
        (void)writeWholeFile(device.jobDirectory + "f" + std::to_string(font.id) + ".mml", bytes.data(),
                             bytes.size());
    }
    // media.mml is complete on disk before the status says so: the
    // application starts converting as soon as it reads "end".
    const bool closed = closeFile(std::move(device.jobFile)) == 1;
    device.headerWritten = false;
    (void)writeStatus(device, written && closed ? "end:" + std::to_string(device.pageNumber) : "error");
}

}  // namespace tessaly::pagesmith
