#include "swf/movie_writer.h"

#include <gtest/gtest.h>

#include <memory>

#include "swf_test_util.h"

namespace tessaly {
namespace {

// A dictionary with a root clip, built by hand.
struct Movie {
    CharacterDictionary dictionary;
    MovieClipObject* root = nullptr;
    DictionaryEntry* rootEntry = nullptr;
    SwfMovieWriter writer;

    Movie() {
        std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
        root = static_cast<MovieClipObject*>(clip.get());
        rootEntry = dictionary.add(kTypeMovieClip, 1, nullptr, clip).entry;
        writer.dictionary = &dictionary;
        EXPECT_TRUE(writer.SetRootStoreObject(rootEntry));
    }

    uint32_t addShape(uint32_t key, int32_t size = 100) {
        std::unique_ptr<MovieObject> shape = std::make_unique<ShapeObject>();
        auto* s = static_cast<ShapeObject*>(shape.get());
        s->solidFill(0xFF0000, kSideRight, false);
        s->rectangle(0, 0, size, size, 1);
        return dictionary.add(kTypeShape, key, nullptr, shape).id;
    }

    static void place(MovieClipObject& clip, uint32_t id, uint32_t depth) {
        PlaceArgs args;
        args.flags = place_flag::kHasId;
        args.characterId = id;
        args.depth = depth;
        clip.addPlace(args);
    }

    std::vector<test::Tag> finish() {
        EXPECT_EQ(writer.OutputOpen(), 1);
        EXPECT_EQ(writer.writeAllFrames(), 1);
        EXPECT_TRUE(writer.close());
        uint32_t length = 0;
        const uint8_t* data = writer.getData(&length);
        bytes.assign(data, data + length);
        return test::movieTags(bytes.data(), bytes.size());
    }
    std::vector<uint8_t> bytes;
};

TEST(MovieWriter, EmptyMovieHasHeaderBackgroundAndEnd) {
    Movie m;
    const auto tags = m.finish();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].code, 9);  // SetBackgroundColor
    EXPECT_EQ(tags[0].body, (std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(tags[1].code, 0);
    ASSERT_GE(m.bytes.size(), 8u);
    EXPECT_EQ(std::string(m.bytes.begin(), m.bytes.begin() + 3), "FWS");
    EXPECT_EQ(m.bytes[3], 5);
    const uint32_t length = m.bytes[4] | m.bytes[5] << 8 | m.bytes[6] << 16 | uint32_t(m.bytes[7]) << 24;
    EXPECT_EQ(length, m.bytes.size());
    // Frame count 0 right before the first tag.
    SwfFileReader reader;
    ASSERT_TRUE(reader.readMemory(m.bytes.data(), m.bytes.size()));
    ASSERT_TRUE(reader.parseHeader());
    EXPECT_EQ(reader.header().frameCount, 0);
    EXPECT_EQ(reader.header().xmax, 12000);
    EXPECT_EQ(reader.header().ymax, 8000);
    EXPECT_DOUBLE_EQ(reader.header().frameRate, 12.0);
}

TEST(MovieWriter, CharactersAreDefinedOnceBeforeTheirFirstUse) {
    Movie m;
    const uint32_t a = m.addShape(10), b = m.addShape(11, 50);
    Movie::place(*m.root, a, 1);
    m.root->addShowFrame();
    m.root->addShowFrame();
    Movie::place(*m.root, a, 2);
    Movie::place(*m.root, b, 3);
    m.root->addShowFrame();
    m.root->addEnd();
    const auto tags = m.finish();
    EXPECT_EQ(test::tagCodes(tags),
              (std::vector<uint16_t>{9, 22, 4, 1, 1, 4, 22, 4, 1, 0}));
    EXPECT_EQ(m.writer.definitionFrame(a), 0);
    EXPECT_EQ(m.writer.definitionFrame(b), 2);
    EXPECT_EQ(m.writer.framesWritten(), 3);
}

TEST(MovieWriter, FrameOffsetsPointAtEachFramesFirstTag) {
    Movie m;
    const uint32_t a = m.addShape(10);
    m.root->addShowFrame();
    Movie::place(*m.root, a, 1);
    m.root->addShowFrame();
    m.root->addEnd();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    ASSERT_EQ(m.writer.OutputFrame(), 1);
    const ByteBuffer& offsets = m.writer.frameOffsets();
    ASSERT_EQ(offsets.countU32(), 2u);
    EXPECT_EQ(offsets.u32At(0), 0u);
    EXPECT_EQ(offsets.u32At(1), 2u);  // after the first ShowFrame
    ASSERT_EQ(m.writer.OutputFrame(), 1);
    EXPECT_EQ(m.writer.OutputFrame(), 0);
    const uint8_t* body = m.writer.stream().data();
    // Frame 1 starts with the shape's definition.
    EXPECT_EQ((body[2] | body[3] << 8) >> 6, 22);
    EXPECT_EQ(m.writer.frameOffsets().u32At(2), m.writer.stream().position());
}

TEST(MovieWriter, NestedClipsAreDefinedAfterWhatTheyPlace) {
    Movie m;
    const uint32_t shape = m.addShape(10);
    std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
    auto* c = static_cast<MovieClipObject*>(clip.get());
    Movie::place(*c, shape, 1);
    c->addShowFrame();
    c->addEnd();
    const uint32_t clipId = m.dictionary.add(kTypeMovieClip, 99, nullptr, clip).id;
    Movie::place(*m.root, clipId, 1);
    Movie::place(*m.root, clipId, 2);
    m.root->addShowFrame();
    const auto tags = m.finish();
    EXPECT_EQ(test::tagCodes(tags), (std::vector<uint16_t>{9, 22, 39, 4, 4, 1, 0}));
    // The sprite: id, frame count 1, PlaceObject, ShowFrame, End.
    const auto& sprite = tags[2].body;
    EXPECT_EQ(sprite[0] | sprite[1] << 8, int(clipId));
    EXPECT_EQ(sprite[2] | sprite[3] << 8, 1);
}

TEST(MovieWriter, AShapeWithoutCommandsFailsTheFrame) {
    Movie m;
    std::unique_ptr<MovieObject> empty = std::make_unique<ShapeObject>();
    const uint32_t id = m.dictionary.add(kTypeShape, 5, nullptr, empty).id;
    Movie::place(*m.root, id, 1);
    m.root->addShowFrame();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    EXPECT_EQ(m.writer.OutputFrame(), -1);
}

TEST(MovieWriter, OpenRequiresADictionaryAndARootClip) {
    SwfMovieWriter writer;
    EXPECT_EQ(writer.OutputOpen(), 0);
    CharacterDictionary dictionary;
    std::unique_ptr<MovieObject> shape = std::make_unique<ShapeObject>();
    writer.dictionary = &dictionary;
    EXPECT_TRUE(writer.SetRootStoreObject(dictionary.add(kTypeShape, 1, nullptr, shape).entry));
    EXPECT_EQ(writer.OutputOpen(), 0);
}

TEST(MovieWriter, DebuggingAddsTheEnableDebuggerTag) {
    Movie m;
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    m.writer.debugging = true;
    EXPECT_TRUE(m.writer.close());
    uint32_t length = 0;
    const uint8_t* data = m.writer.getData(&length);
    const auto tags = test::movieTags(data, length);
    ASSERT_EQ(test::tagCodes(tags), (std::vector<uint16_t>{9, 58, 0}));
    EXPECT_EQ(tags[1].body.size(), 31u);
}

}  // namespace
}  // namespace tessaly
