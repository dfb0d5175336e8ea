#include "swf/swf_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace tessaly {

namespace {

// Largest magnitude that fits the 5-bit bit-count fields of RECT and MATRIX.
constexpr int32_t kMaxRecordMagnitude = (1 << 30) - 1;
// Largest magnitude that fits the 4-bit bit-count field of CXFORM.
constexpr int32_t kMaxCxformMagnitude = (1 << 14) - 1;

int32_t saturate(int32_t v, int32_t limit) { return std::clamp(v, -limit, limit); }

std::string_view untilZero(std::string_view text) {
    const auto zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

constexpr uint8_t kActionPush = 0x96;
constexpr uint8_t kActionSetVariable = 0x1D;

}  // namespace

SwfStream::SwfStream() noexcept = default;

void SwfStream::resetState() noexcept {
    resetBits();
    tagOpen_ = false;
    tag_ = SwfTag::End;
    tagBodyStart_ = tagBodyLength_ = 0;
    frames_ = spriteFrames_ = 0;
    spriteOpen_ = spriteEndWritten_ = false;
    spriteBodyStart_ = 0;
    penX_ = penY_ = 0;
    resetBounds();
    jpegTablesWritten_ = false;
    jpegTablesQuality_ = kNoJpegQuality;
}

int SwfStream::open(uint32_t initialSize, uint32_t increment, float factor) {
    resetState();
    return buffer_.allocate(initialSize, increment, factor) ? 1 : 0;
}

void SwfStream::writeString(std::string_view text) {
    const std::string_view s = untilZero(text);
    writeBytes(s.data(), uint32_t(s.size()));
    writeU8(0);
}

// --- bits ---

void SwfStream::writeBits(uint32_t value, unsigned count) {
    if (count == 0) return;
    if (count > 32) count = 32;
    if (count < 32) value &= (uint32_t(1) << count) - 1;
    // The pending bits and the new ones, right-aligned, at most 7 + 32 bits.
    unsigned total = (8 - bitsFree_) + count;
    const uint64_t acc = (uint64_t(bitByte_ >> bitsFree_) << count) | value;
    uint8_t bytes[5];
    unsigned n = 0;
    while (total >= 8) {
        total -= 8;
        bytes[n++] = uint8_t(acc >> total);
    }
    if (n) writeBytes(bytes, n);
    bitByte_ = uint8_t(total ? (acc << (8 - total)) : 0);
    bitsFree_ = 8 - total;
}

void SwfStream::flushBits() {
    if (bitsFree_ < 8) writeU8(bitByte_);
    resetBits();
}

unsigned SwfStream::bitsNeeded(uint32_t v) noexcept { return unsigned(std::bit_width(v)); }

uint32_t SwfStream::maxMagnitude(int32_t a, uint32_t b) noexcept {
    const uint32_t magnitude = a < 0 ? uint32_t(0) - uint32_t(a) : uint32_t(a);
    return std::max(magnitude, b);
}

// --- tag framing ---

void SwfStream::beginTag(SwfTag tag) {
    tagOpen_ = true;
    tag_ = tag;
    tagBodyStart_ = position();
}

void SwfStream::endTag() {
    if (!tagOpen_) return;
    tagOpen_ = false;
    frameTag(tag_, tagBodyStart_);
}

namespace {
// The header of a tag whose body is `length` bytes, little-endian: the code
// and a short length, or the code, 0x3F and a 32-bit length. Returns its size.
uint32_t encodeTagHeader(SwfTag tag, uint32_t length, uint8_t (&header)[6]) {
    const uint32_t n = tagHeaderLength(tag, length);
    const uint16_t word = uint16_t(tagCode(tag) << 6 | (n == 2 ? length : 0x3F));
    header[0] = uint8_t(word);
    header[1] = uint8_t(word >> 8);
    for (int i = 0; i < 4; ++i) header[2 + i] = uint8_t(length >> (8 * i));
    return n;
}
}  // namespace

void SwfStream::frameTag(SwfTag tag, uint32_t bodyStart) {
    const uint32_t end = position();
    if (end < bodyStart) return;
    tagBodyLength_ = end - bodyStart;
    uint8_t header[6];
    const uint32_t n = encodeTagHeader(tag, tagBodyLength_, header);
    // The body moves up once to make room for the header; a failed growth
    // leaves the stream failed, which whoever finishes it reports.
    buffer_.truncate(end);
    if (!buffer_.insertGap(bodyStart, n)) return;
    std::memcpy(buffer_.data() + bodyStart, header, n);
}

void SwfStream::writeTagHeader(SwfTag tag, uint32_t length) {
    uint8_t header[6];
    writeBytes(header, encodeTagHeader(tag, length, header));
}

// --- records ---

void SwfStream::writeRect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
    const int32_t v[4] = {saturate(xmin, kMaxRecordMagnitude), saturate(xmax, kMaxRecordMagnitude),
                          saturate(ymin, kMaxRecordMagnitude), saturate(ymax, kMaxRecordMagnitude)};
    uint32_t magnitude = 0;
    for (int32_t x : v) magnitude = maxMagnitude(x, magnitude);
    const unsigned nbits = bitsNeeded(magnitude) + 1;
    resetBits();
    writeBits(nbits, 5);
    for (int32_t x : v) writeSignedBits(x, nbits);
    flushBits();
}

void SwfStream::writeMatrix(const SwfMatrix* m) {
    resetBits();
    if (!m) {
        writeBits(0, 7);
        flushBits();
        return;
    }
    const int32_t sx = saturate(m->scaleX, kMaxRecordMagnitude);
    const int32_t sy = saturate(m->scaleY, kMaxRecordMagnitude);
    const int32_t r0 = saturate(m->skew0, kMaxRecordMagnitude);
    const int32_t r1 = saturate(m->skew1, kMaxRecordMagnitude);
    const int32_t tx = saturate(m->translateX, kMaxRecordMagnitude);
    const int32_t ty = saturate(m->translateY, kMaxRecordMagnitude);

    const bool hasScale = !(m->scaleX == 0x10000 && m->scaleY == 0x10000);
    writeBits(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const unsigned nbits = bitsNeeded(maxMagnitude(sx, maxMagnitude(sy, 0))) + 1;
        writeBits(nbits, 5);
        writeSignedBits(sx, nbits);
        writeSignedBits(sy, nbits);
    }
    const bool hasRotate = r0 != 0 || r1 != 0;
    writeBits(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const unsigned nbits = bitsNeeded(maxMagnitude(r0, maxMagnitude(r1, 0))) + 1;
        writeBits(nbits, 5);
        writeSignedBits(r0, nbits);
        writeSignedBits(r1, nbits);
    }
    const unsigned n = bitsNeeded(maxMagnitude(tx, maxMagnitude(ty, 0)));
    const unsigned nbits = n > 0 ? n + 1 : 0;
    writeBits(nbits, 5);
    writeSignedBits(tx, nbits);
    writeSignedBits(ty, nbits);
    flushBits();
}

void SwfStream::writeCxform(const SwfCxform* cx, bool withAlpha) {
    resetBits();
    const SwfCxform none{};
    const SwfCxform& c = cx ? *cx : none;
    const bool hasMult = cx && (c.flags & SwfCxform::kHasMultiply);
    const bool hasAdd = cx && (c.flags & SwfCxform::kHasAdd);
    const bool sourceAlpha = (c.flags & SwfCxform::kHasAlpha) != 0;
    const int channels = withAlpha ? 4 : 3;

    int32_t mult[4];
    int32_t add[4];
    for (int i = 0; i < 4; ++i) {
        const bool alphaDefault = i == 3 && !sourceAlpha;
        mult[i] = alphaDefault ? 256 : saturate(c.multiply[i], kMaxCxformMagnitude);
        add[i] = alphaDefault ? 0 : saturate(c.add[i], kMaxCxformMagnitude);
    }
    uint32_t magnitude = 0;
    for (int i = 0; i < channels; ++i) {
        if (hasMult) magnitude = maxMagnitude(mult[i], magnitude);
        if (hasAdd) magnitude = maxMagnitude(add[i], magnitude);
    }
    const unsigned nbits = bitsNeeded(magnitude) + 1;
    writeBits(hasAdd ? 1 : 0, 1);
    writeBits(hasMult ? 1 : 0, 1);
    writeBits(nbits, 4);
    if (hasMult) {
        for (int i = 0; i < channels; ++i) writeSignedBits(mult[i], nbits);
    }
    if (hasAdd) {
        for (int i = 0; i < channels; ++i) writeSignedBits(add[i], nbits);
    }
    flushBits();
}

void SwfStream::writeRgb(uint32_t rgb) {
    const uint8_t b[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
    writeBytes(b, 3);
}

void SwfStream::writeRgba(uint32_t argb) {
    const uint8_t b[4] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb),
                          uint8_t(argb >> 24)};
    writeBytes(b, 4);
}

// --- small tags ---

void SwfStream::writeShowFrame() {
    writeTagHeader(SwfTag::ShowFrame, 0);
    if (spriteOpen_) {
        if (spriteFrames_ < 0xFFFF) ++spriteFrames_;
    } else if (frames_ < 0xFFFF) {
        ++frames_;
    }
}

void SwfStream::writeEnd() {
    writeTagHeader(SwfTag::End, 0);
    if (spriteOpen_) spriteEndWritten_ = true;
}

void SwfStream::writeSetBackgroundColor(uint32_t rgb) {
    writeTagHeader(SwfTag::SetBackgroundColor, 3);
    writeRgb(rgb);
}

void SwfStream::writeProtect() {
    beginTag(SwfTag::Protect);
    endTag();
}

void SwfStream::writeFrameLabel(std::string_view label) {
    beginTag(SwfTag::FrameLabel);
    writeString(label);
    endTag();
}

void SwfStream::writeExportAssets(uint32_t id, std::string_view name) {
    beginTag(SwfTag::ExportAssets);
    writeU16(1);
    writeId(id);
    writeString(name);
    endTag();
}

namespace {
// A push of one string: type 0, the text and its zero byte. The record
// length is a u16, so very long texts are cut to fit.
void writePushString(SwfStream& s, std::string_view text) {
    std::string_view t = untilZero(text);
    if (t.size() > 0xFFFD) t = t.substr(0, 0xFFFD);
    s.writeU8(kActionPush);
    s.writeU16(uint16_t(t.size() + 2));
    s.writeU8(0);
    s.writeString(t);
}
}  // namespace

void SwfStream::writeSetVariable(std::string_view name, std::string_view value) {
    beginTag(SwfTag::DoAction);
    writePushString(*this, name);
    writePushString(*this, value);
    writeU8(kActionSetVariable);
    writeU8(0);
    endTag();
}

void SwfStream::writeSetVariable(std::string_view name, float value) {
    beginTag(SwfTag::DoAction);
    writePushString(*this, name);
    writeU8(kActionPush);
    writeU16(5);
    writeU8(1);
    writeU32(std::bit_cast<uint32_t>(value));
    writeU8(kActionSetVariable);
    writeU8(0);
    endTag();
}

void SwfStream::writeRemoveObject(uint32_t id, uint32_t depth) {
    writeTagHeader(SwfTag::RemoveObject, 4);
    writeId(id);
    writeId(depth);
}

void SwfStream::writeRemoveObject2(uint32_t depth) {
    writeTagHeader(SwfTag::RemoveObject2, 2);
    writeId(depth);
}

uint8_t placeObject2Flags(uint32_t flags, bool matrix, bool cxform) {
    using namespace place_flag;
    uint8_t f = 0;
    if (flags & kMove) f |= 0x01;
    if (flags & kHasId) f |= 0x02;
    if (matrix) f |= 0x04;
    if (cxform) f |= 0x08;
    if (flags & kHasRatio) f |= 0x10;
    if (flags & kHasName) f |= 0x20;
    if (flags & kHasClipDepth) f |= 0x40;
    return f;
}

void SwfStream::writePlace(const PlaceObjectRecord& place) {
    using namespace place_flag;
    const uint32_t flags = place.flags;
    const SwfMatrix* m =
        (flags & kHasMatrix) && place.matrix && !place.matrix->isIdentity() ? place.matrix : nullptr;
    const SwfCxform* cx =
        (flags & kHasCxform) && place.cxform && !place.cxform->isIdentity() ? place.cxform : nullptr;
    const bool cxAlpha = cx && (cx->flags & SwfCxform::kHasAlpha);
    const bool useSecond =
        (flags & (kHasName | kMove | kHasRatio | kHasClipDepth | kHasAttachedData)) || cxAlpha;

    if (!useSecond) {
        beginTag(SwfTag::PlaceObject);
        writeId(place.characterId);
        writeId(place.depth);
        writeMatrix(m);
        if (cx) writeCxform(cx, false);
        endTag();
        return;
    }

    const uint8_t f = placeObject2Flags(flags, m != nullptr, cx != nullptr);

    beginTag(SwfTag::PlaceObject2);
    writeU8(f);
    writeId(place.depth);
    if (flags & kHasId) writeId(place.characterId);
    if (m) writeMatrix(m);
    if (cx) writeCxform(cx, true);
    if (flags & kHasRatio) writeU16(uint16_t(std::min<uint32_t>(place.ratio, 0xFFFF)));
    if (flags & kHasName) writeString(place.name);
    if (flags & kHasClipDepth) writeId(place.clipDepth);
    endTag();
}

const char* SwfStream::debuggerPasswordDigest() {
    // An MD5-crypt digest ("$1$", salt, "$", 22 hash characters), assembled
    // from pieces so the finished string does not stand in the binary as one.
    static const std::string digest = [] {
        std::string s;
        s += "$1";
        s += "$Tq";
        s += "$zo/SD7";
        s += "YVkUqE";
        s += "WSH2hP";
        s += "x7L/";
        return s;
    }();
    return digest.c_str();
}

void SwfStream::writeEnableDebugger() {
    // Code 58 with a 31-byte body: reserved u16, the digest, a zero byte.
    writeTagHeader(SwfTag::EnableDebugger, 31);
    writeU16(0);
    const char* digest = debuggerPasswordDigest();
    writeBytes(digest, 28);
    writeU8(0);
}

// --- sprites ---

int SwfStream::beginSprite(uint32_t id) {
    if (spriteOpen_) return 0;
    spriteBodyStart_ = position();
    writeId(id);
    writeU16(1);  // the frame count, known when the sprite ends
    spriteFrames_ = 0;
    spriteEndWritten_ = false;
    spriteOpen_ = true;
    return 1;
}

int SwfStream::endSprite() {
    if (!spriteOpen_) return 0;
    if (!spriteEndWritten_) writeEnd();
    spriteOpen_ = false;
    // The id and frame count must have been written for the tag to be framed.
    if (position() < spriteBodyStart_ + 4) return 1;
    const uint16_t frames = spriteFrames_ ? spriteFrames_ : 1;
    uint8_t* d = buffer_.data();
    d[spriteBodyStart_ + 2] = uint8_t(frames);
    d[spriteBodyStart_ + 3] = uint8_t(frames >> 8);
    frameTag(SwfTag::DefineSprite, spriteBodyStart_);
    return 1;
}

// --- state ---

void SwfStream::resetBounds() noexcept {
    minX_ = minY_ = kEmptyMin;
    maxX_ = maxY_ = kEmptyMax;
}

void SwfStream::includeInBounds(int32_t x, int32_t y) noexcept {
    minX_ = std::min(minX_, x);
    maxX_ = std::max(maxX_, x);
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
}

}  // namespace tessaly
