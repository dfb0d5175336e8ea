#include "swf/swf_file_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../support/scratch_dir.h"
#include "swf/swf_compress.h"
#include "swf/swf_stream.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void putU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A small two-frame movie with short, long and bitmap tags.
Bytes makeMovie(uint32_t shapeBody = 100) {
    SwfStream s;
    s.writeBytes("FWS", 3);
    s.writeU8(5);
    s.writeU32(0);
    s.writeRect(0, 12000, 0, 8000);
    s.writeU16(12 * 256);
    s.writeU16(2);
    s.writeSetBackgroundColor(0x336699);
    s.writeFrameLabel("one");
    s.writeShowFrame();
    s.beginTag(SwfTag::DefineShape);
    for (uint32_t i = 0; i < shapeBody; ++i) s.writeU8(uint8_t(i));
    s.endTag();
    s.beginTag(SwfTag::DefineBitsLossless);
    for (int i = 0; i < 10; ++i) s.writeU8(0xB0);
    s.endTag();
    s.writeShowFrame();
    s.writeEnd();
    Bytes movie(s.data(), s.data() + s.position());
    putU32(movie, 4, uint32_t(movie.size()));
    return movie;
}

Bytes compressMovie(const Bytes& fws, uint32_t statedLength = 0, size_t cut = 0) {
    uLongf packedLength = compressBound(uLong(fws.size() - 8));
    Bytes packed(packedLength);
    compress2(packed.data(), &packedLength, fws.data() + 8, uLong(fws.size() - 8), 9);
    packed.resize(packedLength - cut);
    Bytes cws;
    cws.reserve(8 + packed.size());
    cws.assign(fws.begin(), fws.begin() + 8);
    cws[0] = 'C';
    if (statedLength) putU32(cws, 4, statedLength);
    cws.insert(cws.end(), packed.begin(), packed.end());
    return cws;
}

Bytes readBack(const std::string& path) {
    const std::string text = testing_support::slurp(path);
    return Bytes(text.begin(), text.end());
}

std::vector<SwfTag> tagCodes(SwfFileReader& r) {
    std::vector<SwfTag> codes;
    while (r.nextTag()) codes.push_back(SwfTag(r.tagCode()));
    return codes;
}

TEST(SwfFileReader, ParsesHeaderAndWalksTags) {
    const Bytes movie = makeMovie();
    SwfFileReader r;
    ASSERT_EQ(r.readMemory(movie.data(), movie.size()), 1);
    EXPECT_FALSE(r.isCompressed());
    EXPECT_FALSE(r.wasCompressed());
    ASSERT_EQ(r.parseHeader(), 1);
    EXPECT_EQ(r.headerLength(), 21u);
    EXPECT_EQ(r.position(), 21u);
    const SwfHeaderInfo& h = r.header();
    EXPECT_EQ(h.version, 5);
    EXPECT_EQ(h.fileLength, movie.size());
    EXPECT_EQ(h.xmax, 12000);
    EXPECT_EQ(h.ymax, 8000);
    EXPECT_DOUBLE_EQ(h.frameRate, 12.0);
    EXPECT_EQ(h.frameCount, 2);

    ASSERT_EQ(r.nextTag(), 1);
    EXPECT_EQ(SwfTag(r.tagCode()), SwfTag::SetBackgroundColor);
    EXPECT_EQ(r.tagLength(), 3u);
    EXPECT_EQ(r.readU8(), 0x33);
    EXPECT_EQ(r.nextTag(), 1);  // skips the rest of the body
    EXPECT_EQ(SwfTag(r.tagCode()), SwfTag::FrameLabel);
    EXPECT_EQ(tagCodes(r), (std::vector<SwfTag>{SwfTag::ShowFrame, SwfTag::DefineShape,
                                                SwfTag::DefineBitsLossless, SwfTag::ShowFrame,
                                                SwfTag::End}));
    EXPECT_FALSE(r.tagTruncated());
}

TEST(SwfFileReader, InflatesCompressedMovies) {
    const Bytes movie = makeMovie();
    const Bytes cws = compressMovie(movie);
    SwfFileReader r;
    ASSERT_EQ(r.readMemory(cws.data(), cws.size()), 1);
    EXPECT_TRUE(r.wasCompressed());
    EXPECT_FALSE(r.isCompressed());
    ASSERT_EQ(r.size(), movie.size());
    EXPECT_EQ(Bytes(r.data(), r.data() + r.size()), movie);
    ASSERT_EQ(r.parseHeader(), 1);
    EXPECT_EQ(tagCodes(r), (std::vector<SwfTag>{SwfTag::SetBackgroundColor, SwfTag::FrameLabel,
                                                SwfTag::ShowFrame, SwfTag::DefineShape,
                                                SwfTag::DefineBitsLossless, SwfTag::ShowFrame,
                                                SwfTag::End}));
}

TEST(SwfFileReader, RefusesUntrustworthyCompressedMovies) {
    const Bytes movie = makeMovie();
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"stated length near 4 GiB", compressMovie(movie, 0xFFFFFFF0u)},
        {"stated length beyond what the data can expand to", compressMovie(movie, 100u << 20)},
        {"stated length longer than the data", compressMovie(movie, uint32_t(movie.size() + 1))},
        {"stated length below the header", compressMovie(movie, 4)},
        {"truncated stream", compressMovie(movie, 0, 6)},
        {"damaged stream", [&] {
             Bytes b = compressMovie(movie);
             for (size_t i = 10; i < b.size(); ++i) b[i] ^= 0x5A;
             return b;
         }()},
        {"header only", Bytes{'C', 'W', 'S', 5, 30, 0, 0, 0}},
        {"too short", Bytes{'C', 'W', 'S'}},
        {"bad signature", Bytes{'Z', 'W', 'S', 5, 8, 0, 0, 0}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        SwfFileReader r;
        EXPECT_EQ(r.readMemory(bytes.data(), bytes.size()), 0);
        EXPECT_EQ(r.size(), 0u);
        EXPECT_EQ(r.data(), nullptr);
    }
    // Extra data after the stated length is ignored.
    const Bytes shorter = compressMovie(movie, uint32_t(movie.size() - 2));
    SwfFileReader r;
    ASSERT_EQ(r.readMemory(shorter.data(), shorter.size()), 1);
    EXPECT_EQ(r.size(), movie.size() - 2);
}

TEST(SwfFileReader, TruncatedDataFailsCleanly) {
    Bytes movie = makeMovie();
    // A tag whose stated body runs past the end of the data.
    movie.resize(movie.size() - 22);
    SwfFileReader r;
    ASSERT_EQ(r.readMemory(movie.data(), movie.size()), 1);
    ASSERT_EQ(r.parseHeader(), 1);
    EXPECT_EQ(tagCodes(r), (std::vector<SwfTag>{SwfTag::SetBackgroundColor, SwfTag::FrameLabel,
                                                SwfTag::ShowFrame}));
    EXPECT_TRUE(r.tagTruncated());
    EXPECT_FALSE(r.hasTag());
    SwfStream out;
    EXPECT_EQ(r.copyTag(out), 0);

    // A header cut inside its RECT.
    const Bytes head(movie.begin(), movie.begin() + 12);
    SwfFileReader h;
    ASSERT_EQ(h.readMemory(head.data(), head.size()), 1);
    EXPECT_EQ(h.parseHeader(), 0);

    // Bit and byte reads past the end give zeros and flag the overrun.
    const uint8_t two[] = {'F', 0xE7};
    SwfFileReader b;
    ASSERT_EQ(b.readMemory(two, 2), 1);
    EXPECT_EQ(b.readU8(), 'F');
    EXPECT_EQ(b.readSignedBits(3), -1);
    EXPECT_EQ(b.readSignedBits(3), 1);
    EXPECT_FALSE(b.overrun());
    EXPECT_EQ(b.readBits(6), 0x30u);  // 11 then four zero bits past the end
    EXPECT_TRUE(b.overrun());
    EXPECT_EQ(b.readU32(), 0u);

    // Empty data reads fine and has no tags.
    SwfFileReader e;
    EXPECT_EQ(e.readMemory(nullptr, 0), 1);
    EXPECT_EQ(e.readTagHeader(), 0);
    EXPECT_FALSE(e.tagTruncated());
}

TEST(SwfFileReader, CopiesTagsWithFreshOrRawHeaders) {
    // A short FrameLabel written with a long header, then a bitmap tag.
    const Bytes tags = {0xFF, 0x0A, 2, 0, 0, 0, 'a', 0,  // FrameLabel, long form
                        0x3F, 0x05, 10, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Bytes file = {'F', 'W', 'S', 5, 0, 0, 0, 0};
    file.insert(file.end(), tags.begin(), tags.end());
    SwfFileReader r;
    ASSERT_EQ(r.readMemory(file.data(), file.size()), 1);
    r.seek(8);
    SwfStream fresh;
    SwfStream raw;
    ASSERT_EQ(r.readTagHeader(), 1);
    EXPECT_TRUE(r.tagLongHeader());
    EXPECT_EQ(r.tagStart(), 8u);
    EXPECT_EQ(r.tagBodyStart(), 14u);
    EXPECT_EQ(r.tagBodyEnd(), 16u);
    ASSERT_EQ(r.copyTag(fresh), 1);
    r.seek(8);
    ASSERT_EQ(r.readTagHeader(), 1);
    ASSERT_EQ(r.copyRawTag(raw), 1);
    ASSERT_EQ(r.readTagHeader(), 1);
    EXPECT_EQ(SwfTag(r.tagCode()), SwfTag::DefineBitsLossless);
    ASSERT_EQ(r.copyTag(fresh), 1);
    EXPECT_EQ(Bytes(fresh.data(), fresh.data() + fresh.position()),
              (Bytes{0xC2, 0x0A, 'a', 0, 0x3F, 0x05, 10, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(Bytes(raw.data(), raw.data() + raw.position()), Bytes(tags.begin(), tags.begin() + 8));

    // Bodies of 63 bytes and more keep the long form; several chunks are copied.
    for (uint32_t n : {62u, 63u, 9000u}) {
        const Bytes movie = makeMovie(n);
        SwfFileReader m;
        ASSERT_EQ(m.readMemory(movie.data(), movie.size()), 1);
        ASSERT_EQ(m.parseHeader(), 1);
        SwfStream out;
        while (m.nextTag()) EXPECT_EQ(m.copyTag(out), 1);
        EXPECT_EQ(Bytes(out.data(), out.data() + out.position()),
                  Bytes(movie.begin() + 21, movie.end()))
            << n;
    }
}

TEST(SwfFileReader, ReadsFilesAndHeaderInfo) {
    testing_support::ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const Bytes movie = makeMovie();
    const std::string plain = dir.put("plain.swf", movie);
    const std::string packed = dir.put("packed.swf", compressMovie(movie));

    SwfFileReader r;
    ASSERT_EQ(r.readFile(plain), 1);
    EXPECT_EQ(Bytes(r.data(), r.data() + r.size()), movie);
    ASSERT_EQ(r.readFile(packed), 1);
    EXPECT_EQ(Bytes(r.data(), r.data() + r.size()), movie);
    EXPECT_EQ(r.readFile(dir / "missing.swf"), 0);
    EXPECT_EQ(r.data(), nullptr);
    ASSERT_EQ(r.readFile(dir.put("empty.swf", Bytes{})), 1);
    EXPECT_EQ(r.size(), 0u);

    SwfHeaderInfo info;
    EXPECT_EQ(SwfFileReader::readHeaderInfo(plain, &info), 21);
    EXPECT_EQ(info.version, 5);
    EXPECT_EQ(info.fileLength, movie.size());
    EXPECT_EQ(info.xmax, 12000);
    EXPECT_EQ(info.ymax, 8000);
    EXPECT_DOUBLE_EQ(info.frameRate, 12.0);
    EXPECT_EQ(info.frameCount, 2);
    EXPECT_EQ(SwfFileReader::readHeaderInfo(packed, &info), -2);
    EXPECT_EQ(SwfFileReader::readHeaderInfo(dir / "missing.swf", &info), 0);
    EXPECT_EQ(SwfFileReader::readHeaderInfo(dir.put("short.swf", Bytes(movie.begin(), movie.begin() + 13)),
                                            &info),
              -1);
    Bytes wrong = movie;
    wrong[1] = 'X';
    EXPECT_EQ(SwfFileReader::readHeaderInfo(dir.put("wrong.swf", wrong), &info), -1);
    // A RECT claiming 31-bit values does not fit 14 bytes.
    Bytes wide(movie.begin(), movie.begin() + 14);
    wide[8] = 0xF8;
    EXPECT_EQ(SwfFileReader::readHeaderInfo(dir.put("wide.swf", wide), &info), -1);
}

TEST(SwfCompress, CompressesInPlaceAndKeepsTheLengthField) {
    testing_support::ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const Bytes movie = makeMovie(5000);
    const std::string path = dir.put("movie.swf", movie);
    const int64_t length = compressSwfFile(path, 9);
    ASSERT_GT(length, 0);
    const Bytes packed = readBack(path);
    ASSERT_EQ(int64_t(packed.size()), length);
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 8),
              (Bytes{'C', 'W', 'S', 5, movie[4], movie[5], movie[6], movie[7]}));
    SwfFileReader r;
    ASSERT_EQ(r.readFile(path), 1);
    EXPECT_EQ(Bytes(r.data(), r.data() + r.size()), movie);
    // An already compressed movie is not compressed again.
    EXPECT_EQ(compressSwfFile(path, 9), -1);
    EXPECT_EQ(readBack(path), packed);
    EXPECT_EQ(compressSwfFile(dir / "missing.swf", 9), -1);
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SwfCompress, IncompressibleMovieIsLeftUntouched) {
    testing_support::ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    Bytes movie = makeMovie(0);
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) movie.push_back(uint8_t(rng()));
    putU32(movie, 4, uint32_t(movie.size()));
    const std::string path = dir.put("noise.swf", movie);
    EXPECT_EQ(compressSwfFile(path, 9), 0);
    EXPECT_EQ(readBack(path), movie);
}

}  // namespace
}  // namespace tessaly
