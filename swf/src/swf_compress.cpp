#include "swf/swf_compress.h"

#include <zlib.h>

#include <span>
#include <vector>

#include "support/atomic_file.h"
#include "support/files.h"

namespace tessaly {

namespace {
// Signature, version and the uncompressed length stay uncompressed.
constexpr size_t kHeadLength = 8;
}  // namespace

int64_t compressSwfFile(const std::string& path, int level) {
    SizedBlock file;
    if (!readWholeFile(path, file)) return -1;
    const uint8_t* bytes = file.data.get();
    // Only a plain movie is compressed: compressing a "CWS" body again would
    // produce a file no player can read.
    if (file.length < kHeadLength || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S') return -1;
    if (file.length - kHeadLength > 0xFFFFFFFFu) return -1;

    const uLong bodyLength = uLong(file.length - kHeadLength);
    uLongf packedLength = compressBound(bodyLength);
    std::vector<uint8_t> packed;
    try {
        packed.resize(packedLength);
    } catch (...) {
        return -1;
    }
    const int rc = compress2(packed.data(), &packedLength, bytes + kHeadLength, bodyLength, level);
    if (rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) return -1;
    if (rc != Z_OK || packedLength >= bodyLength) return 0;

    uint8_t head[kHeadLength];
    std::copy(bytes, bytes + kHeadLength, head);
    head[0] = 'C';
    if (!writeFileAtomically(path, {std::span<const uint8_t>(head, kHeadLength),
                                    std::span<const uint8_t>(packed.data(), packedLength)})) {
        return -1;
    }
    return int64_t(kHeadLength + packedLength);
}

}  // namespace tessaly
