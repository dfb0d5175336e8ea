#pragma once
// Reads an existing SWF file (plain "FWS" or zlib-compressed "CWS") into
// memory, parses its header and walks its tags. Field reads go through a
// SwfBitReader: reading past the end yields zeros and sets the overrun flag.

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/memory.h"
#include "swf/swf_bit_reader.h"

namespace tessaly {

class SwfStream;

// What the first bytes of an SWF file say about the movie.
struct SwfHeaderInfo {
    uint8_t version = 0;
    uint32_t fileLength = 0;  // the length field: uncompressed length of the whole file
    int32_t xmin = 0;
    int32_t xmax = 0;
    int32_t ymin = 0;
    int32_t ymax = 0;
    double frameRate = 0.0;  // u16 8.8 fixed / 256
    uint16_t frameCount = 0;
};

class SwfFileReader {
public:
    // A compressed movie whose stated length exceeds this is refused.
    static constexpr uint32_t kMaxInflatedLength = 256u << 20;
    // zlib cannot expand data by much more than this ratio.
    static constexpr uint64_t kMaxInflateRatio = 1032;
    // Tags are copied into a stream in pieces of this size.
    static constexpr uint32_t kChunkSize = 4096;

    SwfFileReader() = default;

    // Reads the whole file and decompresses a "CWS" movie. An empty file is
    // an empty buffer and success. 1, or 0 (and no buffer) on any failure.
    [[nodiscard]] int readFile(const std::string& path);
    // The same from bytes in memory (copied).
    [[nodiscard]] int readMemory(const void* bytes, size_t length);
    // Frees the buffer and forgets the header and tag.
    void release();

    // True when the loaded data's first byte is not "F".
    bool isCompressed() const;
    // Whether the data was a "CWS" movie before it was read.
    bool wasCompressed() const noexcept { return wasCompressed_; }
    // Replaces a "CWS" buffer by its inflated "FWS" form. The stated length
    // is not trusted: beyond kMaxInflatedLength, or beyond what the compressed
    // bytes can expand to, the data is refused; inflated data shorter than
    // stated (a truncated or damaged stream) is refused too. 1 on success (or
    // when not compressed), 0 and no buffer on failure.
    [[nodiscard]] int decompress();

    // Parses signature ("FWS"), version, length, frame RECT, rate and frame
    // count from the start; the position is then the first tag. 1 or 0.
    [[nodiscard]] int parseHeader();
    const SwfHeaderInfo& header() const noexcept { return header_; }
    uint32_t headerLength() const noexcept { return headerLength_; }

    // Reads the header of a file from its first 64 bytes only. Returns the
    // header length (offset of the first tag); 0 when the file cannot be
    // read, -1 when too short, truncated or not an SWF signature, -2 for a
    // compressed movie (not decompressed here).
    [[nodiscard]] static int readHeaderInfo(const std::string& path, SwfHeaderInfo* info);

    // --- reading at the position ---
    uint32_t readBits(unsigned count) noexcept { return fields_.readBits(count); }
    [[nodiscard]] int32_t readSignedBits(unsigned count) noexcept { return fields_.readSignedBits(count); }
    // Byte reads start at the next whole byte (a partly read byte is dropped).
    uint8_t readU8() noexcept { return fields_.readU8(); }
    uint16_t readU16() noexcept { return fields_.readU16(); }
    uint32_t readU32() noexcept { return fields_.readU32(); }
    // The reader at the position, for records (RECT, MATRIX, CXFORM) and
    // bit fields; it shares the position and the overrun flag.
    SwfBitReader& fields() noexcept { return fields_; }
    // True once any read went past the end of the data.
    bool overrun() const noexcept { return fields_.failed(); }

    uint32_t position() const noexcept { return fields_.position(); }
    // Moves to p (at most the end of the data), on a whole byte.
    void seek(uint32_t p) noexcept { fields_.seek(p); }
    const uint8_t* data() const noexcept { return data_.data.get(); }
    uint32_t size() const noexcept { return uint32_t(data_.length); }

    // --- tags ---
    // Reads a tag header at the position: 1 and the position at the body
    // start; 0 at the end of the data, or when the header or the body would
    // run past the end (tagTruncated() is then true and nothing is current).
    [[nodiscard]] int readTagHeader();
    // Skips to the end of the current tag (if any), then reads the next header.
    [[nodiscard]] int nextTag();
    bool hasTag() const noexcept { return hasTag_; }
    bool tagTruncated() const noexcept { return tagTruncated_; }
    uint16_t tagCode() const noexcept { return tagCode_; }
    uint32_t tagLength() const noexcept { return tagLength_; }
    bool tagLongHeader() const noexcept { return tagLongHeader_; }
    uint32_t tagStart() const noexcept { return tagStart_; }
    uint32_t tagBodyStart() const noexcept { return tagBodyStart_; }
    uint32_t tagBodyEnd() const noexcept { return tagBodyEnd_; }

    // Writes the current tag with a fresh header (short when the body is below
    // 63 bytes and the code is not a bitmap or sound block code) and its body.
    // The position moves to the tag's end. 1, or 0 when there is no tag.
    [[nodiscard]] int copyTag(SwfStream& out);
    // Copies the current tag's bytes, header included, unchanged.
    [[nodiscard]] int copyRawTag(SwfStream& out);

private:
    [[nodiscard]] int fail();
    // Takes over the bytes and starts reading them at 0.
    void adopt(SizedBlock block) noexcept;
    void forgetTag() noexcept;
    // Writes the current tag's bytes from `from` to its end, then moves there.
    void copyRange(SwfStream& out, uint32_t from);

    SizedBlock data_;
    SwfBitReader fields_;
    bool wasCompressed_ = false;

    SwfHeaderInfo header_;
    uint32_t headerLength_ = 0;

    bool hasTag_ = false;
    bool tagTruncated_ = false;
    bool tagLongHeader_ = false;
    uint16_t tagCode_ = 0;
    uint32_t tagLength_ = 0;
    uint32_t tagStart_ = 0;
    uint32_t tagBodyStart_ = 0;
    uint32_t tagBodyEnd_ = 0;
};

}  // namespace tessaly
