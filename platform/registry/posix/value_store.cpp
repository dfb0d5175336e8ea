#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <span>
#include <vector>

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

// What marks a value of the root as deleted in the user's layer. Encoded
// names never hold '~', so no value file can be taken for a mark.
constexpr std::string_view kDeletedMark = "~deleted";

// The file name of a value: the lower-cased name with every byte outside
// [a-z0-9_-] as %XX; empty when the name is empty or too long.
std::string encodedName(std::string_view name) {
    if (name.empty()) return {};
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
    return encoded;
}

// Whether a directory entry is a value file (not a deletion mark, not a
// half-written temporary file).
bool isValueFileName(std::string_view file) {
    if (file.empty() || file.size() > kMaxEncodedName) return false;
    for (const char c : file) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '%' ||
              (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::string fileIn(const std::string& root, std::string_view file) {
    std::string path = root;
    appendSeparator(path);
    return path.append(file);
}

bool entryExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why a layer directory cannot be made or written: whatever stands in the
// way, the user is denied.
int layerErrorCode(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case EACCES:
        case EPERM:
        case EROFS:
        case ENAMETOOLONG:
        case ELOOP: return kRegistryAccessDenied;
        default: return kRegistryWriteFault;
    }
}

// Makes the user's layer and every missing directory above it, each new one
// readable by the user alone.
int makePrivateDirectories(const std::string& dir) {
    if (isDirectory(dir)) return kRegistryOk;
    std::filesystem::path partial;
    for (const auto& part : std::filesystem::path(dir)) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) == 0) continue;
        const int err = errno;
        if (!isDirectory(partial.string())) return layerErrorCode(err == EEXIST ? ENOTDIR : err);
    }
    return isDirectory(dir) ? kRegistryOk : kRegistryAccessDenied;
}

// A path from the environment that is usable as a directory: set and absolute.
const char* absoluteFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? value : nullptr;
}

// The value file the store shows for an encoded name: the user's (when the
// store is layered), unless the layer marks the value deleted, else the
// root's.
int readShownFile(const std::string& root, const std::string& userRoot, bool layered, const std::string& encoded,
                  std::string* bytes) {
    if (layered && !userRoot.empty()) {
        const std::string own = fileIn(userRoot, encoded);
        const int r = readValueFile(own, bytes);
        if (r != kRegistryNotFound && r != kRegistryAccessDenied) return r;
        if (entryExists(own + std::string(kDeletedMark))) return kRegistryNotFound;
    }
    if (root.empty()) return layered ? kRegistryNotFound : kRegistryInvalidParameter;
    return readValueFile(fileIn(root, encoded), bytes);
}

}  // namespace

ValueStore::ValueStore() : root_(configuredRoot()) {
    // The administrator writes the root itself; anyone else who cannot gets
    // the layer. A root that does not exist yet is the installation's to make.
    if (::geteuid() != 0 && isDirectory(root_) && ::faccessat(AT_FDCWD, root_.c_str(), W_OK, AT_EACCESS) != 0) {
        layered_ = true;
        userRoot_ = configuredUserRoot();
    }
}

ValueStore::ValueStore(std::string root) : root_(std::move(root)) {}

ValueStore::ValueStore(std::string root, std::string userRoot)
    : root_(std::move(root)), userRoot_(std::move(userRoot)), layered_(true) {}

std::string ValueStore::configuredRoot() {
    const char* env = std::getenv("TESSALY_REGISTRY_ROOT");
    if (env && *env) return env;
    return TESSALY_REGISTRY_DEFAULT_ROOT;
}

std::string ValueStore::configuredUserRoot() {
    const char* env = std::getenv("TESSALY_REGISTRY_USER_ROOT");
    if (env && *env) return env;
    if (const char* config = absoluteFromEnvironment("XDG_CONFIG_HOME")) {
        return std::string(config) + "/tessaly/registry";
    }
    std::string home;
    if (const char* fromEnvironment = absoluteFromEnvironment("HOME")) {
        home = fromEnvironment;
    } else {
        std::vector<char> buffer(16384);
        struct passwd entry {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir && found->pw_dir[0] == '/') {
            home = found->pw_dir;
        }
    }
    if (home.empty()) return {};
    appendSeparator(home);
    return home + ".config/tessaly/registry";
}

std::string ValueStore::valuePath(std::string_view name) const {
    const std::string& base = layered_ ? userRoot_ : root_;
    const std::string encoded = encodedName(name);
    if (encoded.empty() || base.empty()) return {};
    return fileIn(base, encoded);
}

int ValueStore::type(std::string_view name, RegistryType* out) const {
    const std::string encoded = encodedName(name);
    if (encoded.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readShownFile(root_, userRoot_, layered_, encoded, &bytes)) return r;
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
    const std::string encoded = encodedName(name);
    if (encoded.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readShownFile(root_, userRoot_, layered_, encoded, &bytes)) return r;
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
    const std::string encoded = encodedName(name);
    if (encoded.empty()) return kRegistryInvalidParameter;
    std::string bytes;
    if (const int r = readShownFile(root_, userRoot_, layered_, encoded, &bytes)) return r;
    if (bytes.starts_with(kDwordTag)) return kRegistryUnsupportedType;
    if (!bytes.starts_with(kStringTag)) return kRegistryInvalidData;
    std::u16string text = pathFromUtf8(std::string_view(bytes).substr(kStringTag.size()));
    if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
    *out = std::move(text);
    return kRegistryOk;
}

int ValueStore::writeValue(std::string_view name, std::string_view bytes) {
    const std::string encoded = encodedName(name);
    if (encoded.empty()) return kRegistryInvalidParameter;
    if (!layered_) {
        if (root_.empty()) return kRegistryInvalidParameter;
        return writeValueFile(root_, fileIn(root_, encoded), bytes);
    }
    if (userRoot_.empty()) return kRegistryAccessDenied;
    if (const int r = makePrivateDirectories(userRoot_)) return r;
    const std::string own = fileIn(userRoot_, encoded);
    if (const int r = writeValueFile(userRoot_, own, bytes)) return r;
    // The value just written shows even while a stale mark remains.
    (void)::unlink((own + std::string(kDeletedMark)).c_str());
    return kRegistryOk;
}

int ValueStore::writeDword(std::string_view name, uint32_t value) {
    std::string bytes(kDwordTag);
    bytes += uintToText(value);
    bytes += '\n';
    return writeValue(name, bytes);
}

int ValueStore::writeString(std::string_view name, std::u16string_view value) {
    if (encodedName(name).empty()) return kRegistryInvalidParameter;
    if (const size_t nul = value.find(u'\0'); nul != std::u16string_view::npos) {
        value = value.substr(0, nul);
    }
    const std::optional<std::string> utf8 = pathToUtf8(value);
    if (!utf8) return kRegistryInvalidParameter;
    std::string bytes(kStringTag);
    bytes += *utf8;
    return writeValue(name, bytes);
}

int ValueStore::deleteValue(std::string_view name) {
    const std::string encoded = encodedName(name);
    if (encoded.empty()) return kRegistryInvalidParameter;
    if (!layered_) {
        if (root_.empty()) return kRegistryInvalidParameter;
        if (::unlink(fileIn(root_, encoded).c_str()) != 0) return errnoToCode(errno);
        return kRegistryOk;
    }
    const std::string own = userRoot_.empty() ? std::string() : fileIn(userRoot_, encoded);
    const std::string mark = own.empty() ? std::string() : own + std::string(kDeletedMark);
    const bool ownValue = !own.empty() && entryExists(own);
    const bool marked = !mark.empty() && entryExists(mark);
    const bool rootValue = !root_.empty() && entryExists(fileIn(root_, encoded));
    if (!ownValue && (!rootValue || marked)) return kRegistryNotFound;
    if (rootValue && !marked) {
        // The mark goes first: should removing the user's value fail, the
        // value still reads as it did before.
        if (own.empty()) return kRegistryAccessDenied;
        if (const int r = makePrivateDirectories(userRoot_)) return r;
        const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return layerErrorCode(errno);
        ::close(fd);
    }
    if (ownValue && ::unlink(own.c_str()) != 0 && errno != ENOENT) return layerErrorCode(errno);
    return kRegistryOk;
}

int ValueStore::copyValuesTo(const std::string& dir) const {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return layerErrorCode(ec.value());
    std::set<std::string> names;
    for (const std::string* from : {&root_, &userRoot_}) {
        if (from->empty() || (from == &userRoot_ && !layered_)) continue;
        for (std::filesystem::directory_iterator it(*from, ec), end; !ec && it != end; it.increment(ec)) {
            std::string file = it->path().filename().string();
            if (isValueFileName(file)) names.insert(std::move(file));
        }
        ec.clear();
    }
    for (const std::string& encoded : names) {
        std::string bytes;
        if (readShownFile(root_, userRoot_, layered_, encoded, &bytes) != kRegistryOk) continue;
        if (const int r = writeValueFile(dir, fileIn(dir, encoded), bytes)) return r;
    }
    return kRegistryOk;
}

}  // namespace tessaly
