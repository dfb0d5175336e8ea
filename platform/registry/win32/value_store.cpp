// The value store over the real registry.
//
// A root is a key path: "HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Tessaly" for the
// installation. A path may start with the hive ("HKEY_LOCAL_MACHINE",
// "HKLM", "HKEY_CURRENT_USER", "HKCU"); without one it lies under
// HKEY_CURRENT_USER, which is what TESSALY_REGISTRY_ROOT names in tests so
// that they need no administrator rights. "/" separates keys as "\" does.
//
// The user's layer is a second key (HKEY_CURRENT_USER\Software\Korvane\Tessaly
// unless TESSALY_REGISTRY_USER_ROOT names another). The system virtualises
// writes to HKEY_LOCAL_MACHINE per user only for 32-bit programs without a
// manifest; a 64-bit program that may not write the key gets an access
// denial instead, so the configured store takes this layer whenever the
// installation's key exists and cannot be opened for writing. Deletion
// marks live as values of the layer's subkey "~deleted", apart from the
// values themselves.
#include "platform/registry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "support/paths.h"
#include "support/text.h"

#ifndef TESSALY_REGISTRY_DEFAULT_ROOT
#define TESSALY_REGISTRY_DEFAULT_ROOT "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Tessaly"
#endif

namespace tessaly {

namespace {

constexpr size_t kMaxValueBytes = 1 << 20;
constexpr size_t kMaxEncodedName = 239;
constexpr const wchar_t* kDeletedKey = L"~deleted";
constexpr const char* kUserRoot = "HKEY_CURRENT_USER\\Software\\Korvane\\Tessaly";
// The installation's key is the same for 32-bit and 64-bit programs.
constexpr REGSAM kView = KEY_WOW64_64KEY;

// An open key, closed with its owner.
class Key {
public:
    Key() = default;
    ~Key() {
        if (handle_) ::RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &handle_; }
    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

struct KeyPath {
    HKEY hive = nullptr;
    std::wstring subkey;
};

int fromStatus(LSTATUS status) {
    switch (status) {
        case ERROR_SUCCESS: return kRegistryOk;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return kRegistryNotFound;
        default: return int(status);
    }
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (foldCase(text[i]) != foldCase(prefix[i])) return false;
    }
    return text.size() == prefix.size() || text[prefix.size()] == '\\' || text[prefix.size()] == '/';
}

// The hive and subkey of a root; false for an empty path or a bare hive
// (values never go into a hive's own root).
bool parseKeyPath(std::string_view path, KeyPath* out) {
    out->hive = HKEY_CURRENT_USER;
    static const std::pair<std::string_view, HKEY> kHives[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCU", HKEY_CURRENT_USER},
    };
    for (const auto& [prefix, hive] : kHives) {
        if (startsWithFolded(path, prefix)) {
            out->hive = hive;
            path.remove_prefix(prefix.size());
            break;
        }
    }
    std::wstring subkey;
    for (const char16_t c : pathFromUtf8(path)) {
        if (c == u'/' || c == u'\\') {
            if (!subkey.empty() && subkey.back() != L'\\') subkey += L'\\';
        } else {
            subkey += wchar_t(c);
        }
    }
    while (!subkey.empty() && subkey.back() == L'\\') subkey.pop_back();
    if (subkey.empty()) return false;
    out->subkey = std::move(subkey);
    return true;
}

// A value name in the registry's form; empty when the name is empty, holds
// a zero (the registry would take the part before it for the name) or is
// longer than the store allows (its file-name form on other systems, with
// every byte outside [a-z0-9_-] counted three times, stays below 240).
std::wstring valueName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) return {};
    size_t encoded = 0;
    std::wstring wide;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(foldCase(c));
        encoded += ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-') ? 1 : 3;
        if (encoded > kMaxEncodedName) return {};
        wide += wchar_t(static_cast<unsigned char>(c));
    }
    return wide;
}

int openKey(const std::string& path, REGSAM access, Key* key) {
    KeyPath where;
    if (!parseKeyPath(path, &where)) return kRegistryInvalidParameter;
    return fromStatus(::RegOpenKeyExW(where.hive, where.subkey.c_str(), 0, access | kView, key->out()));
}

int createKey(const std::string& path, const wchar_t* below, Key* key) {
    KeyPath where;
    if (!parseKeyPath(path, &where)) return kRegistryInvalidParameter;
    if (below) where.subkey.append(L"\\").append(below);
    return fromStatus(::RegCreateKeyExW(where.hive, where.subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_SET_VALUE | KEY_QUERY_VALUE | kView, nullptr, key->out(), nullptr));
}

// One value as the registry holds it.
struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

int queryValue(HKEY key, const std::wstring& name, RawValue* out) {
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &out->type, nullptr, &size);
    // The value may grow between asking its size and reading it.
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        if (size > kMaxValueBytes) return kRegistryInvalidData;
        out->data.resize(size);
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &out->type, out->data.data(), &size);
        if (status == ERROR_SUCCESS) {
            out->data.resize(size);
            return kRegistryOk;
        }
        if (status == ERROR_MORE_DATA) status = ERROR_SUCCESS;
    }
    return status == ERROR_SUCCESS ? kRegistryInvalidData : fromStatus(status);
}

int queryValueIn(const std::string& path, const wchar_t* below, const std::wstring& name, RawValue* out) {
    KeyPath where;
    if (!parseKeyPath(path, &where)) return kRegistryInvalidParameter;
    if (below) where.subkey.append(L"\\").append(below);
    Key key;
    if (const int r = fromStatus(::RegOpenKeyExW(where.hive, where.subkey.c_str(), 0, KEY_QUERY_VALUE | kView,
                                                 key.out()))) {
        return r;
    }
    return queryValue(key.get(), name, out);
}

bool valueExists(const std::string& path, const wchar_t* below, const std::wstring& name) {
    RawValue ignored;
    const int r = queryValueIn(path, below, name, &ignored);
    return r == kRegistryOk || r == kRegistryInvalidData;
}

// The value the store shows: the user's (when layered) unless the layer
// marks it deleted, else the root's.
int readShown(const std::string& root, const std::string& userRoot, bool layered, const std::wstring& name,
              RawValue* out) {
    KeyPath layer;
    if (layered && parseKeyPath(userRoot, &layer)) {
        const int r = queryValueIn(userRoot, nullptr, name, out);
        if (r != kRegistryNotFound && r != kRegistryAccessDenied) return r;
        if (valueExists(userRoot, kDeletedKey, name)) return kRegistryNotFound;
    }
    if (root.empty()) return layered ? kRegistryNotFound : kRegistryInvalidParameter;
    return queryValueIn(root, nullptr, name, out);
}

bool isString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

int setValue(HKEY key, const std::wstring& name, const RawValue& value) {
    return fromStatus(::RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), DWORD(value.data.size())));
}

RawValue dwordValue(uint32_t value) {
    RawValue raw;
    raw.type = REG_DWORD;
    raw.data.resize(sizeof value);
    std::memcpy(raw.data.data(), &value, sizeof value);
    return raw;
}

// Any failure to make or write the layer denies the user.
int layerError(int code) { return code == kRegistryOk ? kRegistryOk : kRegistryAccessDenied; }

std::string environmentValue(const wchar_t* variable) {
    const DWORD needed = ::GetEnvironmentVariableW(variable, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring value(needed, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(variable, value.data(), needed);
    if (got == 0 || got >= needed) return {};
    value.resize(got);
    return pathToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(value.data()), value.size()))
        .value_or(std::string());
}

// The names of every value of a key (none when it cannot be opened).
std::vector<std::wstring> valueNames(const std::string& path) {
    std::vector<std::wstring> names;
    Key key;
    if (openKey(path, KEY_QUERY_VALUE, &key) != kRegistryOk) return names;
    DWORD count = 0, longest = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::vector<wchar_t> buffer(size_t(longest) + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = DWORD(buffer.size());
        if (::RegEnumValueW(key.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS &&
            length > 0) {
            names.emplace_back(buffer.data(), length);
        }
    }
    return names;
}

std::wstring folded(const std::wstring& name) {
    std::wstring out = name;
    if (!out.empty()) ::CharLowerBuffW(out.data(), DWORD(out.size()));
    return out;
}

}  // namespace

ValueStore::ValueStore() : root_(configuredRoot()) {
    // Whoever may write the installation's key writes it; anyone else gets
    // the layer. A key that does not exist yet is the installation's to make.
    Key key;
    if (openKey(root_, KEY_SET_VALUE, &key) == kRegistryAccessDenied) {
        layered_ = true;
        userRoot_ = configuredUserRoot();
    }
}

ValueStore::ValueStore(std::string root) : root_(std::move(root)) {}

ValueStore::ValueStore(std::string root, std::string userRoot)
    : root_(std::move(root)), userRoot_(std::move(userRoot)), layered_(true) {}

std::string ValueStore::configuredRoot() {
    std::string root = environmentValue(L"TESSALY_REGISTRY_ROOT");
    return root.empty() ? std::string(TESSALY_REGISTRY_DEFAULT_ROOT) : root;
}

std::string ValueStore::configuredUserRoot() {
    std::string root = environmentValue(L"TESSALY_REGISTRY_USER_ROOT");
    return root.empty() ? std::string(kUserRoot) : root;
}

std::string ValueStore::valuePath(std::string_view name) const {
    const std::string& base = layered_ ? userRoot_ : root_;
    KeyPath where;
    if (valueName(name).empty() || !parseKeyPath(base, &where)) return {};
    std::string path = base;
    appendSeparator(path, '\\');
    return path.append(name);
}

int ValueStore::type(std::string_view name, RegistryType* out) const {
    const std::wstring wide = valueName(name);
    if (wide.empty()) return kRegistryInvalidParameter;
    RawValue value;
    if (const int r = readShown(root_, userRoot_, layered_, wide, &value)) return r;
    if (value.type == REG_DWORD && value.data.size() == sizeof(uint32_t)) {
        *out = RegistryType::Dword;
    } else if (isString(value.type)) {
        *out = RegistryType::String;
    } else {
        return kRegistryInvalidData;
    }
    return kRegistryOk;
}

int ValueStore::readDword(std::string_view name, uint32_t* out) const {
    const std::wstring wide = valueName(name);
    if (wide.empty()) return kRegistryInvalidParameter;
    RawValue value;
    if (const int r = readShown(root_, userRoot_, layered_, wide, &value)) return r;
    if (isString(value.type)) return kRegistryUnsupportedType;
    if (value.type != REG_DWORD || value.data.size() != sizeof(uint32_t)) return kRegistryInvalidData;
    std::memcpy(out, value.data.data(), sizeof(uint32_t));
    return kRegistryOk;
}

int ValueStore::readString(std::string_view name, std::u16string* out) const {
    const std::wstring wide = valueName(name);
    if (wide.empty()) return kRegistryInvalidParameter;
    RawValue value;
    if (const int r = readShown(root_, userRoot_, layered_, wide, &value)) return r;
    if (value.type == REG_DWORD) return kRegistryUnsupportedType;
    if (!isString(value.type)) return kRegistryInvalidData;
    // The registry keeps what the writer gave: the terminator may be
    // missing and an odd last byte belongs to no character.
    std::u16string text(value.data.size() / 2, u'\0');
    std::memcpy(text.data(), value.data.data(), text.size() * 2);
    if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
    *out = std::move(text);
    return kRegistryOk;
}

int ValueStore::writeValue(std::string_view name, std::string_view bytes) {
    // The bytes are a raw value: its type first, then its data.
    const std::wstring wide = valueName(name);
    if (wide.empty() || bytes.size() < sizeof(DWORD)) return kRegistryInvalidParameter;
    RawValue value;
    std::memcpy(&value.type, bytes.data(), sizeof(DWORD));
    value.data.assign(bytes.begin() + sizeof(DWORD), bytes.end());
    if (!layered_) {
        Key key;
        if (const int r = createKey(root_, nullptr, &key)) return r;
        return setValue(key.get(), wide, value);
    }
    if (userRoot_.empty()) return kRegistryAccessDenied;
    Key key;
    if (const int r = createKey(userRoot_, nullptr, &key)) return layerError(r);
    if (const int r = setValue(key.get(), wide, value)) return layerError(r);
    // The value just written shows even while a stale mark remains.
    Key marks;
    if (openKey(userRoot_ + "\\~deleted", KEY_SET_VALUE, &marks) == kRegistryOk) {
        (void)::RegDeleteValueW(marks.get(), wide.c_str());
    }
    return kRegistryOk;
}

namespace {

std::string rawBytes(const RawValue& value) {
    std::string bytes(sizeof(DWORD), '\0');
    std::memcpy(bytes.data(), &value.type, sizeof(DWORD));
    bytes.append(reinterpret_cast<const char*>(value.data.data()), value.data.size());
    return bytes;
}

}  // namespace

int ValueStore::writeDword(std::string_view name, uint32_t value) {
    return writeValue(name, rawBytes(dwordValue(value)));
}

int ValueStore::writeString(std::string_view name, std::u16string_view value) {
    if (valueName(name).empty()) return kRegistryInvalidParameter;
    if (const size_t nul = value.find(u'\0'); nul != std::u16string_view::npos) {
        value = value.substr(0, nul);
    }
    // Only whole UTF-16 is stored, as on every other system.
    if (!pathToUtf8(value)) return kRegistryInvalidParameter;
    RawValue raw;
    raw.type = REG_SZ;
    raw.data.resize((value.size() + 1) * sizeof(char16_t), 0);
    std::memcpy(raw.data.data(), value.data(), value.size() * sizeof(char16_t));
    return writeValue(name, rawBytes(raw));
}

int ValueStore::deleteValue(std::string_view name) {
    const std::wstring wide = valueName(name);
    if (wide.empty()) return kRegistryInvalidParameter;
    if (!layered_) {
        Key key;
        if (const int r = openKey(root_, KEY_SET_VALUE, &key)) return r;
        return fromStatus(::RegDeleteValueW(key.get(), wide.c_str()));
    }
    KeyPath ignored;
    const bool haveLayer = !userRoot_.empty() && parseKeyPath(userRoot_, &ignored);
    const bool ownValue = haveLayer && valueExists(userRoot_, nullptr, wide);
    const bool marked = haveLayer && valueExists(userRoot_, kDeletedKey, wide);
    const bool rootValue = !root_.empty() && valueExists(root_, nullptr, wide);
    if (!ownValue && (!rootValue || marked)) return kRegistryNotFound;
    if (rootValue && !marked) {
        // The mark goes first: should removing the user's value fail, the
        // value still reads as it did before.
        if (!haveLayer) return kRegistryAccessDenied;
        Key marks;
        if (const int r = createKey(userRoot_, kDeletedKey, &marks)) return layerError(r);
        if (const int r = setValue(marks.get(), wide, dwordValue(1))) return layerError(r);
    }
    if (ownValue) {
        Key key;
        if (const int r = openKey(userRoot_, KEY_SET_VALUE, &key)) return layerError(r);
        const int r = fromStatus(::RegDeleteValueW(key.get(), wide.c_str()));
        if (r != kRegistryOk && r != kRegistryNotFound) return layerError(r);
    }
    return kRegistryOk;
}

int ValueStore::copyValuesTo(const std::string& dir) const {
    Key target;
    if (const int r = createKey(dir, nullptr, &target)) return layerError(r);
    std::set<std::wstring> seen;
    for (const std::string* from : {&root_, &userRoot_}) {
        if (from->empty() || (from == &userRoot_ && !layered_)) continue;
        for (const std::wstring& name : valueNames(*from)) {
            if (!seen.insert(folded(name)).second) continue;
            RawValue value;
            if (readShown(root_, userRoot_, layered_, name, &value) != kRegistryOk) continue;
            const bool dword = value.type == REG_DWORD && value.data.size() == sizeof(uint32_t);
            if (!dword && !isString(value.type)) continue;
            if (const int r = setValue(target.get(), name, value)) return r;
        }
    }
    return kRegistryOk;
}

}  // namespace tessaly
