#include "swf/movie_writer.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/memory.h"

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
    EXPECT_EQ(tags[0].code, SwfTag::SetBackgroundColor);
    EXPECT_EQ(tags[0].body, (std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(tags[1].code, SwfTag::End);
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
              (std::vector<SwfTag>{SwfTag::SetBackgroundColor, SwfTag::DefineShape2,
                                   SwfTag::PlaceObject, SwfTag::ShowFrame, SwfTag::ShowFrame,
                                   SwfTag::PlaceObject, SwfTag::DefineShape2, SwfTag::PlaceObject,
                                   SwfTag::ShowFrame, SwfTag::End}));
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
    EXPECT_EQ(test::tagCodes(tags), (std::vector<SwfTag>{SwfTag::SetBackgroundColor,
                                                         SwfTag::DefineShape2, SwfTag::DefineSprite,
                                                         SwfTag::PlaceObject, SwfTag::PlaceObject,
                                                         SwfTag::ShowFrame, SwfTag::End}));
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
    ASSERT_EQ(test::tagCodes(tags), (std::vector<SwfTag>{SwfTag::SetBackgroundColor,
                                                         SwfTag::EnableDebugger, SwfTag::End}));
    EXPECT_EQ(tags[1].body.size(), 31u);
}

// A movie that outgrows its first block: 1200 distinct shapes, one per frame.
Movie& largeMovie(Movie& m) {
    for (uint32_t i = 0; i < 1200; ++i) {
        Movie::place(*m.root, m.addShape(100 + i, 100 + int32_t(i)), 1 + i);
        m.root->addShowFrame();
    }
    return m;
}

TEST(MovieWriter, AMovieThatCannotGrowIsAFailureNotAShorterMovie) {
    Movie whole;
    // Each frame: a shape, its placement, ShowFrame; then background and End.
    EXPECT_EQ(largeMovie(whole).finish().size(), 3 * 1200u + 2);
    ASSERT_GT(whole.bytes.size(), 40000u);

    Movie m;
    largeMovie(m);
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    {
        ScopedAllocationFailure failure;
        failure.failAbove(40000);  // the first growth of the 32 KB stream
        EXPECT_EQ(m.writer.writeAllFrames(), 0);
    }
    EXPECT_NE(m.writer.errorText.find("out of memory"), std::string::npos) << m.writer.errorText;
    // Memory is back, but the movie already lost bytes: it stays failed.
    EXPECT_EQ(m.writer.OutputFrame(), -1);
    EXPECT_EQ(m.writer.close(), 0);
}

TEST(MovieWriter, ClosingReportsAHeaderThatCannotBeWritten) {
    Movie m;
    Movie::place(*m.root, m.addShape(2), 1);
    m.root->addShowFrame();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    ASSERT_EQ(m.writer.writeAllFrames(), 1);
    // Fill the block so that the End tag and the header need a growth.
    SwfStream& s = m.writer.stream();
    const std::vector<uint8_t> filler(s.buffer().capacity() - s.position() - 1, 0);
    s.writeBytes(filler.data(), uint32_t(filler.size()));
    ASSERT_FALSE(s.failed());
    ScopedAllocationFailure failure;
    failure.failAfter(0, true);
    EXPECT_EQ(m.writer.close(), 0);
    EXPECT_NE(m.writer.errorText.find("out of memory"), std::string::npos);
}

TEST(MovieWriter, AnIncompleteCharacterIsNotWritten) {
    // A shape that lost part of its outline while it was built.
    struct DamagedShape : ShapeObject {
        DamagedShape() { markIncomplete(); }
    };
    Movie m;
    std::unique_ptr<MovieObject> shape = std::make_unique<DamagedShape>();
    static_cast<ShapeObject&>(*shape).rectangle(0, 0, 10, 10, 1);
    const uint32_t id = m.dictionary.add(kTypeShape, 7, nullptr, shape).id;
    Movie::place(*m.root, id, 1);
    m.root->addShowFrame();
    ASSERT_EQ(m.writer.OutputOpen(), 1);
    EXPECT_EQ(m.writer.OutputFrame(), -1);
    EXPECT_NE(m.writer.errorText.find("incomplete"), std::string::npos) << m.writer.errorText;
}

}  // namespace
}  // namespace tessaly
