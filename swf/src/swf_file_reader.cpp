#include "swf/swf_file_reader.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "support/files.h"
#include "swf/swf_stream.h"

namespace tessaly {

namespace {

// Extra room over the compression ratio bound for zlib's stream overhead.
constexpr uint64_t kInflateSlack = 4096;

// Parses an "FWS"/"CWS" header from data; returns the header length or 0
// when it does not fit the bytes given.
uint32_t parseHeaderBytes(const uint8_t* data, uint32_t size, SwfHeaderInfo* info) {
    SwfBitReader c(data, size, 3);
    info->version = c.readU8();
    info->fileLength = c.readU32();
    const SwfRect frame = c.readRect();
    info->xmin = frame.xmin;
    info->xmax = frame.xmax;
    info->ymin = frame.ymin;
    info->ymax = frame.ymax;
    info->frameRate = double(c.readU16()) / 256.0;
    info->frameCount = c.readU16();
    return c.failed() ? 0 : c.position();
}

bool hasSignature(const uint8_t* d, char first) { return d[0] == first && d[1] == 'W' && d[2] == 'S'; }

// A new block holding a copy of n bytes (one byte at least, so that empty
// data is still a block).
SizedBlock copyBlock(const void* bytes, uint32_t n) {
    HeapBlock block(static_cast<uint8_t*>(allocateMemory(n)));
    if (!block) return {};
    if (n) copyMemory(block.get(), bytes, n);
    return {std::move(block), n};
}

}  // namespace

int SwfFileReader::fail() {
    release();
    return 0;
}

void SwfFileReader::release() {
    adopt({});
    wasCompressed_ = false;
    header_ = SwfHeaderInfo{};
    headerLength_ = 0;
    tagTruncated_ = false;
}

void SwfFileReader::adopt(SizedBlock block) noexcept {
    data_ = std::move(block);
    fields_ = SwfBitReader(data_.data.get(), uint32_t(data_.length));
    forgetTag();
}

void SwfFileReader::forgetTag() noexcept {
    hasTag_ = false;
    tagLongHeader_ = false;
    tagCode_ = 0;
    tagLength_ = tagStart_ = tagBodyStart_ = tagBodyEnd_ = 0;
}

int SwfFileReader::readFile(const std::string& path) {
    release();
    SizedBlock file;
    if (!readWholeFile(path, file, std::numeric_limits<uint32_t>::max())) return 0;
    adopt(std::move(file));
    return decompress();
}

int SwfFileReader::readMemory(const void* bytes, size_t length) {
    release();
    if (length > std::numeric_limits<uint32_t>::max()) return 0;
    if (length > 0 && !bytes) return 0;
    SizedBlock copy = copyBlock(bytes, uint32_t(length));
    if (!copy) return 0;
    adopt(std::move(copy));
    return decompress();
}

bool SwfFileReader::isCompressed() const { return size() > 0 && data()[0] != 'F'; }

int SwfFileReader::decompress() {
    if (!isCompressed()) return 1;
    const uint32_t size = this->size();
    const uint8_t* src = data();
    if (size < 8 || !hasSignature(src, 'C')) return fail();
    const uint32_t stated = SwfBitReader(src, size, 4).readU32();
    const uint32_t compressed = size - 8;
    // The length field is outside data: check it before allocating for it.
    if (stated < 8 || stated > kMaxInflatedLength) return fail();
    if (uint64_t(stated - 8) > uint64_t(compressed) * kMaxInflateRatio + kInflateSlack) {
        return fail();
    }

    HeapBlock out(static_cast<uint8_t*>(allocateMemory(stated)));
    if (!out) return fail();
    uint8_t* dest = out.get();
    copyMemory(dest, src, 8);

    z_stream z{};
    if (inflateInit(&z) != Z_OK) return fail();
    z.next_in = const_cast<Bytef*>(src + 8);
    z.avail_in = compressed;
    z.next_out = dest + 8;
    z.avail_out = stated - 8;
    int rc = Z_OK;
    while (rc == Z_OK && z.avail_out > 0) rc = inflate(&z, Z_NO_FLUSH);
    const uint32_t produced = uint32_t(z.total_out);
    inflateEnd(&z);
    // A full buffer is the stated movie (data past it is ignored); anything
    // shorter is a truncated or damaged stream and is refused rather than
    // counting unwritten bytes as movie data.
    const bool full = produced == stated - 8;
    if (!full || (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)) return fail();

    dest[0] = 'F';
    adopt({std::move(out), stated});
    wasCompressed_ = true;
    return 1;
}

int SwfFileReader::parseHeader() {
    if (size() < 8 || !hasSignature(data(), 'F')) return 0;
    SwfHeaderInfo info;
    const uint32_t length = parseHeaderBytes(data(), size(), &info);
    if (length == 0) return 0;
    header_ = info;
    headerLength_ = length;
    seek(length);
    forgetTag();
    return 1;
}

int SwfFileReader::readHeaderInfo(const std::string& path, SwfHeaderInfo* info) {
    uint8_t head[64];
    const int64_t got = readFileHead(path, head, sizeof head);
    if (got < 0) return 0;
    if (got < 14) return -1;
    const bool plain = hasSignature(head, 'F');
    if (!plain && !hasSignature(head, 'C')) return -1;
    if (!plain) return -2;
    SwfHeaderInfo parsed;
    const uint32_t length = parseHeaderBytes(head, uint32_t(got), &parsed);
    if (length == 0) return -1;
    if (info) *info = parsed;
    return int(length);
}

// --- tags ---

int SwfFileReader::readTagHeader() {
    forgetTag();
    tagTruncated_ = false;
    fields_.align();
    const uint32_t start = position();
    if (start >= size()) return 0;
    // A header cut short or a body running past the end is not a tag.
    SwfBitReader header(data(), size(), start);
    const uint16_t word = header.readU16();
    uint32_t length = word & 0x3F;
    const bool longHeader = length == 0x3F;
    if (longHeader) length = header.readU32();
    const uint32_t bodyStart = header.position();
    if (header.failed() || length > size() - bodyStart) {
        tagTruncated_ = true;
        return 0;
    }
    hasTag_ = true;
    tagLongHeader_ = longHeader;
    tagCode_ = uint16_t(word >> 6);
    tagLength_ = length;
    tagStart_ = start;
    tagBodyStart_ = bodyStart;
    tagBodyEnd_ = bodyStart + length;
    seek(bodyStart);
    return 1;
}

int SwfFileReader::nextTag() {
    if (hasTag_) seek(tagBodyEnd_);
    return readTagHeader();
}

int SwfFileReader::copyTag(SwfStream& out) {
    if (!hasTag_) return 0;
    out.writeTagHeader(SwfTag(tagCode_), tagLength_);
    copyRange(out, tagBodyStart_);
    return 1;
}

int SwfFileReader::copyRawTag(SwfStream& out) {
    if (!hasTag_) return 0;
    copyRange(out, tagStart_);
    return 1;
}

void SwfFileReader::copyRange(SwfStream& out, uint32_t from) {
    for (uint32_t p = from; p < tagBodyEnd_;) {
        const uint32_t n = std::min(kChunkSize, tagBodyEnd_ - p);
        out.writeBytes(data() + p, n);
        p += n;
    }
    seek(tagBodyEnd_);
}

}  // namespace tessaly
