#include "swf/swf_bit_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/swf_stream.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes written(const SwfStream& s) { return Bytes(s.data(), s.data() + s.position()); }

SwfMatrix matrix(int32_t sx, int32_t s0, int32_t s1, int32_t sy, int32_t tx, int32_t ty) {
    SwfMatrix m;
    m.scaleX = sx;
    m.skew0 = s0;
    m.skew1 = s1;
    m.scaleY = sy;
    m.translateX = tx;
    m.translateY = ty;
    return m;
}

SwfCxform cxform(uint32_t flags, std::initializer_list<int16_t> mult, std::initializer_list<int16_t> add) {
    SwfCxform c;
    c.flags = flags;
    int i = 0;
    for (int16_t v : mult) c.multiply[i++] = v;
    i = 0;
    for (int16_t v : add) c.add[i++] = v;
    return c;
}

// Writes a record and a marker byte after it; the record reads back as
// `expected` and ends exactly where the writer stopped (the marker is next).
template <typename T, typename Write, typename Read>
void expectReadBack(const T& expected, Write write, Read read) {
    SwfStream s;
    write(s);
    s.writeU8(0xA5);
    const Bytes b = written(s);
    SwfBitReader in(b.data(), uint32_t(b.size()));
    EXPECT_EQ(read(in), expected);
    EXPECT_EQ(in.position(), b.size() - 1);
    EXPECT_EQ(in.readU8(), 0xA5);
    EXPECT_FALSE(in.failed());
}

TEST(SwfBitReader, RecordsReadBackWhatTheStreamWrote) {
    const SwfRect rects[] = {{0, 0, 0, 0}, {0, 12000, 0, 8000}, {-1, 1, -32768, 32767},
                             {-(1 << 30) + 1, (1 << 30) - 1, 5, -5}};
    for (const SwfRect& r : rects) {
        expectReadBack(
            r, [&](SwfStream& s) { s.writeRect(r.xmin, r.xmax, r.ymin, r.ymax); },
            [](SwfBitReader& in) { return in.readRect(); });
    }

    const SwfMatrix matrices[] = {
        SwfMatrix{},                                      // identity: one byte
        matrix(0x10000, 0, 0, 0x10000, 1, 0),             // translation only
        matrix(0x8000, 0, 0, -0x20000, -400, 12345),      // scale, negative
        matrix(0x10000, 0x4000, -0xB505, 0x10000, 0, 0),  // skew only
        matrix(-0x10000, 1, -1, 0x7FFFFFF, -(1 << 29), (1 << 29)),
    };
    for (const SwfMatrix& m : matrices) {
        expectReadBack(
            m, [&](SwfStream& s) { s.writeMatrix(&m); }, [](SwfBitReader& in) { return in.readMatrix(); });
    }

    using C = SwfCxform;
    const SwfCxform cxforms[] = {
        cxform(C::kHasMultiply | C::kHasAlpha, {128, 256, 512, 64}, {}),
        cxform(C::kHasAdd | C::kHasAlpha, {}, {-255, 0, 255, -16}),
        cxform(C::kHasMultiply | C::kHasAdd | C::kHasAlpha, {-1, 0, 1, 16383}, {-16383, 2, 3, 4}),
        cxform(C::kHasAlpha, {}, {}),
    };
    for (const SwfCxform& c : cxforms) {
        for (bool withAlpha : {false, true}) {
            SCOPED_TRACE(withAlpha ? "with alpha" : "without alpha");
            SwfCxform expected = c;
            if (!withAlpha) {  // the alpha terms are not in the record
                expected.flags &= ~C::kHasAlpha;
                expected.multiply[3] = 256;
                expected.add[3] = 0;
            }
            // Terms the record does not carry read as the neutral ones.
            if (!(c.flags & C::kHasMultiply)) std::fill(expected.multiply, expected.multiply + 4, 256);
            if (!(c.flags & C::kHasAdd)) std::fill(expected.add, expected.add + 4, 0);
            expectReadBack(
                expected, [&](SwfStream& s) { s.writeCxform(&c, withAlpha); },
                [&](SwfBitReader& in) { return in.readCxform(withAlpha); });
        }
    }
}

TEST(SwfBitReader, FieldsAcrossByteBoundaries) {
    SwfStream s;
    s.writeBits(0b101, 3);
    s.writeSignedBits(-2, 7);
    s.writeBits(0xFFFFFFFFu, 32);
    s.writeSignedBits(-5, 4);
    s.flushBits();
    s.writeU16(0xBEEF);
    s.writeU32(0x01020304);
    s.writeString("ab");
    s.writeU8(9);
    const Bytes b = written(s);

    SwfBitReader in(b.data(), uint32_t(b.size()));
    EXPECT_EQ(in.readBits(3), 0b101u);
    EXPECT_EQ(in.readSignedBits(7), -2);
    EXPECT_EQ(in.readBits(32), 0xFFFFFFFFu);
    EXPECT_EQ(in.readSignedBits(4), -5);
    EXPECT_EQ(in.readU16(), 0xBEEF);  // starts on the next byte
    EXPECT_EQ(in.readU32(), 0x01020304u);
    in.skipString();
    EXPECT_EQ(in.readU8(), 9);
    EXPECT_EQ(in.position(), b.size());
    EXPECT_FALSE(in.failed());
    EXPECT_EQ(in.readSignedBits(0), 0);
    EXPECT_FALSE(in.failed()) << "an empty field reads nothing";
}

// A record cut anywhere sets the failure flag; every byte the reader touches
// lies inside the span (the data sits at the very end of its allocation, so
// a read beyond it would be caught by the address sanitizer build).
TEST(SwfBitReader, TruncatedRecordsFailWithoutReadingPastTheEnd) {
    const SwfMatrix m = matrix(0x18000, 0x100, -0x100, 0x8000, -700, 900);
    const SwfCxform c = cxform(SwfCxform::kHasMultiply | SwfCxform::kHasAdd | SwfCxform::kHasAlpha,
                               {1, 2, 3, 4}, {5, 6, 7, 8});
    SwfStream s;
    s.writeRect(-100, 100, -200, 200);
    s.writeMatrix(&m);
    s.writeCxform(&c, true);
    const Bytes all = written(s);
    for (size_t cut = 0; cut < all.size(); ++cut) {
        auto exact = std::make_unique<uint8_t[]>(cut ? cut : 1);
        std::copy(all.begin(), all.begin() + cut, exact.get());
        SwfBitReader in(exact.get(), uint32_t(cut));
        (void)in.readRect();
        (void)in.readMatrix();
        (void)in.readCxform(true);
        EXPECT_TRUE(in.failed()) << "cut at " << cut;
        EXPECT_LE(in.position(), cut);
    }

    // Bits past the end read as zeros, and the flag stays until cleared.
    const uint8_t one[] = {0xC1};
    SwfBitReader in(one, 1);
    EXPECT_EQ(in.readBits(6), 0b110000u);
    EXPECT_FALSE(in.failed());
    EXPECT_EQ(in.readBits(4), 0b0100u);  // 01 then two bits past the end
    EXPECT_TRUE(in.failed());
    in.seek(0);
    EXPECT_EQ(in.readU8(), 0xC1);
    EXPECT_TRUE(in.failed()) << "sticky";
    in.clearFailure();
    EXPECT_EQ(in.readU16(), 0);
    EXPECT_TRUE(in.failed());

    // Skips and strings that run off the end stop at it.
    const uint8_t text[] = {'a', 'b'};
    SwfBitReader str(text, 2);
    str.skipString();
    EXPECT_TRUE(str.failed());
    EXPECT_EQ(str.position(), 2u);
    SwfBitReader skip(text, 2);
    skip.skipBits(UINT64_MAX);
    EXPECT_TRUE(skip.failed());
    EXPECT_EQ(skip.position(), 2u);
    skip.seek(1000);
    EXPECT_EQ(skip.position(), 2u);

    SwfBitReader none;
    EXPECT_EQ(none.readU32(), 0u);
    EXPECT_EQ(none.readRect(), SwfRect{});
    EXPECT_TRUE(none.failed());
}

}  // namespace
}  // namespace tessaly
