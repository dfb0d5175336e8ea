#pragma once
// The character dictionary: every character of one movie with its id, the
// identity key that lets equal characters be shared, and an optional name.

#include <cstdint>
#include <memory>
#include <string>
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
    uint32_t nameHash = 0;
    bool hasName = false;
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

    // Adds a character. When an entry of the same type and key exists, returns
    // 2 with its id and leaves `object` with the caller; otherwise the
    // dictionary takes the object and the entry gets the next id.
    AddResult add(uint32_t type, uint32_t key, const char* name,
                  std::unique_ptr<MovieObject>& object);
    // As add, with the id given by the caller instead of the counter.
    AddResult addWithId(uint32_t type, uint32_t key, uint32_t id, const char* name,
                        std::unique_ptr<MovieObject>& object);

    // The newest entry with the id (type 0 = any).
    DictionaryEntry* findById(uint32_t id, uint32_t type = 0) const;
    DictionaryEntry* findByKey(uint32_t key, uint32_t type) const;
    DictionaryEntry* findByName(const char* name, uint32_t type = 0) const;
    // Names an entry once; a second name is refused (returns false).
    bool setName(DictionaryEntry& entry, const char* name);

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
    AddResult store(uint32_t type, uint32_t key, uint32_t id, const char* name,
                    std::unique_ptr<MovieObject>& object);
    static uint64_t typeKey(uint32_t type, uint32_t key) { return uint64_t(type) << 32 | key; }

    std::vector<std::unique_ptr<DictionaryEntry>> entries_;
    std::unordered_map<uint64_t, DictionaryEntry*> byKey_;  // newest per (type, key)
    std::unordered_map<uint32_t, DictionaryEntry*> byId_;   // newest per id
    uint32_t nextId_ = 1;
};

}  // namespace tessaly
