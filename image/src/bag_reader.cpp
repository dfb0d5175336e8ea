// Bag files: the driver's band-compressed raster pages (layout in bag_writer.h).

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "image_source.h"
#include "support/memory.h"

namespace tessaly::image_detail {

namespace {

constexpr uint32_t kRecordBand = 1;

struct BagSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// First pass: signature, version and every record header; the band data is
// skipped. The source is left just after the version.
int walkRecords(ImageSource& source, BagSize& size) {
    uint8_t head[4];
    uint32_t version = 0;
    if (!source.readExact(head, 4) || head[0] != 0 || (head[1] | 0x20) != 'b' ||
        (head[2] | 0x20) != 'a' || (head[3] | 0x20) != 'g' || !source.readU32BE(version) ||
        version != 1) {
        return source.fail(kImageBadData, "bag file signature or version");
    }
    const uint64_t recordsStart = source.tell();
    uint64_t height = 0;
    uint32_t width = 0;
    while (source.remaining() > 0) {
        uint32_t type, length, bandWidth, rows;
        if (!source.readU32BE(type) || !source.readU32BE(length) || !source.readU32BE(bandWidth) ||
            !source.readU32BE(rows)) {
            return source.fail(kImageBadData, "bag record header truncated");
        }
        if (type != kRecordBand || length < 8 || rows == 0) {
            return source.fail(kImageBadData, "bag record of type " + std::to_string(type) + ", length " +
                                                  std::to_string(length) + ", " + std::to_string(rows) + " rows");
        }
        if (bandWidth == 0 || bandWidth > kImageMaxSide || (width && bandWidth != width)) {
            return source.fail(kImageBadData, "bag band width " + std::to_string(bandWidth));
        }
        width = bandWidth;
        const uint64_t compressed = length - 8;
        // The band must be present and able to inflate to its rows.
        const uint64_t needed = uint64_t(rows) * uint64_t(Image::rgbStrideFor(width));
        if (!inflateCanYield(compressed, needed) || !source.skip(compressed)) {
            return source.fail(kImageBadData, "bag band of " + std::to_string(rows) + " rows with " +
                                                  std::to_string(compressed) + " bytes of data");
        }
        height += rows;
        // Checked band by band, so that no count runs on unbounded.
        if (height > kImageMaxSide || width * height > kImageMaxPixels) break;
    }
    const int sized = checkPictureSize(source, "bag", width, height);
    if (sized != kImageOk) return sized;
    size.width = width;
    size.height = uint32_t(height);
    return source.seek(recordsStart) ? kImageOk : source.fail(kImageBadData, "bag file unreadable");
}

}  // namespace

int probeBag(ImageSource& source, ImageInfo& info) {
    BagSize size;
    const int result = walkRecords(source, size);
    if (result != kImageOk) return result;
    info.width = size.width;
    info.height = size.height;
    info.bitDepth = 24;
    return kImageOk;
}

int readBag(ImageSource& source, Image& image) {
    BagSize size;
    int result = walkRecords(source, size);
    if (result != kImageOk) return result;
    if (!image.createRgb(size.width, size.height)) return source.fail(kImageOutOfMemory, "bag pixels");

    const size_t stride = size_t(image.rgbStride());
    const size_t used = size_t(size.width) * 3;
    HeapBlock data;
    size_t capacity = 0;
    uint32_t row = 0;
    while (source.remaining() > 0) {
        uint32_t header[4];
        for (uint32_t& v : header) {
            if (!source.readU32BE(v)) return source.fail(kImageBadData, "bag record header truncated");
        }
        const uint32_t rows = header[3];
        const size_t compressed = header[1] - 8;
        if (header[2] != size.width || rows > size.height - row) {
            return source.fail(kImageBadData, "bag band changed while read");
        }
        if (compressed > capacity) {
            data.reset(static_cast<uint8_t*>(allocateMemory(compressed)));
            if (!data) return source.fail(kImageOutOfMemory, "bag band data");
            capacity = compressed;
        }
        if (!source.readExact(data.get(), compressed)) return source.fail(kImageBadData, "bag band truncated");

        const size_t bandBytes = size_t(rows) * stride;
        uint8_t* out = image.rgbRow(row);
        z_stream zs{};
        if (inflateInit(&zs) != Z_OK) return source.fail(kImageOutOfMemory, "bag inflate state");
        zs.next_in = data.get();
        zs.avail_in = uInt(compressed);
        zs.next_out = out;
        // zlib counts output in 32 bits; a band of a very wide page can need more.
        size_t produced = 0;
        int status = Z_OK;
        while (produced < bandBytes) {
            const size_t room = std::min<size_t>(bandBytes - produced, 0xFFFFFFFFu);
            zs.avail_out = uInt(room);
            status = inflate(&zs, Z_SYNC_FLUSH);
            const size_t step = room - zs.avail_out;
            produced += step;
            if (status != Z_OK || step == 0) break;
        }
        inflateEnd(&zs);
        // A band must fill all its rows; a short one would leave rows that
        // the file never described.
        if (status < 0 || produced != bandBytes) {
            return source.fail(kImageBadData, "bag band at row " + std::to_string(row) + " holds " +
                                                  std::to_string(produced) + " of " + std::to_string(bandBytes) +
                                                  " bytes");
        }
        for (uint32_t r = 0; r < rows; ++r) {
            std::memset(out + size_t(r) * stride + used, 0, stride - used);
        }
        row += rows;
    }
    return row == size.height ? kImageOk : source.fail(kImageBadData, "bag file changed while read");
}

}  // namespace tessaly::image_detail
