#pragma once
// Helpers for tests that look inside movies: the tags of a finished movie and
// an MSB-first bit reader over tag bodies.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "swf/swf_file_reader.h"
#include "swf/swf_stream.h"

namespace tessaly {
// Tag codes print as numbers in test failures.
inline void PrintTo(SwfTag tag, std::ostream* os) { *os << "tag " << tagCode(tag); }
}  // namespace tessaly

namespace tessaly::test {

struct Tag {
    SwfTag code;
    bool longHeader;
    std::vector<uint8_t> body;
};

// Every tag after the header, End included. Fails the caller's expectations
// through an empty list when the movie does not parse.
inline std::vector<Tag> movieTags(const uint8_t* data, size_t length) {
    std::vector<Tag> tags;
    SwfFileReader reader;
    if (!reader.readMemory(data, length) || !reader.parseHeader()) return tags;
    while (reader.readTagHeader()) {
        const uint8_t* body = reader.data() + reader.tagBodyStart();
        tags.push_back({SwfTag(reader.tagCode()), reader.tagLongHeader(),
                        std::vector<uint8_t>(body, body + reader.tagLength())});
        reader.seek(reader.tagBodyEnd());
    }
    return tags;
}

// The tags written into a stand-alone stream (no movie header).
inline std::vector<Tag> movieTagsOfStream(const SwfStream& s) {
    std::vector<Tag> tags;
    const uint8_t* d = s.data();
    const size_t n = s.position();
    size_t p = 0;
    while (p + 2 <= n) {
        const uint16_t word = uint16_t(d[p] | d[p + 1] << 8);
        size_t length = word & 0x3F, header = 2;
        if (length == 0x3F) {
            if (p + 6 > n) break;
            length = d[p + 2] | d[p + 3] << 8 | d[p + 4] << 16 | size_t(d[p + 5]) << 24;
            header = 6;
        }
        if (p + header + length > n) break;
        tags.push_back({SwfTag(word >> 6), header == 6,
                        std::vector<uint8_t>(d + p + header, d + p + header + length)});
        p += header + length;
    }
    return tags;
}

inline std::vector<SwfTag> tagCodes(const std::vector<Tag>& tags) {
    std::vector<SwfTag> codes;
    for (const auto& t : tags) codes.push_back(t.code);
    return codes;
}

class BitReader {
public:
    BitReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    uint32_t bits(unsigned n) {
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            const size_t byte = pos_ / 8;
            const unsigned bit = 7 - pos_ % 8;
            v = v << 1 | (byte < length_ ? (data_[byte] >> bit) & 1 : 0);
            ++pos_;
        }
        return v;
    }
    int32_t signedBits(unsigned n) {
        const uint32_t v = bits(n);
        if (n == 0) return 0;
        return (v & (1u << (n - 1))) ? int32_t(v | ~((1u << (n - 1)) * 2 - 1)) : int32_t(v);
    }
    void align() { pos_ = (pos_ + 7) / 8 * 8; }
    size_t bytePosition() const { return pos_ / 8; }
    void skipBytes(size_t n) { pos_ += n * 8; }

private:
    const uint8_t* data_;
    size_t length_;
    size_t pos_ = 0;
};

}  // namespace tessaly::test
