#include "bitmap_table.h"

#include "job_writer.h"
#include "support/checksum.h"

namespace tessaly::pagesmith {

namespace {

std::string imageName(uint32_t id) { return "i" + std::to_string(id) + ".bag"; }

void writeImageFile(const DriverDevice& device, const std::string& name, const PixelRows& rows) {
    // Without a job directory the file would land wherever the spooler runs.
    if (device.jobDirectory.empty()) return;
    BagWriter writer;
    if (!writer.open(device.jobDirectory + name)) return;
    if (!writer.appendBand(rows.bytes.data(), ptrdiff_t(rows.stride), uint32_t(rows.width),
                           uint32_t(rows.height), BagPixelOrder::kBgr)) {
        (void)writer.close();
        return;
    }
    (void)writer.close();
}

}  // namespace

std::string imageForRows(DriverDevice& device, const PixelRows& rows) {
    const uint32_t checksum = crc32Update(0xFFFFFFFFu, rows.bytes.data(), rows.bytes.size());
    for (const BitmapRecord& record : device.bitmaps) {
        if (record.width == rows.width && record.height == rows.height && record.checksum == checksum) {
            return imageName(record.id);
        }
    }
    BitmapRecord record;
    record.id = newId(device);
    record.checksum = checksum;
    record.width = rows.width;
    record.height = rows.height;
    device.bitmaps.push_back(record);
    const std::string name = imageName(record.id);
    writeImageFile(device, name, rows);
    return name;
}

}  // namespace tessaly::pagesmith
