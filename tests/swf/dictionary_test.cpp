#include "swf/dictionary.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "hash_collision.h"
#include "support/checksum.h"
#include "swf/bitmap_object.h"

namespace tessaly {
namespace {

std::unique_ptr<MovieObject> square(int32_t size) {
    auto shape = std::make_unique<ShapeObject>();
    shape->solidFill(0xFF0000, kSideRight, false);
    shape->rectangle(0, 0, size, size, 1);
    return shape;
}

TEST(Dictionary, EqualKeysShareOneCharacter) {
    CharacterDictionary d;
    auto a = square(10), b = square(10);
    const uint32_t key = static_cast<ShapeObject&>(*a).contentHash();
    EXPECT_EQ(key, static_cast<ShapeObject&>(*b).contentHash());
    const AddResult first = d.add(kTypeShape, key, nullptr, a);
    ASSERT_EQ(first.result, 1);
    EXPECT_EQ(a, nullptr);  // the dictionary took it
    const AddResult second = d.add(kTypeShape, key, nullptr, b);
    EXPECT_EQ(second.result, 2);
    EXPECT_EQ(second.id, first.id);
    EXPECT_NE(b, nullptr);  // the caller keeps the duplicate
    // The same key under another type is another character.
    std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
    EXPECT_EQ(d.add(kTypeMovieClip, key, nullptr, clip).result, 1);
    EXPECT_EQ(d.count(), 2u);
}

TEST(Dictionary, EqualKeysAreOnlyCandidates) {
    // Every character below is offered under one forced key.
    CharacterDictionary d;
    const uint32_t key = 0x1234;
    auto small = square(10), large = square(11), again = square(10);
    const AddResult first = d.add(kTypeShape, key, nullptr, small);
    const AddResult second = d.add(kTypeShape, key, nullptr, large);
    ASSERT_EQ(second.result, 1);  // other content: another character
    EXPECT_NE(second.id, first.id);
    const AddResult third = d.add(kTypeShape, key, nullptr, again);
    EXPECT_EQ(third.result, 2);
    EXPECT_EQ(third.id, first.id);

    // Described characters: the whole description decides, case included.
    auto bitmap = [] { return std::unique_ptr<MovieObject>(std::make_unique<BitmapObject>()); };
    auto a = bitmap(), b = bitmap(), c = bitmap();
    const AddResult photo = d.addDescribed(kTypeBitmap, key, "jobs/Photo.bmp", nullptr, a);
    ASSERT_EQ(photo.result, 1);
    EXPECT_EQ(d.addDescribed(kTypeBitmap, key, "jobs/photo.bmp", nullptr, b).result, 1);
    EXPECT_EQ(d.addDescribed(kTypeBitmap, key, "jobs/Photo.bmp", nullptr, c).id, photo.id);
    EXPECT_EQ(d.findDescribed(kTypeBitmap, key, "jobs/Photo.bmp"), photo.entry);
    EXPECT_EQ(d.findDescribed(kTypeBitmap, key, "jobs/other.bmp"), nullptr);
    EXPECT_EQ(d.findDescribed(kTypeBitmap, key + 1, "jobs/Photo.bmp"), nullptr);

    // Unique characters neither match nor are matched, whatever the key.
    auto unique = square(10), same = square(10);
    const AddResult u = d.addUnique(kTypeShape, nullptr, unique);
    ASSERT_EQ(u.result, 1);
    EXPECT_EQ(d.add(kTypeShape, 0, nullptr, same).result, 1);
    EXPECT_EQ(d.count(), 6u);
}

TEST(Dictionary, NamesMatchWholeNotByHash) {
    // Two names of the same length whose hashes collide.
    auto name = [](uint64_t choice) {
        std::string n = "clip";
        for (int i = 0; i < 40; ++i) n += (choice >> i & 1) ? 'c' : 'a';
        return n;
    };
    const uint64_t choice = testing_support::collidingChoice(40, [&](uint64_t x) { return nameHash(name(x)); });
    ASSERT_NE(choice, 0u);
    const std::string first = name(0), second = name(choice);
    ASSERT_NE(first, second);
    ASSERT_EQ(nameHash(first), nameHash(second));

    CharacterDictionary d;
    auto a = square(1);
    DictionaryEntry* named = d.add(kTypeShape, 1, first.c_str(), a).entry;
    EXPECT_EQ(d.findByName(second.c_str()), nullptr);
    std::string upper = first;
    for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(d.findByName(upper.c_str()), named);
}

TEST(Dictionary, GradientsAreContent) {
    auto gradient = [](uint32_t secondColour) {
        auto shape = std::make_unique<ShapeObject>();
        const GradientStop stops[] = {{0xFFFF0000, 0}, {secondColour, 255}};
        shape->gradientFill(kFillLinearGradient, stops, 2, SwfMatrix{}, kSideRight);
        shape->rectangle(0, 0, 100, 100, 1);
        return shape;
    };
    auto blue = gradient(0xFF0000FF), green = gradient(0xFF00FF00), blueAgain = gradient(0xFF0000FF);
    EXPECT_NE(blue->contentHash(), green->contentHash());
    EXPECT_EQ(blue->contentHash(), blueAgain->contentHash());

    // Even under one key the two gradients stay two characters.
    CharacterDictionary d;
    std::unique_ptr<MovieObject> a = std::move(blue), b = std::move(green), c = std::move(blueAgain);
    const uint32_t first = d.add(kTypeShape, 7, nullptr, a).id;
    EXPECT_EQ(d.add(kTypeShape, 7, nullptr, b).result, 1);
    EXPECT_EQ(d.add(kTypeShape, 7, nullptr, c).id, first);
}

// A movie holds every page's shapes until it is written: small shapes kept
// with the room they were built in made a 100-page vector job need over a
// gigabyte.
TEST(Dictionary, StoredObjectsKeepOnlyTheRoomTheyUse) {
    CharacterDictionary d;
    auto object = square(10);
    auto& shape = static_cast<ShapeObject&>(*object);
    const uint32_t hash = shape.contentHash();
    ASSERT_GT(shape.commands().capacity(), shape.commands().size());
    ASSERT_EQ(d.add(kTypeShape, hash, nullptr, object).result, 1);
    EXPECT_EQ(shape.commands().capacity(), shape.commands().size());
    EXPECT_EQ(shape.fillStyles().capacity(), shape.fillStyles().size());
    EXPECT_EQ(shape.lineStyles().capacity(), 0u);
    EXPECT_EQ(shape.contentHash(), hash);

    // A clip stored before it is filled still takes its records.
    auto clipObject = std::make_unique<MovieClipObject>();
    MovieClipObject& clip = *clipObject;
    std::unique_ptr<MovieObject> owned = std::move(clipObject);
    ASSERT_EQ(d.addUnique(kTypeMovieClip, nullptr, owned).result, 1);
    EXPECT_EQ(clip.controls().capacity(), 0u);
    for (int frame = 0; frame < 300; ++frame) EXPECT_EQ(clip.addShowFrame(), frame + 1);
    EXPECT_EQ(clip.frameCount(), 300u);
}

TEST(Dictionary, ContentHashTellsShapesApart) {
    auto a = square(10), b = square(11);
    auto c = std::make_unique<ShapeObject>();
    c->solidFill(0x00FF00, kSideRight, false);
    c->rectangle(0, 0, 10, 10, 1);
    const auto& sa = static_cast<ShapeObject&>(*a);
    EXPECT_NE(sa.contentHash(), static_cast<ShapeObject&>(*b).contentHash());
    EXPECT_NE(sa.contentHash(), c->contentHash());  // same path, other colour
}

TEST(Dictionary, NamesIgnoreCaseAndAreSetOnce) {
    CharacterDictionary d;
    auto a = square(1), b = square(2);
    DictionaryEntry* ea = d.add(kTypeShape, 1, "Logo", a).entry;
    DictionaryEntry* eb = d.add(kTypeShape, 2, nullptr, b).entry;
    EXPECT_EQ(d.findByName("LOGO"), ea);
    EXPECT_TRUE(d.setName(*eb, "logo"));
    EXPECT_EQ(d.findByName("logo"), eb);  // the newest match wins
    EXPECT_FALSE(d.setName(*eb, "other"));
    EXPECT_EQ(d.findByName("other"), nullptr);
    EXPECT_EQ(d.findByName("logo", kTypeMovieClip), nullptr);
}

TEST(Dictionary, IdsSaturateAt65000) {
    CharacterDictionary d;
    for (uint32_t i = 1; i <= 65000; ++i) ASSERT_EQ(d.nextId(), i);
    EXPECT_EQ(d.nextId(), 65000u);
    std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
    EXPECT_EQ(d.add(kTypeMovieClip, 7, nullptr, clip).id, 65000u);
    d.clear();
    EXPECT_EQ(d.count(), 0u);
    EXPECT_EQ(d.nextId(), 1u);
}

TEST(Dictionary, DependenciesAreListedOnceInDiscoveryOrder) {
    CharacterDictionary d;
    auto shape = square(5);
    const uint32_t shapeId = d.add(kTypeShape, 1, nullptr, shape).id;
    auto inner = std::make_unique<MovieClipObject>();
    PlaceArgs place;
    place.flags = place_flag::kHasId;
    place.characterId = shapeId;
    inner->addPlace(place);
    inner->addPlace(place);
    std::unique_ptr<MovieObject> innerObject = std::move(inner);
    const uint32_t innerId = d.add(kTypeMovieClip, 2, nullptr, innerObject).id;
    auto outer = std::make_unique<MovieClipObject>();
    place.characterId = innerId;
    outer->addPlace(place);
    place.characterId = shapeId;
    outer->addPlace(place);
    std::unique_ptr<MovieObject> outerObject = std::move(outer);
    const uint32_t outerId = d.add(kTypeMovieClip, 3, nullptr, outerObject).id;

    ByteBuffer list(64, 64, 2.0f);
    ASSERT_TRUE(list.allocate());
    ASSERT_EQ(d.collectDependencies(outerId, list), 3u);
    EXPECT_EQ(list.u32At(0), outerId);
    EXPECT_EQ(list.u32At(1), innerId);
    EXPECT_EQ(list.u32At(2), shapeId);
}

TEST(ShapeObject, PenAndBoundsRules) {
    ShapeObject s;
    EXPECT_EQ(s.moveTo(0, 0), 1);
    EXPECT_TRUE(s.commands().empty());  // a move to the pen adds nothing
    s.moveTo(100, 100);
    EXPECT_TRUE(s.isEmpty());  // moves alone draw nothing
    s.lineTo(100, 100);
    EXPECT_EQ(s.commands().size(), 1u);  // a zero-length line adds nothing
    s.lineStyle(0x000000, 41, false);
    s.lineTo(300, 100);
    // Half the line width, (41 + 1) >> 1 = 21, around both ends.
    EXPECT_EQ(s.bounds, (Bounds{79, 321, 79, 121}));
    EXPECT_EQ(s.pathBounds(), (Bounds{100, 300, 100, 100}));
    // Points are clamped into the coordinate range.
    s.clearLineStyle();
    s.lineTo(100000, -100000);
    EXPECT_EQ(s.penX(), 32766);
    EXPECT_EQ(s.penY(), -32767);
    // An identical style is reused.
    const int index = s.lineStyle(0x000000, 41, false);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(s.lineStyles().size(), 1u);
}

}  // namespace
}  // namespace tessaly
