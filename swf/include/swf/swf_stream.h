#pragma once
// The byte and bit layer every SWF tag encoder writes through: little-endian
// integers, bit-packed records (RECT, MATRIX, CXFORM), tag framing with short
// and long headers, and the small timeline and control tags.
//
// A stream that cannot grow drops the write and goes on, so an out-of-memory
// condition never crashes; the failure is sticky (failed()), and whoever
// finishes the output must check it before handing the bytes on.

#include <cstdint>
#include <string_view>

#include "support/byte_buffer.h"
#include "swf/swf_tags.h"
#include "swf/swf_types.h"

namespace tessaly {

// One placement of a character on a timeline: what a PlaceObject or
// PlaceObject2 tag carries. The pointers and the name are borrowed.
struct PlaceObjectRecord {
    uint32_t flags = 0;  // place_flag bits
    uint32_t depth = 0;
    uint32_t characterId = 0;
    const SwfMatrix* matrix = nullptr;
    const SwfCxform* cxform = nullptr;
    uint32_t ratio = 0;
    std::string_view name = {};
    uint32_t clipDepth = 0;
};

// The flags byte of a PlaceObject2 tag for the place flags, with or without
// a matrix and a colour transform written (clip actions not included).
uint8_t placeObject2Flags(uint32_t flags, bool matrix, bool cxform);

class SwfStream {
public:
    // Character ids and depths written into tags never exceed this.
    static constexpr uint32_t kMaxId = 65000;
    // An empty running bounds box.
    static constexpr int32_t kEmptyMin = 0x1FFFFFFF;
    static constexpr int32_t kEmptyMax = int32_t(0xE0000000);
    // Quality byte meaning "no JPEG tables written yet".
    static constexpr uint8_t kNoJpegQuality = 255;

    // A stand-alone stream: the buffer grows by 32768 bytes at a time and is
    // allocated on the first write.
    SwfStream() noexcept;
    SwfStream(const SwfStream&) = delete;
    SwfStream& operator=(const SwfStream&) = delete;
    SwfStream(SwfStream&&) noexcept = default;
    SwfStream& operator=(SwfStream&&) noexcept = default;

    // Discards any previous content and state and allocates the buffer
    // (the movie writer passes 32768, 32768, 2.0). 1 on success, 0 when the
    // buffer cannot be allocated.
    [[nodiscard]] int open(uint32_t initialSize, uint32_t increment, float factor);

    // True once any write to the stream was dropped; stays true until open().
    bool failed() const noexcept { return buffer_.failed(); }

    ByteBuffer& buffer() noexcept { return buffer_; }
    const ByteBuffer& buffer() const noexcept { return buffer_; }
    // The bytes written so far; the data ends at the position.
    const uint8_t* data() const noexcept { return buffer_.data(); }
    uint32_t position() const noexcept { return buffer_.position(); }
    uint32_t seek(uint32_t p) { return buffer_.seek(p); }

    // --- bytes ---
    void writeBytes(const void* bytes, uint32_t n) { buffer_.write(bytes, n); }
    void writeU8(uint8_t v) { buffer_.writeU8(v); }
    void writeU16(uint16_t v) { buffer_.writeU16(v); }
    void writeU32(uint32_t v) { buffer_.writeU32(v); }
    // A character id or depth, at most kMaxId.
    void writeId(uint32_t v) { writeU16(uint16_t(v > kMaxId ? kMaxId : v)); }
    // Writes the text up to its first zero byte, then a zero byte.
    void writeString(std::string_view text);

    // --- bits ---
    // Writes the low `count` bits of value (count 0..32), most significant first.
    void writeBits(uint32_t value, unsigned count);
    void writeSignedBits(int32_t value, unsigned count) { writeBits(uint32_t(value), count); }
    // Appends a partly filled accumulator byte, unused low bits zero.
    void flushBits();
    // Empties the accumulator without writing.
    void resetBits() noexcept {
        bitByte_ = 0;
        bitsFree_ = 8;
    }
    // Number of significant bits of v: 0 for 0, 1 for 1, 2 for 2..3, ...
    static unsigned bitsNeeded(uint32_t v) noexcept;
    // The larger of |a| and b.
    static uint32_t maxMagnitude(int32_t a, uint32_t b) noexcept;

    // --- tag framing ---
    // A tag's body is written first, from beginTag on; endTag then puts the
    // header in front of it, once, with the real length: 2 bytes when the body
    // is below 63 bytes and the tag is not one that always takes the long
    // form, 6 otherwise. Sprites frame their bodies the same way.
    void beginTag(SwfTag tag);
    void endTag();
    // Writes a complete header for a body of `length` bytes that follows.
    void writeTagHeader(SwfTag tag, uint32_t length);
    bool tagOpen() const noexcept { return tagOpen_; }
    // The body length of the tag framed last.
    uint32_t tagBodyLength() const noexcept { return tagBodyLength_; }

    // --- records ---
    // Values are saturated to 30 magnitude bits so the 5-bit field stays valid.
    void writeRect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
    // A null matrix is the identity (one byte 0x00).
    void writeMatrix(const SwfMatrix* m);
    // CXFORM (withAlpha false) or CXFORMWITHALPHA. A transform without alpha
    // terms written with alpha uses multiply 256 and add 0 for alpha; terms are
    // saturated to 14 magnitude bits so the 4-bit field stays valid. Null writes
    // a transform with neither multiply nor add terms.
    void writeCxform(const SwfCxform* cx, bool withAlpha);
    void writeRgb(uint32_t rgb);    // 0xRRGGBB -> r, g, b
    void writeRgba(uint32_t argb);  // 0xAARRGGBB -> r, g, b, a

    // --- small tags ---
    // Counts a sprite frame inside a sprite, otherwise a main-timeline frame.
    void writeShowFrame();
    void writeEnd();
    void writeSetBackgroundColor(uint32_t rgb);
    void writeProtect();
    void writeFrameLabel(std::string_view label);
    void writeExportAssets(uint32_t id, std::string_view name);
    // One DoAction tag: push name, push value, set variable, end.
    void writeSetVariable(std::string_view name, std::string_view value);
    void writeSetVariable(std::string_view name, float value);
    void writeRaw(const void* bytes, uint32_t n) { writeBytes(bytes, n); }
    void writeRemoveObject(uint32_t id, uint32_t depth);
    void writeRemoveObject2(uint32_t depth);
    // PlaceObject or PlaceObject2, whichever the flags (place_flag) and the
    // transforms call for. Identity transforms count as absent. Attached data
    // is never written.
    void writePlace(const PlaceObjectRecord& place);
    // The EnableDebugger tag with the movie's fixed password digest.
    void writeEnableDebugger();
    // The 28-character MD5-crypt digest that writeEnableDebugger uses.
    static const char* debuggerPasswordDigest();

    // --- sprites ---
    // Starts a DefineSprite tag; 0 (nothing written) when a sprite is open.
    [[nodiscard]] int beginSprite(uint32_t id);
    // Ends the open sprite: appends an End tag when none was written inside,
    // stores the frame count (at least 1) and fixes the header. 0 when no
    // sprite is open.
    [[nodiscard]] int endSprite();
    bool spriteOpen() const noexcept { return spriteOpen_; }
    uint16_t spriteFrameCount() const noexcept { return spriteFrames_; }

    // --- state kept for the encoders ---
    uint16_t frameCount() const noexcept { return frames_; }
    void setFrameCount(uint16_t n) noexcept { frames_ = n; }

    int32_t penX() const noexcept { return penX_; }
    int32_t penY() const noexcept { return penY_; }
    void setPen(int32_t x, int32_t y) noexcept {
        penX_ = x;
        penY_ = y;
    }
    int32_t boundsMinX() const noexcept { return minX_; }
    int32_t boundsMaxX() const noexcept { return maxX_; }
    int32_t boundsMinY() const noexcept { return minY_; }
    int32_t boundsMaxY() const noexcept { return maxY_; }
    void resetBounds() noexcept;
    void includeInBounds(int32_t x, int32_t y) noexcept;
    bool boundsEmpty() const noexcept { return minX_ > maxX_ || minY_ > maxY_; }

    bool jpegTablesWritten() const noexcept { return jpegTablesWritten_; }
    uint8_t jpegTablesQuality() const noexcept { return jpegTablesQuality_; }
    void setJpegTables(bool written, uint8_t quality) noexcept {
        jpegTablesWritten_ = written;
        jpegTablesQuality_ = quality;
    }

private:
    void resetState() noexcept;
    // Puts the header of `tag` in front of the body from bodyStart to the position.
    void frameTag(SwfTag tag, uint32_t bodyStart);

    ByteBuffer buffer_;
    uint8_t bitByte_ = 0;
    unsigned bitsFree_ = 8;

    bool tagOpen_ = false;
    SwfTag tag_ = SwfTag::End;
    uint32_t tagBodyStart_ = 0;
    uint32_t tagBodyLength_ = 0;

    uint16_t frames_ = 0;
    uint16_t spriteFrames_ = 0;
    bool spriteOpen_ = false;
    bool spriteEndWritten_ = false;
    uint32_t spriteBodyStart_ = 0;

    int32_t penX_ = 0;
    int32_t penY_ = 0;
    int32_t minX_ = kEmptyMin;
    int32_t maxX_ = kEmptyMax;
    int32_t minY_ = kEmptyMin;
    int32_t maxY_ = kEmptyMax;

    bool jpegTablesWritten_ = false;
    uint8_t jpegTablesQuality_ = kNoJpegQuality;
};

}  // namespace tessaly
