#include "swf/dictionary.h"

#include <new>

#include "support/checksum.h"

namespace tessaly {

CharacterDictionary::CharacterDictionary() { entries_.reserve(256); }

uint32_t CharacterDictionary::nextId() {
    const uint32_t id = nextId_;
    if (nextId_ < kMaxId) ++nextId_;
    return id;
}

AddResult CharacterDictionary::add(uint32_t type, uint32_t key, const char* name,
                                   std::unique_ptr<MovieObject>& object) {
    if (DictionaryEntry* existing = findByKey(key, type)) return {2, existing->id, existing};
    return store(type, key, nextId(), name, object);
}

AddResult CharacterDictionary::addWithId(uint32_t type, uint32_t key, uint32_t id,
                                         const char* name, std::unique_ptr<MovieObject>& object) {
    if (DictionaryEntry* existing = findByKey(key, type)) return {2, existing->id, existing};
    return store(type, key, id, name, object);
}

AddResult CharacterDictionary::store(uint32_t type, uint32_t key, uint32_t id, const char* name,
                                     std::unique_ptr<MovieObject>& object) {
    try {
        auto entry = std::make_unique<DictionaryEntry>();
        entry->type = type;
        entry->id = id;
        entry->key = key;
        if (name) {
            entry->nameHash = nameHash(name);
            entry->hasName = true;
        }
        DictionaryEntry* raw = entry.get();
        entries_.push_back(std::move(entry));
        byKey_[typeKey(type, key)] = raw;
        byId_[id] = raw;
        if (object) object->id = int32_t(id);
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

DictionaryEntry* CharacterDictionary::findByKey(uint32_t key, uint32_t type) const {
    auto it = byKey_.find(typeKey(type, key));
    return it == byKey_.end() ? nullptr : it->second;
}

DictionaryEntry* CharacterDictionary::findByName(const char* name, uint32_t type) const {
    const uint32_t hash = nameHash(name);
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
        if ((*e)->hasName && (*e)->nameHash == hash && (type == 0 || (*e)->type == type)) {
            return e->get();
        }
    }
    return nullptr;
}

bool CharacterDictionary::setName(DictionaryEntry& entry, const char* name) {
    if (entry.hasName) return false;
    entry.nameHash = nameHash(name);
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
