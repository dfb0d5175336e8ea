#include "swf/swf_stream.h"

#include "support/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes written(const SwfStream& s) { return Bytes(s.data(), s.data() + s.position()); }

Bytes filler(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i + 1);
    return b;
}

TEST(SwfStreamBits, PacksMostSignificantFirstAndMasksValues) {
    SwfStream s;
    s.writeBits(0b101, 3);
    s.writeBits(0xFFFFFFFF, 2);  // only the low 2 bits count
    s.writeSignedBits(-1, 3);    // two's complement: 111
    s.writeBits(0x12345678, 32);
    s.writeBits(1, 1);
    s.flushBits();
    s.flushBits();  // nothing pending: writes nothing
    EXPECT_EQ(written(s), (Bytes{0xBF, 0x12, 0x34, 0x56, 0x78, 0x80}));

    EXPECT_EQ(SwfStream::bitsNeeded(0), 0u);
    EXPECT_EQ(SwfStream::bitsNeeded(1), 1u);
    EXPECT_EQ(SwfStream::bitsNeeded(2), 2u);
    EXPECT_EQ(SwfStream::bitsNeeded(3), 2u);
    EXPECT_EQ(SwfStream::bitsNeeded(4), 3u);
    EXPECT_EQ(SwfStream::bitsNeeded(0xFFFFFFFFu), 32u);
    EXPECT_EQ(SwfStream::maxMagnitude(-7, 3), 7u);
    EXPECT_EQ(SwfStream::maxMagnitude(2, 9), 9u);
    EXPECT_EQ(SwfStream::maxMagnitude(INT32_MIN, 0), 0x80000000u);
}

TEST(SwfStreamFraming, ShortHeaderBelow63BytesLongOtherwise) {
    for (size_t len : {0u, 62u, 63u, 200u}) {
        SwfStream s;
        s.writeU8(0xAA);  // a tag that does not start at 0
        s.beginTag(SwfTag::FrameLabel);
        const Bytes body = filler(len);
        s.writeBytes(body.data(), uint32_t(len));
        s.endTag();
        const Bytes out = written(s);
        SCOPED_TRACE(len);
        if (len < 63) {
            ASSERT_EQ(out.size(), 1 + 2 + len);
            const uint16_t word = uint16_t(out[1] | out[2] << 8);
            EXPECT_EQ(word, (43 << 6) | len);
            EXPECT_TRUE(std::equal(body.begin(), body.end(), out.begin() + 3));
        } else {
            ASSERT_EQ(out.size(), 1 + 6 + len);
            EXPECT_EQ(out[1] | out[2] << 8, (43 << 6) | 0x3F);
            EXPECT_EQ(uint32_t(out[3] | out[4] << 8 | out[5] << 16 | out[6] << 24), len);
            EXPECT_TRUE(std::equal(body.begin(), body.end(), out.begin() + 7));
        }
        EXPECT_EQ(s.tagBodyLength(), len);
    }
}

TEST(SwfStreamFraming, BitmapAndSoundTagsKeepTheLongHeader) {
    for (SwfTag tag : {SwfTag::DefineBits, SwfTag::SoundStreamBlock, SwfTag::DefineBitsLossless,
                       SwfTag::DefineBitsJpeg2, SwfTag::DefineBitsJpeg3,
           SwfTag::DefineBitsLossless2}) {
        const uint16_t code = tagCode(tag);
        SwfStream s;
        s.beginTag(tag);
        const Bytes body = filler(10);
        s.writeBytes(body.data(), 10);
        s.endTag();
        const Bytes out = written(s);
        ASSERT_EQ(out.size(), 16u) << code;
        EXPECT_EQ(out[0] | out[1] << 8, (code << 6) | 0x3F);
        EXPECT_EQ(out[2], 10);
        EXPECT_EQ(out[3] | out[4] | out[5], 0);
    }
    SwfStream s;
    s.writeTagHeader(SwfTag::DefineBitsLossless, 10);
    s.writeTagHeader(SwfTag::DefineShape, 10);
    s.writeTagHeader(SwfTag::DefineShape, 63);
    EXPECT_EQ(written(s), (Bytes{0x3F, 0x05, 10, 0, 0, 0, 0x8A, 0x00, 0xBF, 0x00, 63, 0, 0, 0}));
}

TEST(SwfStreamFraming, FollowingWritesOverwriteTheStaleBytes) {
    SwfStream s;
    s.writeFrameLabel("a");
    s.writeShowFrame();
    EXPECT_EQ(written(s), (Bytes{0xC2, 0x0A, 'a', 0, 0x40, 0x00}));
}

TEST(SwfStreamRecords, RectOfTheDefaultFrame) {
    SwfStream s;
    s.writeRect(0, 12000, 0, 8000);
    EXPECT_EQ(written(s), (Bytes{0x78, 0x00, 0x05, 0xDC, 0x00, 0x00, 0x0F, 0xA0, 0x00}));

    SwfStream n;
    n.writeRect(-1, 0, 0, 0);  // Nbits 2, -1 as 11
    EXPECT_EQ(written(n), (Bytes{0x16, 0x00}));
}

TEST(SwfStreamRecords, MatrixForms) {
    SwfStream a;
    a.writeMatrix(nullptr);
    SwfMatrix identity;
    a.writeMatrix(&identity);
    EXPECT_EQ(written(a), (Bytes{0x00, 0x00}));

    SwfStream b;
    SwfMatrix t;
    t.translateX = 1;
    b.writeMatrix(&t);
    EXPECT_EQ(written(b), (Bytes{0x04, 0x80}));

    SwfStream c;
    SwfMatrix m;
    m.scaleX = m.scaleY = 0x20000;
    m.translateX = -20;
    m.translateY = 40;
    c.writeMatrix(&m);
    EXPECT_EQ(written(c), (Bytes{0xCD, 0x00, 0x00, 0x20, 0x00, 0x01, 0xF6, 0x28}));

    // Scale is written when either axis differs from 1.0.
    SwfStream d;
    SwfMatrix half;
    half.scaleY = 0x8000;
    d.writeMatrix(&half);
    EXPECT_EQ(d.data()[0] >> 7, 1);
}

TEST(SwfStreamRecords, ColourTransforms) {
    SwfCxform cx;
    cx.flags = SwfCxform::kHasMultiply | SwfCxform::kHasAdd | SwfCxform::kHasAlpha;
    cx.multiply[0] = 128;
    cx.multiply[3] = 128;
    cx.add[0] = -10;
    SwfStream a;
    a.writeCxform(&cx, true);
    EXPECT_EQ(written(a),
              (Bytes{0xE8, 0x80, 0x40, 0x10, 0x02, 0x03, 0xF6, 0x00, 0x00, 0x00, 0x00}));

    // Without alpha the alpha terms neither count for Nbits nor are written.
    SwfCxform add;
    add.flags = SwfCxform::kHasAdd;
    add.add[0] = 255;
    add.add[2] = -255;
    add.add[3] = 4000;
    SwfStream b;
    b.writeCxform(&add, false);
    EXPECT_EQ(written(b), (Bytes{0xA5, 0xFE, 0x00, 0x80, 0x80}));

    // Terms beyond the 4-bit Nbits field are saturated, not wrapped.
    SwfCxform big;
    big.flags = SwfCxform::kHasMultiply;
    big.multiply[0] = -32768;
    SwfStream c;
    c.writeCxform(&big, false);
    EXPECT_EQ(c.data()[0], 0x7E);  // HasAdd 0, HasMult 1, Nbits 15, -16383 starts 10
}

TEST(SwfStreamRecords, ColoursAndStrings) {
    SwfStream s;
    s.writeRgb(0x112233);
    s.writeRgba(0x80AABBCC);
    s.writeString(std::string_view("ab\0cd", 5));
    EXPECT_EQ(written(s), (Bytes{0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC, 0x80, 'a', 'b', 0}));
}

TEST(SwfStreamTags, FixedAndFramedControlTags) {
    SwfStream s;
    s.writeEnd();
    s.writeSetBackgroundColor(0xEEEEEE);
    s.writeProtect();
    s.writeExportAssets(70000, "x");
    s.writeRemoveObject(3, 70000);
    s.writeRemoveObject2(9);
    EXPECT_EQ(written(s), (Bytes{0x00, 0x00, 0x43, 0x02, 0xEE, 0xEE, 0xEE, 0x00, 0x06,
                                 0x06, 0x0E, 0x01, 0x00, 0xE8, 0xFD, 'x', 0x00,
                                 0x44, 0x01, 0x03, 0x00, 0xE8, 0xFD, 0x02, 0x07, 0x09, 0x00}));
}

TEST(SwfStreamTags, ShowFrameCountsTheOpenTimeline) {
    SwfStream s;
    s.writeShowFrame();
    s.writeShowFrame();
    ASSERT_EQ(s.beginSprite(7), 1);
    s.writeShowFrame();
    EXPECT_EQ(s.frameCount(), 2);
    EXPECT_EQ(s.spriteFrameCount(), 1);
    EXPECT_EQ(s.endSprite(), 1);
    s.writeShowFrame();
    EXPECT_EQ(s.frameCount(), 3);
}

TEST(SwfStreamTags, SetVariableActions) {
    SwfStream s;
    s.writeSetVariable("v", "hi");
    EXPECT_EQ(written(s), (Bytes{0x0F, 0x03, 0x96, 0x03, 0x00, 0x00, 'v', 0x00, 0x96, 0x04, 0x00,
                                 0x00, 'h', 'i', 0x00, 0x1D, 0x00}));
    SwfStream n;
    n.writeSetVariable("v", 1.5f);
    EXPECT_EQ(written(n), (Bytes{0x10, 0x03, 0x96, 0x03, 0x00, 0x00, 'v', 0x00, 0x96, 0x05, 0x00,
                                 0x01, 0x00, 0x00, 0xC0, 0x3F, 0x1D, 0x00}));
}

TEST(SwfStreamPlace, IdentityPlacementIsASevenBytePlaceObject) {
    using namespace place_flag;
    SwfMatrix identity;
    SwfCxform plain;
    plain.flags = SwfCxform::kHasMultiply;
    SwfStream s;
    s.writePlace({.flags = kHasId | kHasMatrix | kHasCxform, .depth = 1, .characterId = 5,
                  .matrix = &identity, .cxform = &plain});
    EXPECT_EQ(written(s), (Bytes{0x05, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00}));

    // A colour transform without alpha stays in PlaceObject as CXFORM.
    SwfCxform add;
    add.flags = SwfCxform::kHasAdd;
    add.add[0] = 255;
    add.add[2] = -255;
    SwfStream c;
    c.writePlace({.flags = kHasId | kHasCxform, .depth = 1, .characterId = 5, .cxform = &add});
    EXPECT_EQ(written(c), (Bytes{0x0A, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0xA5, 0xFE, 0x00, 0x80,
                                 0x80}));
}

TEST(SwfStreamPlace, PlaceObject2Layout) {
    using namespace place_flag;
    SwfMatrix t;
    t.translateX = 1;
    SwfStream s;
    s.writePlace({.flags = kHasId | kHasName | kHasRatio | kHasMatrix | kMove | kHasClipDepth,
                  .depth = 70000, .characterId = 66000, .matrix = &t, .ratio = 3, .name = "nm",
                  .clipDepth = 99999});
    EXPECT_EQ(written(s), (Bytes{0x8E, 0x06, 0x77, 0xE8, 0xFD, 0xE8, 0xFD, 0x04, 0x80, 0x03, 0x00,
                                 'n', 'm', 0x00, 0xE8, 0xFD}));

    // An alpha transform forces PlaceObject2; without alpha flags it would not.
    SwfCxform fade;
    fade.flags = SwfCxform::kHasMultiply | SwfCxform::kHasAlpha;
    fade.multiply[3] = 128;
    SwfStream a;
    a.writePlace({.flags = kHasId | kHasCxform, .depth = 2, .characterId = 4, .cxform = &fade});
    const Bytes out = written(a);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ((out[0] | out[1] << 8) >> 6, 26);
    EXPECT_EQ(out[2], 0x0A);  // has character, has colour transform

    // Attached data selects PlaceObject2 but is not written.
    SwfStream d;
    d.writePlace({.flags = kHasId | kHasAttachedData, .depth = 2, .characterId = 4});
    EXPECT_EQ(written(d), (Bytes{0x85, 0x06, 0x02, 0x02, 0x00, 0x04, 0x00}));
}

TEST(SwfStreamPlace, TransformWithoutAlphaGetsOpaqueAlphaInPlaceObject2) {
    using namespace place_flag;
    SwfCxform cx;
    cx.flags = SwfCxform::kHasMultiply | SwfCxform::kHasAdd;
    cx.multiply[0] = cx.multiply[1] = cx.multiply[2] = 128;
    cx.add[0] = 1;
    cx.multiply[3] = 7;  // not an alpha transform: these two are ignored
    cx.add[3] = 50;
    SwfStream s;
    s.writePlace({.flags = kMove | kHasCxform, .depth = 1, .cxform = &cx});
    EXPECT_EQ(written(s), (Bytes{0x8E, 0x06, 0x09, 0x01, 0x00, 0xE8, 0x80, 0x20, 0x08, 0x04, 0x00,
                                 0x01, 0x00, 0x00, 0x00, 0x00}));
}

TEST(SwfStreamSprite, OneFrameSpriteGetsEndAndShortHeader) {
    SwfStream s;
    ASSERT_EQ(s.beginSprite(3), 1);
    EXPECT_EQ(s.beginSprite(4), 0);  // only one sprite at a time
    s.writeShowFrame();
    ASSERT_EQ(s.endSprite(), 1);
    EXPECT_FALSE(s.spriteOpen());
    EXPECT_EQ(written(s), (Bytes{0xC8, 0x09, 0x03, 0x00, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00}));
    EXPECT_EQ(s.endSprite(), 0);
}

TEST(SwfStreamSprite, EmptySpriteCountsOneFrameAndLongBodiesKeepSixBytes) {
    SwfStream s;
    EXPECT_EQ(s.beginSprite(2), 1);
    s.writeEnd();
    EXPECT_EQ(s.endSprite(), 1);
    EXPECT_EQ(written(s), (Bytes{0xC6, 0x09, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00}));

    SwfStream l;
    EXPECT_EQ(l.beginSprite(2), 1);
    for (int i = 0; i < 40; ++i) l.writeShowFrame();
    l.writeEnd();
    EXPECT_EQ(l.endSprite(), 1);
    const Bytes out = written(l);
    ASSERT_EQ(out.size(), 6u + 4 + 80 + 2);
    EXPECT_EQ(out[0] | out[1] << 8, 0x09FF);
    EXPECT_EQ(out[2], 86);
    EXPECT_EQ(out[8], 40);
}

TEST(SwfStreamState, DefaultsAndOpen) {
    SwfStream s;
    EXPECT_TRUE(s.boundsEmpty());
    EXPECT_EQ(s.boundsMinX(), 0x1FFFFFFF);
    EXPECT_EQ(uint32_t(s.boundsMaxY()), 0xE0000000u);
    EXPECT_EQ(s.jpegTablesQuality(), 255);
    s.includeInBounds(-5, 7);
    s.includeInBounds(3, -2);
    EXPECT_EQ(s.boundsMinX(), -5);
    EXPECT_EQ(s.boundsMaxX(), 3);
    EXPECT_EQ(s.boundsMinY(), -2);
    EXPECT_EQ(s.boundsMaxY(), 7);
    s.writeShowFrame();
    s.setJpegTables(true, 80);
    ASSERT_EQ(s.open(32768, 32768, 2.0f), 1);
    EXPECT_EQ(s.position(), 0u);
    EXPECT_EQ(s.frameCount(), 0);
    EXPECT_TRUE(s.boundsEmpty());
    EXPECT_FALSE(s.jpegTablesWritten());
    EXPECT_EQ(s.buffer().capacity(), 32768u);
}

TEST(SwfStreamTags, EnableDebuggerCarriesAnMd5CryptDigest) {
    SwfStream s;
    s.writeEnableDebugger();
    const Bytes out = written(s);
    ASSERT_EQ(out.size(), 33u);
    EXPECT_EQ(out[0] | out[1] << 8, 0x0E9F);
    EXPECT_EQ(out[2] | out[3], 0);
    const std::string digest(reinterpret_cast<const char*>(out.data() + 4), 28);
    EXPECT_EQ(digest.substr(0, 3), "$1$");
    EXPECT_EQ(digest[5], '$');
    EXPECT_EQ(digest.find_first_not_of(
                  "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 6),
              std::string::npos);
    EXPECT_EQ(out[32], 0);
}

// One row per record kind: what one call writes into a fresh stream, header
// included, byte for byte.
TEST(SwfStreamRecords, EveryRecordKindByteForByte) {
    using namespace place_flag;
    struct Row {
        const char* what;
        std::function<void(SwfStream&)> write;
        Bytes bytes;
    };
    const auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::string label62(61, 'x'), label60(60, 'y');
    const char* digest = SwfStream::debuggerPasswordDigest();
    const Row rows[] = {
        {"End", [](SwfStream& s) { s.writeEnd(); }, {0x00, 0x00}},
        {"ShowFrame", [](SwfStream& s) { s.writeShowFrame(); }, {0x40, 0x00}},
        {"SetBackgroundColor", [](SwfStream& s) { s.writeSetBackgroundColor(0x336699); },
         {0x43, 0x02, 0x33, 0x66, 0x99}},
        {"Protect", [](SwfStream& s) { s.writeProtect(); }, {0x00, 0x06}},
        {"FrameLabel, short header", [](SwfStream& s) { s.writeFrameLabel("ab"); },
         {0xC3, 0x0A, 'a', 'b', 0x00}},
        {"FrameLabel, 63-byte body takes the long header",
         [&](SwfStream& s) { s.writeFrameLabel(label62 + "z"); },
         cat({0xFF, 0x0A, 63, 0, 0, 0}, cat(Bytes(61, 'x'), {'z', 0x00}))},
        {"ExportAssets", [](SwfStream& s) { s.writeExportAssets(7, "x"); },
         {0x06, 0x0E, 0x01, 0x00, 0x07, 0x00, 'x', 0x00}},
        {"RemoveObject", [](SwfStream& s) { s.writeRemoveObject(3, 4); },
         {0x44, 0x01, 0x03, 0x00, 0x04, 0x00}},
        {"RemoveObject2, depth clamped", [](SwfStream& s) { s.writeRemoveObject2(70000); },
         {0x02, 0x07, 0xE8, 0xFD}},
        {"PlaceObject without transforms",
         [](SwfStream& s) { s.writePlace({.flags = kHasId | kHasMatrix, .depth = 1,
                                          .characterId = 5}); },
         {0x05, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00}},
        {"PlaceObject2 moving a depth", [](SwfStream& s) { s.writePlace({.flags = kMove,
                                                                         .depth = 3}); },
         {0x83, 0x06, 0x01, 0x03, 0x00}},
        {"PlaceObject2 with a name",
         [](SwfStream& s) { s.writePlace({.flags = kHasId | kHasName, .depth = 2, .characterId = 9,
                                          .name = "a"}); },
         {0x87, 0x06, 0x22, 0x02, 0x00, 0x09, 0x00, 'a', 0x00}},
        {"PlaceObject2 with a clip depth",
         [](SwfStream& s) {
             s.writePlace({.flags = kHasId | kHasClipDepth, .depth = 2, .characterId = 9,
                           .clipDepth = 6});
         },
         {0x87, 0x06, 0x42, 0x02, 0x00, 0x09, 0x00, 0x06, 0x00}},
        {"DefineSprite, short",
         [](SwfStream& s) {
             ASSERT_EQ(s.beginSprite(4), 1);
             s.writeShowFrame();
             ASSERT_EQ(s.endSprite(), 1);
         },
         {0xC8, 0x09, 0x04, 0x00, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00}},
        {"DefineSprite, long, around a short tag",
         [&](SwfStream& s) {
             ASSERT_EQ(s.beginSprite(4), 1);
             s.writeFrameLabel(label60);
             ASSERT_EQ(s.endSprite(), 1);
         },
         cat({0xFF, 0x09, 69, 0, 0, 0, 0x04, 0x00, 0x01, 0x00, 0xFD, 0x0A},
             cat(Bytes(60, 'y'), {0x00, 0x00, 0x00}))},
        {"DefineBitsLossless keeps the long header",
         [](SwfStream& s) {
             s.beginTag(SwfTag::DefineBitsLossless);
             s.writeU8(0xAA);
             s.endTag();
         },
         {0x3F, 0x05, 0x01, 0x00, 0x00, 0x00, 0xAA}},
        {"EnableDebugger", [](SwfStream& s) { s.writeEnableDebugger(); },
         cat(cat({0x9F, 0x0E, 0x00, 0x00}, Bytes(digest, digest + 28)), {0x00})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SwfStream s;
        row.write(s);
        EXPECT_EQ(written(s), row.bytes);
        EXPECT_FALSE(s.failed());
    }
}

// A tag or sprite whose header cannot be put in front of its body leaves the
// stream failed rather than a body without a header that passes for whole.
TEST(SwfStreamFraming, AHeaderThatCannotBeInsertedFailsTheStream) {
    SwfStream s;
    ASSERT_EQ(s.open(16, 16, 1.0f), 1);
    s.beginTag(SwfTag::FrameLabel);
    s.writeBytes(std::string(15, 'q').data(), 15);
    {
        ScopedAllocationFailure failure;
        failure.failAfter(0);
        s.endTag();
    }
    EXPECT_TRUE(s.failed());
}

}  // namespace
}  // namespace tessaly
