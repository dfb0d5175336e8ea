#include "swf/swf_compress.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

namespace tessaly {

namespace {

constexpr size_t kHeadLength = 8;

bool readWhole(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    try {
        out->resize(size_t(size));
    } catch (...) {
        return false;
    }
    if (size > 0 && !in.read(reinterpret_cast<char*>(out->data()), size)) return false;
    return true;
}

// Writes head + body to a fresh file beside `path` and renames it over
// `path`, keeping the old file's permissions. The old file stays intact on
// any failure.
bool replaceFile(const std::string& path, const uint8_t* head, size_t headLength,
                 const uint8_t* body, size_t bodyLength) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    std::random_device rd;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(rd()));
        fs::path temp = target;
        temp += suffix;
        std::FILE* f = std::fopen(temp.string().c_str(), "wbx");
        if (!f) continue;
        bool ok = std::fwrite(head, 1, headLength, f) == headLength &&
                  std::fwrite(body, 1, bodyLength, f) == bodyLength;
        ok = (std::fflush(f) == 0) && ok;
        ok = (std::fclose(f) == 0) && ok;
        if (ok) {
            const fs::perms perms = fs::status(target, ec).permissions();
            if (!ec) fs::permissions(temp, perms, ec);
            ec.clear();
            fs::rename(temp, target, ec);
            ok = !ec;
        }
        if (!ok) fs::remove(temp, ec);
        return ok;
    }
    return false;
}

}  // namespace

int64_t compressSwfFile(const std::string& path, int level) {
    std::vector<uint8_t> file;
    if (!readWhole(path, &file)) return -1;
    // Only a plain movie is compressed: compressing a "CWS" body again would
    // produce a file no player can read.
    if (file.size() < kHeadLength || file[0] != 'F' || file[1] != 'W' || file[2] != 'S') return -1;
    if (file.size() - kHeadLength > 0xFFFFFFFFu) return -1;

    const uLong bodyLength = uLong(file.size() - kHeadLength);
    uLongf packedLength = compressBound(bodyLength);
    std::vector<uint8_t> packed;
    try {
        packed.resize(packedLength);
    } catch (...) {
        return -1;
    }
    const int rc = compress2(packed.data(), &packedLength, file.data() + kHeadLength, bodyLength,
                             level);
    if (rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) return -1;
    if (rc != Z_OK || packedLength >= bodyLength) return 0;

    uint8_t head[kHeadLength];
    std::copy(file.begin(), file.begin() + kHeadLength, head);
    head[0] = 'C';
    if (!replaceFile(path, head, kHeadLength, packed.data(), packedLength)) return -1;
    return int64_t(kHeadLength + packedLength);
}

}  // namespace tessaly
