// The value store's plain functions, over ValueStore: the same on every
// system.
#include <cstring>

#include "platform/registry.h"
#include "support/text.h"

namespace tessaly {

int registryReadDword(const char* name, uint32_t* out) {
    if (!name || !out) return kRegistryInvalidParameter;
    return ValueStore().readDword(name, out);
}

int registryReadString(const char* name, char* dest, size_t destBytes) {
    if (!name || !dest || destBytes == 0) return kRegistryInvalidParameter;
    dest[0] = 0;
    std::u16string value;
    if (const int r = ValueStore().readString(name, &value)) return r;
    if (value.size() + 1 > destBytes) return kRegistryMoreData;
    toNarrow(dest, value.c_str(), destBytes);
    return kRegistryOk;
}

int registryReadWideString(const char* name, char16_t* dest, size_t destBytes) {
    if (!name || !dest || destBytes < sizeof(char16_t)) return kRegistryInvalidParameter;
    dest[0] = 0;
    std::u16string value;
    if (const int r = ValueStore().readString(name, &value)) return r;
    if ((value.size() + 1) * sizeof(char16_t) > destBytes) return kRegistryMoreData;
    std::memcpy(dest, value.c_str(), (value.size() + 1) * sizeof(char16_t));
    return kRegistryOk;
}

int registryWriteWideString(const char* name, const char16_t* value) {
    if (!name || !value) return kRegistryInvalidParameter;
    ValueStore store;
    return store.writeString(name, value);
}

int registryWriteDword(const char* name, uint32_t value) {
    if (!name) return kRegistryInvalidParameter;
    ValueStore store;
    return store.writeDword(name, value);
}

int registryDeleteValue(const char* name) {
    if (!name) return kRegistryInvalidParameter;
    ValueStore store;
    return store.deleteValue(name);
}

}  // namespace tessaly
