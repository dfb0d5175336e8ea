#include "swf/swf_file_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "swf/swf_stream.h"

namespace tessaly {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openForReading(const std::string& path) { return File(std::fopen(path.c_str(), "rb")); }

uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Extra room over the compression ratio bound for zlib's stream overhead.
constexpr uint64_t kInflateSlack = 4096;

// Bit reader over a plain byte range, shared by the header parsers.
struct BitCursor {
    const uint8_t* data;
    uint32_t size;
    uint32_t pos;
    uint8_t byte = 0;
    unsigned left = 0;
    bool overrun = false;

    uint32_t bits(unsigned count) {
        uint32_t v = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (left == 0) {
                if (pos >= size) {
                    overrun = true;
                    byte = 0;
                } else {
                    byte = data[pos++];
                }
                left = 8;
            }
            --left;
            v = (v << 1) | ((byte >> left) & 1u);
        }
        return v;
    }
    int32_t signedBits(unsigned count) {
        const uint32_t v = bits(count);
        if (count == 0 || count >= 32) return int32_t(v);
        const uint32_t sign = uint32_t(1) << (count - 1);
        return int32_t((v ^ sign) - sign);
    }
    void align() { left = 0; }
    uint32_t bytes(unsigned n) {
        align();
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            uint32_t b = 0;
            if (pos < size) {
                b = data[pos++];
            } else {
                overrun = true;
            }
            v |= b << (8 * i);
        }
        return v;
    }
};

// Parses an "FWS"/"CWS" header from data; returns the header length or 0
// when it does not fit the bytes given.
uint32_t parseHeaderBytes(const uint8_t* data, uint32_t size, SwfHeaderInfo* info) {
    BitCursor c{data, size, 3};
    info->version = uint8_t(c.bytes(1));
    info->fileLength = c.bytes(4);
    const unsigned nbits = c.bits(5);
    info->xmin = c.signedBits(nbits);
    info->xmax = c.signedBits(nbits);
    info->ymin = c.signedBits(nbits);
    info->ymax = c.signedBits(nbits);
    info->frameRate = double(c.bytes(2)) / 256.0;
    info->frameCount = uint16_t(c.bytes(2));
    return c.overrun ? 0 : c.pos;
}

bool hasSignature(const uint8_t* d, char first) { return d[0] == first && d[1] == 'W' && d[2] == 'S'; }

}  // namespace

int SwfFileReader::fail() {
    release();
    return 0;
}

void SwfFileReader::release() {
    buffer_.release();
    position_ = 0;
    resetBits();
    overrun_ = false;
    wasCompressed_ = false;
    header_ = SwfHeaderInfo{};
    headerLength_ = 0;
    forgetTag();
    tagTruncated_ = false;
}

void SwfFileReader::forgetTag() noexcept {
    hasTag_ = false;
    tagLongHeader_ = false;
    tagCode_ = 0;
    tagLength_ = tagStart_ = tagBodyStart_ = tagBodyEnd_ = 0;
}

int SwfFileReader::readFile(const std::string& path) {
    release();
    File f = openForReading(path);
    if (!f) return 0;
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return fail();
    const long end = std::ftell(f.get());
    if (end < 0 || uint64_t(end) > std::numeric_limits<uint32_t>::max()) return fail();
    if (std::fseek(f.get(), 0, SEEK_SET) != 0) return fail();
    const uint32_t fileSize = uint32_t(end);
    const uint32_t room = fileSize ? fileSize : 1;
    if (!buffer_.allocate(room, room, 1.0f)) return fail();

    uint8_t chunk[kChunkSize];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, f.get());
        if (got > 0 && !buffer_.write(chunk, uint32_t(got))) return fail();
        if (got < sizeof chunk) {
            if (std::ferror(f.get())) return fail();
            break;
        }
    }
    position_ = 0;
    return decompress();
}

int SwfFileReader::readMemory(const void* bytes, size_t length) {
    release();
    if (length > std::numeric_limits<uint32_t>::max()) return 0;
    if (length > 0 && !bytes) return 0;
    const uint32_t n = uint32_t(length);
    if (!buffer_.allocate(n ? n : 1, n ? n : 1, 1.0f)) return fail();
    if (n && !buffer_.write(bytes, n)) return fail();
    position_ = 0;
    return decompress();
}

bool SwfFileReader::isCompressed() const {
    return buffer_.size() > 0 && buffer_.data()[0] != 'F';
}

int SwfFileReader::decompress() {
    if (!isCompressed()) return 1;
    const uint32_t size = buffer_.size();
    const uint8_t* src = buffer_.data();
    if (size < 8 || !hasSignature(src, 'C')) return fail();
    const uint32_t stated = loadU32(src + 4);
    const uint32_t compressed = size - 8;
    // The length field is outside data: check it before allocating for it.
    if (stated < 8 || stated > kMaxInflatedLength) return fail();
    if (uint64_t(stated - 8) > uint64_t(compressed) * kMaxInflateRatio + kInflateSlack) {
        return fail();
    }

    ByteBuffer out(stated, stated, 1.0f);
    if (!out.allocate()) return fail();
    out.write(src, 8);
    uint8_t* dest = out.data();

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
    out.seek(stated);
    out.truncate(stated);
    buffer_ = std::move(out);
    wasCompressed_ = true;
    position_ = 0;
    resetBits();
    forgetTag();
    return 1;
}

int SwfFileReader::parseHeader() {
    const uint32_t size = buffer_.size();
    if (size < 8 || !hasSignature(buffer_.data(), 'F')) return 0;
    SwfHeaderInfo info;
    const uint32_t length = parseHeaderBytes(buffer_.data(), size, &info);
    if (length == 0) return 0;
    header_ = info;
    headerLength_ = length;
    seek(length);
    forgetTag();
    return 1;
}

int SwfFileReader::readHeaderInfo(const std::string& path, SwfHeaderInfo* info) {
    File f = openForReading(path);
    if (!f) return 0;
    uint8_t head[64];
    const size_t got = std::fread(head, 1, sizeof head, f.get());
    if (std::ferror(f.get())) return 0;
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

// --- reading at the position ---

void SwfFileReader::seek(uint32_t p) noexcept {
    position_ = std::min(p, buffer_.size());
    resetBits();
}

uint32_t SwfFileReader::readBits(unsigned count) {
    BitCursor c{buffer_.data(), buffer_.size(), position_, bitByte_, bitsLeft_};
    const uint32_t v = c.bits(std::min(count, 32u));
    position_ = c.pos;
    bitByte_ = c.byte;
    bitsLeft_ = c.left;
    overrun_ = overrun_ || c.overrun;
    return v;
}

int32_t SwfFileReader::readSignedBits(unsigned count) {
    BitCursor c{buffer_.data(), buffer_.size(), position_, bitByte_, bitsLeft_};
    const int32_t v = c.signedBits(std::min(count, 32u));
    position_ = c.pos;
    bitByte_ = c.byte;
    bitsLeft_ = c.left;
    overrun_ = overrun_ || c.overrun;
    return v;
}

uint32_t SwfFileReader::readLittleEndian(unsigned count) {
    BitCursor c{buffer_.data(), buffer_.size(), position_};
    const uint32_t v = c.bytes(count);
    position_ = c.pos;
    resetBits();
    overrun_ = overrun_ || c.overrun;
    return v;
}

uint8_t SwfFileReader::readU8() { return uint8_t(readLittleEndian(1)); }
uint16_t SwfFileReader::readU16() { return uint16_t(readLittleEndian(2)); }
uint32_t SwfFileReader::readU32() { return readLittleEndian(4); }

// --- tags ---

int SwfFileReader::readTagHeader() {
    forgetTag();
    tagTruncated_ = false;
    resetBits();
    const uint32_t size = buffer_.size();
    const uint32_t start = position_;
    if (start >= size) return 0;
    const uint8_t* d = buffer_.data();
    if (size - start < 2) {
        tagTruncated_ = true;
        return 0;
    }
    const uint16_t word = uint16_t(d[start] | d[start + 1] << 8);
    uint32_t length = word & 0x3F;
    uint32_t bodyStart = start + 2;
    const bool longHeader = length == 0x3F;
    if (longHeader) {
        if (size - bodyStart < 4) {
            tagTruncated_ = true;
            return 0;
        }
        length = loadU32(d + bodyStart);
        bodyStart += 4;
    }
    if (length > size - bodyStart) {
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
    position_ = bodyStart;
    return 1;
}

int SwfFileReader::nextTag() {
    if (hasTag_) seek(tagBodyEnd_);
    return readTagHeader();
}

int SwfFileReader::copyTag(SwfStream& out) {
    if (!hasTag_) return 0;
    out.writeTagHeader(tagCode_, tagLength_);
    for (uint32_t p = tagBodyStart_; p < tagBodyEnd_;) {
        const uint32_t n = std::min(kChunkSize, tagBodyEnd_ - p);
        out.writeBytes(buffer_.data() + p, n);
        p += n;
    }
    seek(tagBodyEnd_);
    return 1;
}

int SwfFileReader::copyRawTag(SwfStream& out) {
    if (!hasTag_) return 0;
    for (uint32_t p = tagStart_; p < tagBodyEnd_;) {
        const uint32_t n = std::min(kChunkSize, tagBodyEnd_ - p);
        out.writeBytes(buffer_.data() + p, n);
        p += n;
    }
    seek(tagBodyEnd_);
    return 1;
}

}  // namespace tessaly
