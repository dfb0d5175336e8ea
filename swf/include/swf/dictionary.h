#pragma once
// The character dictionary: every character of one movie with its id, the
// identity that lets equal characters be shared, and an optional name.
//
// Keys and name hashes are 32-bit checksums: they only find candidates. Two
// characters are the same only when their content (shapes, texts) or their
// full description (bitmaps, fonts) is equal, and a name matches only when
// the whole name does, ignoring case.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/byte_buffer.h"
#include "swf/movie_objects.h"

namespace tessaly {

struct DictionaryEntry {
    static constexpr uint32_t kHoldsPixels = 0x1;
    static constexpr uint32_t kWritten = 0x2;

    uint32_t type = kTypeNone;
    uint32_t id = 0;
    uint32_t key = 0;
    // How the entry is shared: by the object's content, by its description,
    // or never (a character made unique by the caller).
    enum class Sharing : uint8_t { kContent, kDescription, kNever };
    Sharing sharing = Sharing::kContent;
    std::string description;  // kDescription entries
    uint32_t nameHash = 0;
    bool hasName = false;
    std::string name;  // as given; matched ignoring case
    std::unique_ptr<MovieObject> object;
    uint32_t state = 0;

    // Bitmap entries: the image's own size and the size the document asks for,
    // the allowed encodings (bit 0 JPEG, bit 1 lossless), quality and source file.
    uint32_t imageWidth = 0, imageHeight = 0, requestedWidth = 0, requestedHeight = 0;
    uint32_t encodingFlags = 0;
    uint8_t jpegQuality = 0;
    std::string sourceFile;
    // Raw entries.
    std::vector<uint8_t> rawData;
};

struct AddResult {
    int result = 0;  // 1 added, 2 an entry with the same type and key exists, -4 out of memory
    uint32_t id = 0;
    DictionaryEntry* entry = nullptr;
};

class CharacterDictionary {
public:
    static constexpr uint32_t kMaxId = 65000;

    CharacterDictionary();

    // Adds a character shared by content. When an entry of the same type and
    // key holds an object of equal content (MovieObject::sameContent), returns
    // 2 with its id and leaves `object` with the caller; otherwise the
    // dictionary takes the object and the entry gets the next id. The key is
    // the object's content hash.
    AddResult add(uint32_t type, uint32_t key, const char* name,
                  std::unique_ptr<MovieObject>& object);
    // Adds a character shared by description (what it was made from: a file and
    // its options, a font's name and style). `key` is a hash of the description.
    AddResult addDescribed(uint32_t type, uint32_t key, std::string_view description,
                           const char* name, std::unique_ptr<MovieObject>& object);
    // Adds a character that is never shared (always a new entry).
    AddResult addUnique(uint32_t type, const char* name, std::unique_ptr<MovieObject>& object);

    // The newest entry with the id (type 0 = any).
    DictionaryEntry* findById(uint32_t id, uint32_t type = 0) const;
    // The newest entry added by addDescribed with this type, key and description.
    DictionaryEntry* findDescribed(uint32_t type, uint32_t key, std::string_view description) const;
    // The newest named entry whose name equals `name` ignoring case.
    DictionaryEntry* findByName(const char* name, uint32_t type = 0) const;
    // Names an entry once; a second name is refused (returns false).
    [[nodiscard]] bool setName(DictionaryEntry& entry, const char* name);

    size_t count() const { return entries_.size(); }
    DictionaryEntry& entryAt(size_t index) const { return *entries_[index]; }
    // Returns the counter and advances it while below 65000.
    uint32_t nextId();
    // Characters added from now on are numbered from id (at most 65000).
    void setNextId(uint32_t id) { nextId_ = id < 1 ? 1 : id > kMaxId ? kMaxId : id; }
    void clear();

    // Fills `list` (cleared first) with id followed by every character it needs,
    // each once, in order of discovery. Returns the list length.
    uint32_t collectDependencies(uint32_t id, ByteBuffer& list) const;

    // Prints every entry's object.
    void dump(FILE* out) const;

private:
    // The newest entry of this type and key that `same` accepts.
    template <typename Same>
    DictionaryEntry* findCandidate(uint32_t type, uint32_t key, Same same) const;
    DictionaryEntry* findSameContent(uint32_t type, uint32_t key, const MovieObject* object) const;
    AddResult store(DictionaryEntry::Sharing sharing, uint32_t type, uint32_t key, uint32_t id,
                    std::string_view description, const char* name,
                    std::unique_ptr<MovieObject>& object);
    static uint64_t typeKey(uint32_t type, uint32_t key) { return uint64_t(type) << 32 | key; }

    std::vector<std::unique_ptr<DictionaryEntry>> entries_;
    // Shared entries per (type, key), oldest first: every candidate, not one.
    std::unordered_map<uint64_t, std::vector<DictionaryEntry*>> byKey_;
    std::unordered_map<uint32_t, DictionaryEntry*> byId_;  // newest per id
    uint32_t nextId_ = 1;
};

}  // namespace tessaly
