#include "swf/template_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "../support/scratch_dir.h"
#include "swf/movie_writer.h"
#include "swf/swf_compress.h"
#include "swf_test_util.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// A dictionary with a root clip whose ids start where the caller says.
struct Movie {
    CharacterDictionary dictionary;
    MovieClipObject* root = nullptr;
    SwfMovieWriter writer;

    Movie() {
        std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
        root = static_cast<MovieClipObject*>(clip.get());
        writer.dictionary = &dictionary;
        EXPECT_TRUE(writer.SetRootStoreObject(dictionary.add(kTypeMovieClip, 1, nullptr, clip).entry));
    }
    uint32_t addShape(uint32_t key, uint32_t color) {
        std::unique_ptr<MovieObject> shape = std::make_unique<ShapeObject>();
        auto* s = static_cast<ShapeObject*>(shape.get());
        s->solidFill(color, kSideRight, false);
        s->rectangle(0, 0, 100, 100, 1);
        return dictionary.add(kTypeShape, key, nullptr, shape).id;
    }
    void place(uint32_t id, uint32_t depth) {
        PlaceArgs args;
        args.flags = place_flag::kHasId;
        args.characterId = id;
        args.depth = depth;
        root->addPlace(args);
    }
    std::vector<uint8_t> finish() {
        EXPECT_EQ(writer.writeAllFrames(), 1);
        EXPECT_TRUE(writer.close());
        uint32_t length = 0;
        const uint8_t* data = writer.getData(&length);
        return std::vector<uint8_t>(data, data + length);
    }
};

// An uncompressed movie around the tags of a stream (End appended).
std::vector<uint8_t> swfFile(const SwfStream& tags, uint8_t version = 6, int32_t width = 11000,
                             int32_t height = 7000, uint16_t rate = 24 * 256) {
    SwfStream s;
    s.writeBytes("FWS", 3);
    s.writeU8(version);
    s.writeU32(0);
    s.writeRect(0, width, 0, height);
    s.writeU16(rate);
    s.writeU16(0);
    s.writeBytes(tags.data(), tags.position());
    s.writeEnd();
    std::vector<uint8_t> file(s.data(), s.data() + s.position());
    const uint32_t n = uint32_t(file.size());
    for (int i = 0; i < 4; ++i) file[4 + i] = uint8_t(n >> (8 * i));
    return file;
}

class TemplateImportTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        return dir.put(name, bytes);
    }
    // A three-frame movie of our own: a shape in frame 0, another in frame 2.
    std::string threeFrameTemplate(const std::string& name) {
        Movie t;
        const uint32_t a = t.addShape(10, 0xFF0000), b = t.addShape(11, 0x00FF00);
        t.place(a, 1);
        t.root->addShowFrame();
        t.root->addShowFrame();
        t.place(b, 2);
        t.root->addShowFrame();
        t.root->addEnd();
        EXPECT_EQ(t.writer.OutputOpen(), 1);
        t.writer.frameRate = 20.0;
        t.writer.frameWidth = 16000;
        t.writer.frameHeight = 12000;
        t.writer.backgroundColor = 0x123456;
        t.writer.version = 6;
        return write(name, t.finish());
    }
    testing_support::ScratchDir dir;
};

TEST_F(TemplateImportTest, RootClipContinuesTheTemplatesLastFrame) {
    const std::string path = threeFrameTemplate("t.swf");
    Movie m;
    m.dictionary.setNextId(200);
    const uint32_t c = m.addShape(20, 0x0000FF);
    m.place(c, 1);
    m.root->addShowFrame();
    m.place(c, 2);
    m.root->addShowFrame();
    m.root->addEnd();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    uint32_t firstId = 0;
    ASSERT_EQ(m.writer.useTemplate(path, 1000, &firstId), 1);
    EXPECT_TRUE(m.writer.templateInUse);
    EXPECT_EQ(m.writer.templateFrameCount, 3u);
    EXPECT_EQ(m.writer.framesWritten(), 2);
    EXPECT_EQ(firstId, 3u + 100);  // the template's shapes are 2 and 3
    const uint32_t afterImport = m.writer.stream().position();
    ASSERT_EQ(m.writer.frameOffsets().countU32(), 3u);
    EXPECT_EQ(m.writer.frameOffsets().u32At(1), 0u);
    EXPECT_EQ(m.writer.frameOffsets().u32At(2), afterImport);

    const auto bytes = m.finish();
    EXPECT_EQ(m.writer.definitionFrame(c), 2);
    SwfFileReader reader;
    ASSERT_TRUE(reader.readMemory(bytes.data(), bytes.size()));
    ASSERT_TRUE(reader.parseHeader());
    EXPECT_EQ(reader.header().frameCount, 4);
    EXPECT_EQ(reader.header().version, 6);
    EXPECT_DOUBLE_EQ(reader.header().frameRate, 20.0);
    EXPECT_EQ(reader.header().xmax, 16000);
    EXPECT_EQ(reader.header().ymax, 12000);

    const auto tags = test::movieTags(bytes.data(), bytes.size());
    // Template: shape, place, frame, frame, shape, place; then the root clip's
    // first frame joins the third: shape, place, frame; then place, frame.
    ASSERT_EQ(test::tagCodes(tags),
              (std::vector<SwfTag>{SwfTag::SetBackgroundColor, SwfTag::DefineShape2,
                                   SwfTag::PlaceObject, SwfTag::ShowFrame, SwfTag::ShowFrame,
                                   SwfTag::DefineShape2, SwfTag::PlaceObject, SwfTag::DefineShape2,
                                   SwfTag::PlaceObject, SwfTag::ShowFrame, SwfTag::PlaceObject,
                                   SwfTag::ShowFrame, SwfTag::End}));
    EXPECT_EQ(tags[0].body, (std::vector<uint8_t>{0x12, 0x34, 0x56}));
    auto depthOf = [&](size_t i) { return tags[i].body[2] | tags[i].body[3] << 8; };
    auto idOf = [&](size_t i) { return tags[i].body[0] | tags[i].body[1] << 8; };
    EXPECT_EQ(depthOf(2), 1001);
    EXPECT_EQ(idOf(2), 2);
    EXPECT_EQ(depthOf(6), 1002);
    EXPECT_EQ(idOf(6), 3);
    EXPECT_EQ(depthOf(8), 1);
    EXPECT_EQ(idOf(8), int(c));
    EXPECT_EQ(depthOf(10), 2);
}

TEST_F(TemplateImportTest, DepthsMoveByTheOffsetAndIdsStay) {
    SwfStream tags;
    SwfMatrix matrix;
    matrix.scaleX = 0x18000;
    matrix.skew0 = 0x2000;
    matrix.translateX = -300;
    SwfCxform cx;
    cx.flags = SwfCxform::kHasMultiply | SwfCxform::kHasAdd | SwfCxform::kHasAlpha;
    cx.multiply[3] = 128;
    cx.add[0] = -20;
    using namespace place_flag;
    tags.writePlace({.flags = kHasId | kHasName | kHasMatrix | kHasCxform | kHasRatio | kHasClipDepth,
                     .depth = 5, .characterId = 7, .matrix = &matrix, .cxform = &cx, .ratio = 3,
                     .name = "mask", .clipDepth = 9});
    tags.writePlace({.flags = kHasId, .depth = 4, .characterId = 3});
    tags.writePlace({.flags = kMove | kHasName, .depth = 65000, .name = "top"});
    tags.writeRemoveObject(3, 4);
    tags.writeRemoveObject2(5);
    tags.beginTag(SwfTag::DefineShape);  // a library symbol never placed
    tags.writeU16(40);
    tags.writeU32(0);
    tags.endTag();
    tags.writeShowFrame();
    const auto file = swfFile(tags);

    SwfStream out;
    TemplateImport r;
    ASSERT_EQ(importTemplateData(out, file.data(), file.size(), 1000, false, &r), 1);
    const auto before = test::movieTagsOfStream(tags), after = test::movieTagsOfStream(out);
    ASSERT_EQ(test::tagCodes(after), (std::vector<SwfTag>{SwfTag::PlaceObject2, SwfTag::PlaceObject,
                                                          SwfTag::PlaceObject2,
                                                          SwfTag::RemoveObject,
                                                          SwfTag::RemoveObject2,
                                                          SwfTag::DefineShape, SwfTag::ShowFrame}));
    auto u16 = [](const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; };
    // PlaceObject2: depth after the flags, the id kept, the clip depth at the end.
    std::vector<uint8_t> expected = before[0].body;
    expected[1] = 1005 & 0xFF;
    expected[2] = 1005 >> 8;
    expected[expected.size() - 2] = 1009 & 0xFF;
    expected[expected.size() - 1] = 1009 >> 8;
    EXPECT_EQ(after[0].body, expected);
    EXPECT_EQ(u16(after[0].body, 3), 7);
    EXPECT_EQ(u16(after[1].body, 0), 3);
    EXPECT_EQ(u16(after[1].body, 2), 1004);
    EXPECT_EQ(u16(after[2].body, 1), 0xFFFF);  // kept at the top, not wrapped round
    EXPECT_EQ(u16(after[3].body, 2), 1004);
    EXPECT_EQ(u16(after[4].body, 0), 1005);
    EXPECT_EQ(after[5].body, before[5].body);

    EXPECT_EQ(r.frameCount, 1u);
    EXPECT_EQ(r.maxDepth, 0xFFFFu);
    EXPECT_EQ(r.maxPlacedId, 7u);
    EXPECT_EQ(r.maxDefinedId, 40u);
    EXPECT_EQ(r.version, 6);
    EXPECT_EQ(r.xmax, 11000);
    EXPECT_DOUBLE_EQ(r.frameRate, 24.0);
    EXPECT_FALSE(r.hasBackground);
    EXPECT_FALSE(r.compressed);
}

TEST_F(TemplateImportTest, CompressedTemplateReadsTheSame) {
    const std::string plain = threeFrameTemplate("plain.swf");
    const std::string packed = dir / "packed.swf";
    fs::copy_file(plain, packed);
    ASSERT_GT(compressSwfFile(packed, 9), 0);

    SwfStream a, b;
    TemplateImport ra, rb;
    ASSERT_EQ(importTemplate(a, plain, 15000, true, &ra), 1);
    ASSERT_EQ(importTemplate(b, packed, 15000, true, &rb), 1);
    ASSERT_EQ(a.position(), b.position());
    EXPECT_EQ(std::vector<uint8_t>(a.data(), a.data() + a.position()),
              std::vector<uint8_t>(b.data(), b.data() + b.position()));
    EXPECT_FALSE(ra.compressed);
    EXPECT_TRUE(rb.compressed);
    EXPECT_EQ(rb.frameCount, 3u);
    EXPECT_TRUE(rb.hasBackground);
    EXPECT_EQ(rb.backgroundColor, 0x123456u);

    Movie m;
    m.root->addShowFrame();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    ASSERT_EQ(m.writer.useTemplate(packed, 15000, nullptr), 1);
    EXPECT_TRUE(m.writer.compressedTemplate);
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    EXPECT_FALSE(m.writer.compressedTemplate);
}

TEST_F(TemplateImportTest, WithoutBackgroundOrFramesTheMovieKeepsItsOwn) {
    SwfStream tags;
    tags.writeFrameLabel("start");
    const std::string path = write("bare.swf", swfFile(tags));

    Movie m;
    const uint32_t shape = m.addShape(10, 0xFF0000);
    m.place(shape, 1);
    m.root->addShowFrame();
    m.root->addEnd();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    m.writer.backgroundColor = 0x445566;
    ASSERT_EQ(m.writer.useTemplate(path, 1000, nullptr), 1);
    EXPECT_EQ(m.writer.backgroundColor, 0x445566u);
    // A template without a ShowFrame shares the first frame with the root clip.
    EXPECT_EQ(m.writer.framesWritten(), 0);
    const auto bytes = m.finish();
    const auto tagsOut = test::movieTags(bytes.data(), bytes.size());
    ASSERT_EQ(test::tagCodes(tagsOut), (std::vector<SwfTag>{SwfTag::SetBackgroundColor,
                                                            SwfTag::FrameLabel,
                                                            SwfTag::DefineShape2,
                                                            SwfTag::PlaceObject, SwfTag::ShowFrame,
                                                            SwfTag::End}));
    EXPECT_EQ(tagsOut[0].body, (std::vector<uint8_t>{0x44, 0x55, 0x66}));
    SwfFileReader reader;
    ASSERT_TRUE(reader.readMemory(bytes.data(), bytes.size()));
    ASSERT_TRUE(reader.parseHeader());
    EXPECT_EQ(reader.header().frameCount, 1);
}

TEST_F(TemplateImportTest, DamagedTemplatesLeaveTheStreamUnchanged) {
    SwfStream tags;
    tags.writePlace({.flags = place_flag::kHasId | place_flag::kHasClipDepth, .depth = 2,
                     .characterId = 5, .clipDepth = 8});
    tags.writeShowFrame();
    tags.writeShowFrame();
    const auto file = swfFile(tags);

    SwfStream out;
    out.writeBytes("prefix", 6);
    // Every cut short of the End tag is refused.
    for (size_t n = 0; n + 1 < file.size(); ++n) {
        TemplateImport r;
        ASSERT_EQ(importTemplateData(out, file.data(), n, 1000, true, &r), 0) << n;
        ASSERT_EQ(out.position(), 6u);
        ASSERT_EQ(out.buffer().size(), 6u);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 6), "prefix");
    }
    // A PlaceObject2 announcing a clip depth it has no room for.
    SwfStream shortPlace;
    shortPlace.writeTagHeader(SwfTag::PlaceObject2, 4);
    const uint8_t body[4] = {0x42, 2, 0, 5};
    shortPlace.writeBytes(body, 4);
    const auto bad = swfFile(shortPlace);
    EXPECT_EQ(importTemplateData(out, bad.data(), bad.size(), 1000, true, nullptr), 0);
    EXPECT_EQ(out.position(), 6u);
    // A name running to the end of the body without its zero byte.
    SwfStream openName;
    openName.writeTagHeader(SwfTag::PlaceObject2, 5);
    const uint8_t named[5] = {0x60, 2, 0, 'a', 'b'};
    openName.writeBytes(named, 5);
    const auto bad2 = swfFile(openName);
    EXPECT_EQ(importTemplateData(out, bad2.data(), bad2.size(), 1000, true, nullptr), 0);
    EXPECT_EQ(out.position(), 6u);

    // The writer keeps its own settings when the template is refused.
    const std::string path = write("cut.swf", std::vector<uint8_t>(file.begin(), file.end() - 2));
    Movie m;
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    m.writer.frameRate = 15.0;
    EXPECT_EQ(m.writer.useTemplate(path, 1000, nullptr), 0);
    EXPECT_EQ(m.writer.useTemplate(dir / "missing.swf", 1000, nullptr), 0);
    EXPECT_FALSE(m.writer.templateInUse);
    EXPECT_DOUBLE_EQ(m.writer.frameRate, 15.0);
    EXPECT_EQ(m.writer.stream().position(), 0u);
    EXPECT_EQ(m.writer.framesWritten(), 0);
}

}  // namespace
}  // namespace tessaly
