#include "swf/dictionary.h"

#include <new>

#include "support/checksum.h"
#include "support/text.h"

namespace tessaly {

CharacterDictionary::CharacterDictionary() { entries_.reserve(256); }

uint32_t CharacterDictionary::nextId() {
    const uint32_t id = nextId_;
    if (nextId_ < kMaxId) ++nextId_;
    return id;
}

template <typename Same>
DictionaryEntry* CharacterDictionary::findCandidate(uint32_t type, uint32_t key, Same same) const {
    auto it = byKey_.find(typeKey(type, key));
    if (it == byKey_.end()) return nullptr;
    for (auto e = it->second.rbegin(); e != it->second.rend(); ++e) {
        if (same(**e)) return *e;
    }
    return nullptr;
}

namespace {
// Room for one more element, growing geometrically (reserve alone would grow
// to exactly one more each time and copy the whole vector on every add).
template <typename T>
void reserveOneMore(std::vector<T>& v) {
    if (v.size() == v.capacity()) v.reserve(v.capacity() ? v.capacity() * 2 : 4);
}

// Equal content: both objects present and alike (sameContent is false for
// objects that have no comparable content, so those are never shared).
bool sameObject(const DictionaryEntry& e, const MovieObject* object) {
    return e.sharing == DictionaryEntry::Sharing::kContent && e.object && object &&
           e.object->sameContent(*object);
}

}  // namespace

DictionaryEntry* CharacterDictionary::findSameContent(uint32_t type, uint32_t key,
                                                     const MovieObject* object) const {
    return findCandidate(type, key, [object](const DictionaryEntry& e) { return sameObject(e, object); });
}

AddResult CharacterDictionary::add(uint32_t type, uint32_t key, const char* name,
                                   std::unique_ptr<MovieObject>& object) {
    if (DictionaryEntry* existing = findSameContent(type, key, object.get())) {
        return {2, existing->id, existing};
    }
    return store(DictionaryEntry::Sharing::kContent, type, key, nextId(), {}, name, object);
}

AddResult CharacterDictionary::addDescribed(uint32_t type, uint32_t key, std::string_view description,
                                            const char* name, std::unique_ptr<MovieObject>& object) {
    if (DictionaryEntry* existing = findDescribed(type, key, description)) {
        return {2, existing->id, existing};
    }
    return store(DictionaryEntry::Sharing::kDescription, type, key, nextId(), description, name,
                 object);
}

AddResult CharacterDictionary::addUnique(uint32_t type, const char* name,
                                         std::unique_ptr<MovieObject>& object) {
    return store(DictionaryEntry::Sharing::kNever, type, 0, nextId(), {}, name, object);
}

AddResult CharacterDictionary::store(DictionaryEntry::Sharing sharing, uint32_t type, uint32_t key,
                                     uint32_t id, std::string_view description, const char* name,
                                     std::unique_ptr<MovieObject>& object) {
    try {
        auto entry = std::make_unique<DictionaryEntry>();
        entry->type = type;
        entry->id = id;
        entry->key = key;
        entry->sharing = sharing;
        entry->description = description;
        if (name) {
            entry->name = name;
            entry->nameHash = nameHash(entry->name);
            entry->hasName = true;
        }
        DictionaryEntry* raw = entry.get();
        // Everything that can fail comes first, so a failure leaves no trace.
        reserveOneMore(entries_);
        std::vector<DictionaryEntry*>* candidates = nullptr;
        if (sharing != DictionaryEntry::Sharing::kNever) {
            candidates = &byKey_[typeKey(type, key)];
            reserveOneMore(*candidates);
        }
        byId_.try_emplace(id, raw).first->second = raw;
        if (candidates) candidates->push_back(raw);
        entries_.push_back(std::move(entry));
        if (object) {
            object->id = int32_t(id);
            object->compact();
        }
        raw->object = std::move(object);
        return {1, id, raw};
    } catch (const std::bad_alloc&) {
        return {-4, 0, nullptr};
    }
}

DictionaryEntry* CharacterDictionary::findById(uint32_t id, uint32_t type) const {
    auto it = byId_.find(id);
    if (it == byId_.end()) return nullptr;
    if (type == 0 || it->second->type == type) return it->second;
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
        if ((*e)->id == id && (*e)->type == type) return e->get();
    }
    return nullptr;
}

DictionaryEntry* CharacterDictionary::findDescribed(uint32_t type, uint32_t key,
                                                    std::string_view description) const {
    return findCandidate(type, key, [description](const DictionaryEntry& e) {
        return e.sharing == DictionaryEntry::Sharing::kDescription && e.description == description;
    });
}

DictionaryEntry* CharacterDictionary::findByName(const char* name, uint32_t type) const {
    const uint32_t hash = nameHash(name);
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
        const DictionaryEntry& entry = **e;
        if (entry.hasName && entry.nameHash == hash && (type == 0 || entry.type == type) &&
            equalNoCase(entry.name, name)) {
            return e->get();
        }
    }
    return nullptr;
}

bool CharacterDictionary::setName(DictionaryEntry& entry, const char* name) {
    if (entry.hasName) return false;
    try {
        entry.name = name;
    } catch (const std::bad_alloc&) {
        return false;
    }
    entry.nameHash = nameHash(entry.name);
    entry.hasName = true;
    return true;
}

void CharacterDictionary::clear() {
    byKey_.clear();
    byId_.clear();
    entries_.clear();
    nextId_ = 1;
}

uint32_t CharacterDictionary::collectDependencies(uint32_t id, ByteBuffer& list) const {
    list.truncate(0);
    list.pushU32Unique(id);
    for (uint32_t i = 0; i < list.countU32(); ++i) {
        const DictionaryEntry* e = findById(list.u32At(i));
        if (e && e->object) e->object->collectDependencies(list);
    }
    return list.countU32();
}

void CharacterDictionary::dump(FILE* out) const {
    for (const auto& e : entries_) {
        std::fprintf(out, "id=%u ", e->id);
        if (e->object) {
            e->object->dump(out, 0);
        } else {
            std::fprintf(out, "type=%s\n", objectTypeName(e->type));
        }
    }
}

}  // namespace tessaly
