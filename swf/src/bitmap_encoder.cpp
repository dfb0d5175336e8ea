#include "swf/bitmap_encoder.h"

#include <algorithm>

namespace tessaly {

namespace {

constexpr int kZlibLevel = 9;
constexpr uint8_t kFormat32Bit = 5;

void writeLossless(SwfStream& s, SwfTag code, uint32_t id, const Image& image,
                   const ByteBuffer& data) {
    s.beginTag(code);
    s.writeId(id);
    s.writeU8(kFormat32Bit);
    s.writeU16(uint16_t(image.width()));
    s.writeU16(uint16_t(image.height()));
    s.writeBytes(data.data(), data.size());
    s.endTag();
}

// Whether a JPEG of this quality uses the movie's shared tables.
bool usesSharedTables(const SwfStream& s, uint8_t quality) {
    return s.jpegTablesQuality() == SwfStream::kNoJpegQuality || s.jpegTablesQuality() == quality;
}

void writeJpeg(SwfStream& s, uint32_t id, uint8_t quality, const ByteBuffer& tables,
               const ByteBuffer& image) {
    if (usesSharedTables(s, quality)) {
        if (!s.jpegTablesWritten()) {
            s.beginTag(SwfTag::JpegTables);
            s.writeBytes(tables.data(), tables.size());
            s.endTag();
            s.setJpegTables(true, quality);
        }
        s.beginTag(SwfTag::DefineBits);
        s.writeId(id);
        s.writeBytes(image.data(), image.size());
        s.endTag();
        return;
    }
    s.beginTag(SwfTag::DefineBitsJpeg2);
    s.writeId(id);
    s.writeBytes(tables.data(), tables.size());
    s.writeBytes(image.data(), image.size());
    s.endTag();
}

}  // namespace

int defineBitmap(SwfStream& s, uint32_t id, const DictionaryEntry& entry) {
    if (!entry.object || entry.object->type() != kTypeBitmap) return 0;
    const Image& original = static_cast<const BitmapObject&>(*entry.object).image;
    if (original.empty()) return 0;
    // Bitmap tags need at least 2 x 2 pixels.
    Image padded;
    if (original.needsMinimumSize() && !original.minimumSizeCopy(padded)) return 0;
    Image& image = const_cast<Image&>(original.needsMinimumSize() ? padded : original);

    ByteBuffer lossless(65536, 65536, 2.0f);
    if (image.hasAlpha()) {
        if (!image.encodeLosslessAlpha(lossless, kZlibLevel)) return 0;
        writeLossless(s, SwfTag::DefineBitsLossless2, id, image, lossless);
        return 1;
    }
    const uint32_t flags = entry.encodingFlags;
    if (flags == kEncodeLossless) {
        if (!image.encodeLossless(lossless, kZlibLevel)) return 0;
        writeLossless(s, SwfTag::DefineBitsLossless, id, image, lossless);
        return 1;
    }
    const uint8_t quality = std::min<uint8_t>(entry.jpegQuality, 100);
    ByteBuffer tables(1024, 1024, 2.0f), jpeg(65536, 65536, 2.0f);
    if (!image.encodeJpeg(&tables, jpeg, quality)) return 0;
    if (flags == (kEncodeJpeg | kEncodeLossless)) {
        if (!image.encodeLossless(lossless, kZlibLevel)) return 0;
        const bool tablesFree = usesSharedTables(s, quality) && s.jpegTablesWritten();
        const uint64_t jpegSize = uint64_t(jpeg.size()) + (tablesFree ? 0 : tables.size());
        if (jpegSize >= lossless.size()) {
            writeLossless(s, SwfTag::DefineBitsLossless, id, image, lossless);
            return 1;
        }
    }
    writeJpeg(s, id, quality, tables, jpeg);
    return 1;
}

}  // namespace tessaly
