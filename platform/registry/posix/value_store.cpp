#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>

#include "support/atomic_file.h"
#include "support/numbers.h"
#include "support/paths.h"
#include "support/text.h"

#ifndef TESSALY_REGISTRY_DEFAULT_ROOT
#define TESSALY_REGISTRY_DEFAULT_ROOT "/var/lib/tessaly/registry"
#endif

namespace tessaly {

namespace {

// A value file: a type line, then the data. "dword\n" is followed by the
// decimal value, "sz\n" by the string in UTF-8. Files stay small.
constexpr std::string_view kDwordTag = "dword\n";
constexpr std::string_view kStringTag = "sz\n";
constexpr size_t kMaxValueFile = 1 << 20;
constexpr size_t kMaxEncodedName = 239;

int errnoToCode(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR: return kRegistryNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return kRegistryAccessDenied;
        default: return kRegistryWriteFault;
    }
}

// Reads the whole value file; 0 or an error code.
int readValueFile(const std::string& path, std::string* out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ELOOP ? kRegistryInvalidData : errnoToCode(errno);
    struct stat st {};
    int result = kRegistryOk;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || size_t(st.st_size) > kMaxValueFile) {
        result = kRegistryInvalidData;
    } else {
        out->clear();
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = kRegistryInvalidData;
                break;
            }
            if (n == 0) break;
            out->append(chunk, size_t(n));
            if (out->size() > kMaxValueFile) {
                result = kRegistryInvalidData;
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

int writeValueFile(const std::string& root, const std::string& path, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    if (ec) return errnoToCode(ec.value());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (!writeFileAtomically(path, {std::span<const uint8_t>(data, bytes.size())})) {
        return ::access(root.c_str(), W_OK) != 0 ? kRegistryAccessDenied : kRegistryWriteFault;
    }
    return kRegistryOk;
}

}  // namespace

ValueStore::ValueStore() : root_(configuredRoot()) {}

ValueStore::ValueStore(std::string root) : root_(std::move(root)) {}

std::string ValueStore::configuredRoot() {
    const char* env = std::getenv("TESSALY_REGISTRY_ROOT");
    if (env && *env) return env;
    return TESSALY_REGISTRY_DEFAULT_ROOT;
}

std::string ValueStore::valuePath(std::string_view name) const {
    if (name.empty() || root_.empty()) return {};
    std::string encoded;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(foldCase(c));
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-') {
            encoded += char(u);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[u >> 4];
            encoded += kHex[u & 15];
        }
        if (encoded.size() > kMaxEncodedName) return {};
    }
    std::string path = root_;
    appendSeparator(path);
    return path + encoded;
}

int ValueStore::type(std::string_view name, RegistryType* out) const {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readValueFile(path, &bytes)) return r;
    if (bytes.starts_with(kDwordTag)) {
        *out = RegistryType::Dword;
    } else if (bytes.starts_with(kStringTag)) {
        *out = RegistryType::String;
    } else {
        return kRegistryInvalidData;
    }
    return kRegistryOk;
}

int ValueStore::readDword(std::string_view name, uint32_t* out) const {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readValueFile(path, &bytes)) return r;
    if (bytes.starts_with(kStringTag)) return kRegistryUnsupportedType;
    if (!bytes.starts_with(kDwordTag)) return kRegistryInvalidData;
    uint32_t value = 0;
    if (!parseUnsigned(trim(std::string_view(bytes).substr(kDwordTag.size())), &value)) {
        return kRegistryInvalidData;
    }
    *out = value;
    return kRegistryOk;
}

int ValueStore::readString(std::string_view name, std::u16string* out) const {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readValueFile(path, &bytes)) return r;
    if (bytes.starts_with(kDwordTag)) return kRegistryUnsupportedType;
    if (!bytes.starts_with(kStringTag)) return kRegistryInvalidData;
    std::u16string text = pathFromUtf8(std::string_view(bytes).substr(kStringTag.size()));
    if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
    *out = std::move(text);
    return kRegistryOk;
}

int ValueStore::writeDword(std::string_view name, uint32_t value) {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    std::string bytes(kDwordTag);
    bytes += uintToText(value);
    bytes += '\n';
    return writeValueFile(root_, path, bytes);
}

int ValueStore::writeString(std::string_view name, std::u16string_view value) {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    if (const size_t nul = value.find(u'\0'); nul != std::u16string_view::npos) {
        value = value.substr(0, nul);
    }
    const std::optional<std::string> utf8 = pathToUtf8(value);
    if (!utf8) return kRegistryInvalidParameter;
    std::string bytes(kStringTag);
    bytes += *utf8;
    return writeValueFile(root_, path, bytes);
}

int ValueStore::deleteValue(std::string_view name) {
    const std::string path = valuePath(name);
    if (path.empty()) return kRegistryInvalidParameter;
    if (::unlink(path.c_str()) != 0) return errnoToCode(errno);
    return kRegistryOk;
}

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
