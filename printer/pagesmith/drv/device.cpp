#include "device.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace tessaly::pagesmith {

namespace {
// Shared by every device of the process; a lost update only weakens a seed.
std::atomic<uint32_t> seedAccumulator{0};
}  // namespace

void seedDevice(DriverDevice& device) {
    const auto ticks = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
    const auto thread = uint32_t(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    const uint32_t accumulated = seedAccumulator.load(std::memory_order_relaxed);
    device.random.seed(ticks + thread + accumulated);
    seedAccumulator.store(accumulated + uint32_t(device.random()), std::memory_order_relaxed);
}

void applyCaptureModes(DriverDevice& device) {
    uint32_t& mechanics = device.settings.mechanics;
    if (!(mechanics & kMechPreviewSupported)) mechanics &= ~(kMechPreview | kMechPreviewList);
    if (!(mechanics & kMechPreview)) mechanics &= ~kMechPreviewList;
    device.rasterCapture = (mechanics & (kMechImage | kMechPreview)) != 0;
    device.vectorCapture = (mechanics & kMechImage) == 0;
}

void handOverJob(DriverDevice& from, DriverDevice& to) {
    to.jobFile = std::move(from.jobFile);
    to.bitmaps = std::move(from.bitmaps);
    to.fonts = std::move(from.fonts);
    to.glyphSets = std::move(from.glyphSets);
    from.bitmaps.clear();
    from.fonts.clear();
    from.glyphSets.clear();
    to.headerWritten = std::exchange(from.headerWritten, false);
    to.documentName = std::exchange(from.documentName, std::nullopt);
    to.jobId = std::exchange(from.jobId, -1);
    to.basePath = from.basePath;
    to.spoolDirectory = from.spoolDirectory;
    to.jobDirectory = from.jobDirectory;
    to.mediaPath = from.mediaPath;
    to.jobName = from.jobName;
    to.rasterCapture = from.rasterCapture;
    to.vectorCapture = from.vectorCapture;
    to.rejectUnknownRop = from.rejectUnknownRop;
    to.pageNumber = from.pageNumber;
    to.nextId = from.nextId;
    to.scrambleState = from.scrambleState;
}

}  // namespace tessaly::pagesmith
