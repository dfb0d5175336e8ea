#include "swf/template_import.h"

#include <algorithm>

#include "swf/swf_bit_reader.h"
#include "swf/swf_file_reader.h"
#include "swf/swf_stream.h"

namespace tessaly {

namespace {

// Where the depths of a placement or removal tag stand in its body.
struct DepthFields {
    uint32_t depth = 0;  // offset of the depth
    bool hasClipDepth = false;
    uint32_t clipDepth = 0;  // offset of the clip depth
    bool hasId = false;
    uint32_t id = 0;  // the character id placed
};

// Finds the depth fields of a PlaceObject, PlaceObject2, RemoveObject or
// RemoveObject2 body; false when the body is too short for them.
bool findDepthFields(SwfTag tag, const uint8_t* body, uint32_t length, DepthFields* f) {
    SwfBitReader r(body, length);
    switch (tag) {
        case SwfTag::PlaceObject:
            f->hasId = true;
            f->id = r.readU16();
            f->depth = r.position();
            r.skipBytes(2);
            break;
        case SwfTag::RemoveObject:
            r.skipBytes(2);
            f->depth = r.position();
            r.skipBytes(2);
            break;
        case SwfTag::RemoveObject2:
            f->depth = r.position();
            r.skipBytes(2);
            break;
        case SwfTag::PlaceObject2: {
            const uint8_t flags = r.readU8();
            f->depth = r.position();
            r.skipBytes(2);
            if (flags & 0x02) {
                f->hasId = true;
                f->id = r.readU16();
            }
            if (flags & 0x40) {
                if (flags & 0x04) (void)r.readMatrix();
                if (flags & 0x08) (void)r.readCxform(true);
                if (flags & 0x10) r.skipBytes(2);
                if (flags & 0x20) r.skipString();
                f->hasClipDepth = true;
                f->clipDepth = r.position();
                r.skipBytes(2);
            }
            break;
        }
        default: return false;
    }
    return !r.failed();
}

class Importer {
public:
    Importer(SwfStream& stream, SwfFileReader& reader, uint32_t depthOffset, TemplateImport& out)
        : stream_(stream), reader_(reader), offset_(depthOffset), out_(out) {}

    // Copies the tags up to End; false on a truncated or malformed tag.
    bool copyTags() {
        for (;;) {
            if (!reader_.readTagHeader()) return false;
            const SwfTag tag = SwfTag(reader_.tagCode());
            switch (tag) {
                case SwfTag::End: return true;
                case SwfTag::ShowFrame:
                    lastShowFrame_ = stream_.position();
                    ++out_.frameCount;
                    if (!copyFresh()) return false;
                    break;
                case SwfTag::PlaceObject:
                case SwfTag::PlaceObject2:
                case SwfTag::RemoveObject:
                case SwfTag::RemoveObject2:
                    if (!copyMovingDepths(tag)) return false;
                    break;
                case SwfTag::SetBackgroundColor: {
                    if (reader_.tagLength() < 3) return false;
                    const uint8_t* b = reader_.data() + reader_.tagBodyStart();
                    out_.hasBackground = true;
                    out_.backgroundColor = uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
                    reader_.seek(reader_.tagBodyEnd());
                    break;
                }
                default:
                    if (definesCharacter(tag) && reader_.tagLength() >= 2) {
                        out_.maxDefinedId = std::max<uint32_t>(out_.maxDefinedId, reader_.readU16());
                    }
                    if (!copyFresh()) return false;
                    break;
            }
        }
    }

    uint32_t lastShowFrame() const { return lastShowFrame_; }

private:
    // The tag with a fresh header; false when the stream could not take it all.
    bool copyFresh() {
        const uint32_t before = stream_.position();
        const uint32_t length = reader_.tagLength();
        const uint32_t header = tagHeaderLength(SwfTag(reader_.tagCode()), length);
        if (!reader_.copyTag(stream_)) return false;
        return uint64_t(stream_.position()) == uint64_t(before) + header + length;
    }

    bool copyMovingDepths(SwfTag tag) {
        const uint8_t* body = reader_.data() + reader_.tagBodyStart();
        DepthFields f;
        if (!findDepthFields(tag, body, reader_.tagLength(), &f)) return false;
        const uint32_t before = stream_.position();
        const uint32_t raw = reader_.tagBodyEnd() - reader_.tagStart();
        if (!reader_.copyRawTag(stream_)) return false;
        // Nothing may be patched unless the whole tag landed in the stream.
        if (uint64_t(stream_.position()) != uint64_t(before) + raw) return false;
        uint8_t* copied = stream_.buffer().data() + before + (reader_.tagBodyStart() - reader_.tagStart());
        moveDepth(copied + f.depth, body + f.depth);
        if (f.hasClipDepth) moveDepth(copied + f.clipDepth, body + f.clipDepth);
        if (f.hasId) out_.maxPlacedId = std::max(out_.maxPlacedId, f.id);
        return true;
    }

    void moveDepth(uint8_t* to, const uint8_t* from) {
        const uint32_t depth =
            uint32_t(std::min<uint64_t>(uint64_t(SwfBitReader(from, 2).readU16()) + offset_, kMaxTemplateDepth));
        to[0] = uint8_t(depth);
        to[1] = uint8_t(depth >> 8);
        out_.maxDepth = std::max(out_.maxDepth, depth);
    }

    SwfStream& stream_;
    SwfFileReader& reader_;
    uint32_t offset_;
    TemplateImport& out_;
    uint32_t lastShowFrame_ = 0;
};

int importLoaded(SwfStream& stream, SwfFileReader& reader, uint32_t p0, uint32_t depthOffset,
                 bool dropLastShowFrame, TemplateImport* result) {
    if (!reader.parseHeader()) return 0;
    TemplateImport out;
    const SwfHeaderInfo& h = reader.header();
    out.version = h.version;
    out.frameRate = h.frameRate;
    out.xmin = h.xmin;
    out.xmax = h.xmax;
    out.ymin = h.ymin;
    out.ymax = h.ymax;
    out.compressed = reader.wasCompressed();

    Importer importer(stream, reader, depthOffset, out);
    if (!importer.copyTags()) {
        // Cut what was copied: the stream ends where it ended before.
        stream.buffer().truncate(p0);
        return 0;
    }
    if (dropLastShowFrame && out.frameCount > 0) stream.seek(importer.lastShowFrame());
    if (result) *result = out;
    return 1;
}

}  // namespace

int importTemplate(SwfStream& stream, const std::string& path, uint32_t depthOffset,
                   bool dropLastShowFrame, TemplateImport* result) {
    const uint32_t p0 = stream.position();
    SwfFileReader reader;
    if (!reader.readFile(path)) return 0;
    return importLoaded(stream, reader, p0, depthOffset, dropLastShowFrame, result);
}

int importTemplateData(SwfStream& stream, const void* bytes, size_t length, uint32_t depthOffset,
                       bool dropLastShowFrame, TemplateImport* result) {
    const uint32_t p0 = stream.position();
    SwfFileReader reader;
    if (!reader.readMemory(bytes, length)) return 0;
    return importLoaded(stream, reader, p0, depthOffset, dropLastShowFrame, result);
}

}  // namespace tessaly
