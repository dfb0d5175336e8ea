#include "swf/movie_writer.h"

#include <algorithm>
#include <cstring>

#include "swf/bitmap_encoder.h"
#include "swf/shape_encoder.h"
#include "swf/template_import.h"
#include "swf/text_encoder.h"

namespace tessaly {

void MovieOutput::setDefaults() {
    frameWidth = 12000;
    frameHeight = 8000;
    frameRate = 12.0;
    backgroundColor = 0xEEEEEE;
    releaseBitmaps = false;
}

int MovieOutput::SetRootStoreObject(DictionaryEntry* root) {
    rootEntry = root;
    return root && root->object ? 1 : 0;
}

namespace {
constexpr const char* kOutOfMemory = "out of memory: the movie could not be held in memory\n";
}  // namespace

int MovieOutput::writeAllFrames() {
    for (;;) {
        const int r = OutputFrame();
        if (r == 0) return 1;
        if (r < 0) return 0;
    }
}

// ---------------------------------------------------------------------------

int SwfMovieWriter::SetRootStoreObject(DictionaryEntry* root) {
    (void)MovieOutput::SetRootStoreObject(root);  // the same test is made below
    root_ = root && root->object && root->object->type() == kTypeMovieClip
                ? static_cast<MovieClipObject*>(root->object.get())
                : nullptr;
    return root && root->object ? 1 : 0;
}

bool SwfMovieWriter::outOfMemory() {
    if (!stream_.failed() && !frameOffsets_.failed() && !scratch_.failed()) return false;
    fail(kOutOfMemory);
    return true;
}

void SwfMovieWriter::fail(const std::string& text) {
    // The first failure is the one worth reporting; later ones follow from it.
    if (errorText.empty()) errorText = text;
}

int SwfMovieWriter::OutputOpen() {
    setDefaults();
    errorText.clear();
    if (!dictionary || !rootEntry || !rootEntry->object || rootEntry->type != kTypeMovieClip ||
        !root_) {
        return 0;
    }
    definitions_.clear();
    frameOffsets_.truncate(0);
    if (!frameOffsets_.data() && !frameOffsets_.allocate()) return 0;
    if (!scratch_.data() && !scratch_.allocate()) return 0;
    if (!frameOffsets_.writeU32(0) || !stream_.open(32768, 32768, 2.0f)) {
        fail(kOutOfMemory);
        return 0;
    }
    templateInUse = false;
    templateFrameCount = 0;
    templateEndFrame = 0;
    compressedTemplate = false;
    version = 5;
    ended_ = false;
    return 1;
}

int SwfMovieWriter::useTemplate(const std::string& path, uint32_t depthOffset,
                                uint32_t* firstFreeId) {
    if (!stream_.buffer().data() || templateInUse || stream_.frameCount() != 0) return 0;
    const uint32_t p0 = stream_.position();
    TemplateImport t;
    if (!importTemplate(stream_, path, depthOffset, true, &t)) return 0;
    // A template without any ShowFrame still fills the first frame; one with
    // more frames than the 16-bit frame count can hold is refused.
    const uint32_t frames = std::max<uint32_t>(t.frameCount, 1);
    if (frames - 1 > 0xFFFF) {
        stream_.buffer().truncate(p0);
        return 0;
    }

    frameRate = t.frameRate;
    frameWidth = std::max(t.xmax - t.xmin, 0);
    frameHeight = std::max(t.ymax - t.ymin, 0);
    if (t.hasBackground) backgroundColor = t.backgroundColor;
    version = t.version;
    compressedTemplate = t.compressed;
    templateInUse = true;
    templateFrameCount = frames;
    templateEndFrame = frames - 1;
    stream_.setFrameCount(uint16_t(frames - 1));

    // The template's own frames have no offsets of their own; the root
    // clip's first frame starts after the imported tags.
    frameOffsets_.truncate(0);
    for (uint32_t f = 0; f + 1 < frames; ++f) frameOffsets_.writeU32(0);
    frameOffsets_.writeU32(stream_.position());
    if (outOfMemory()) return 0;

    if (firstFreeId) *firstFreeId = std::max(t.maxPlacedId, t.maxDefinedId) + 100;
    return 1;
}

int64_t SwfMovieWriter::definitionFrame(uint32_t id) const {
    auto it = definitions_.find(id);
    return it == definitions_.end() ? -1 : int64_t(it->second);
}

void SwfMovieWriter::recordFrameOffset() {
    const uint32_t frames = stream_.frameCount();
    frameOffsets_.seek(frames * 4);
    frameOffsets_.writeU32(stream_.position());
}

int SwfMovieWriter::OutputFrame() {
    const int result = writeNextFrame();
    // A dropped write anywhere in the frame leaves a damaged movie.
    if (result >= 0 && outOfMemory()) return -1;
    return result;
}

int SwfMovieWriter::writeNextFrame() {
    if (!root_ || ended_) return 0;
    if (root_->incomplete()) {
        fail("the movie's timeline is incomplete: memory ran out while it was built\n");
        return -1;
    }
    int64_t k = stream_.frameCount();
    if (templateInUse) k -= int64_t(templateFrameCount) - 1;
    if (k < 0 || k >= int64_t(root_->frameCount())) return 0;
    const FrameSpan span = root_->frames()[size_t(k)];
    const auto& controls = root_->controls();
    for (uint32_t i = span.first; i < span.first + span.count && i < controls.size(); ++i) {
        const ControlRecord& r = controls[i];
        switch (r.type) {
            case kCtlPlace:
                if ((r.flags & place_flag::kHasId) && !defineCharacter(r.characterId)) return -1;
                writePlace(r);
                break;
            case kCtlRemove: writeRemove(r); break;
            case kCtlRef:
                if (!defineCharacter(r.characterId)) return -1;
                if (r.hasText) stream_.writeExportAssets(r.characterId, r.text);
                break;
            case kCtlShowFrame:
                stream_.writeShowFrame();
                recordFrameOffset();
                return 1;
            case kCtlLabel: stream_.writeFrameLabel(r.text); break;
            case kCtlEnd: ended_ = true; return 0;
            case kCtlMeta:
                if (r.metaType == 1 && !r.data.empty()) {
                    stream_.writeRaw(r.data.data(), uint32_t(r.data.size()));
                }
                break;
            default: break;
        }
    }
    return 1;
}

int SwfMovieWriter::defineCharacter(uint32_t id) {
    if (definitions_.count(id)) return 1;
    const uint32_t frame = stream_.frameCount();
    const uint32_t n = dictionary->collectDependencies(id, scratch_);
    // Deeper dependencies were found later, so define from the end backwards.
    for (uint32_t i = n; i-- > 1;) {
        const uint32_t dep = scratch_.u32At(i);
        if (definitions_.count(dep)) continue;
        DictionaryEntry* e = dictionary->findById(dep);
        if (e && !defineByType(*e)) {
            if (!outOfMemory()) fail("character " + std::to_string(dep) + " could not be written\n");
            return 0;
        }
        definitions_.emplace(dep, frame);
    }
    DictionaryEntry* e = dictionary->findById(id);
    if (e && !defineByType(*e)) {
        if (!outOfMemory()) fail("character " + std::to_string(id) + " could not be written\n");
        return 0;
    }
    definitions_.emplace(id, frame);
    return 1;
}

int SwfMovieWriter::defineByType(DictionaryEntry& entry) {
    if (!entry.object) return 1;
    if (entry.object->incomplete()) {
        fail("character " + std::to_string(entry.id) +
             " is incomplete: memory ran out while it was built\n");
        return 0;
    }
    int ok = 1;
    switch (entry.type) {
        case kTypeShape:
            ok = defineShape(stream_, entry.id, static_cast<const ShapeObject&>(*entry.object));
            break;
        case kTypeMovieClip:
            ok = defineSprite(entry.id, static_cast<const MovieClipObject&>(*entry.object));
            break;
        case kTypeText: ok = defineText(stream_, entry.id, static_cast<TextObject&>(*entry.object)); break;
        case kTypeBitmap:
            // A quality preset before the first image decides which JPEGs share tables.
            if (!stream_.jpegTablesWritten() && jpegDefaultQuality <= 100) {
                stream_.setJpegTables(false, jpegDefaultQuality);
            }
            ok = defineBitmap(stream_, entry.id, entry);
            if (ok && releaseBitmaps) {
                // The pixels are not needed once the tag is written. The object
                // itself stays: placements still point at it.
                static_cast<BitmapObject&>(*entry.object).image.clear();
                entry.state &= ~DictionaryEntry::kHoldsPixels;
            }
            break;
        case kTypeFont:  // written when the movie is closed
        case kTypeNone:
        case kTypeRaw: break;
        default: ok = 0; break;  // no encoder for this kind of character
    }
    if (ok) entry.state |= DictionaryEntry::kWritten;
    return ok;
}

int SwfMovieWriter::defineSprite(uint32_t id, const MovieClipObject& clip) {
    if (clip.controls().empty()) return 0;
    if (!stream_.beginSprite(id)) return 0;
    for (const ControlRecord& r : clip.controls()) {
        switch (r.type) {
            case kCtlPlace: writePlace(r); break;
            case kCtlRemove: writeRemove(r); break;
            case kCtlShowFrame: stream_.writeShowFrame(); break;
            case kCtlLabel: stream_.writeFrameLabel(r.text); break;
            case kCtlEnd: stream_.writeEnd(); break;
            case kCtlMeta:
                if (r.metaType == 1 && !r.data.empty()) {
                    stream_.writeRaw(r.data.data(), uint32_t(r.data.size()));
                }
                break;
            default: break;
        }
    }
    return stream_.endSprite();
}

void SwfMovieWriter::writePlace(const ControlRecord& r) {
    PlaceObjectRecord place;
    place.flags = r.flags;
    place.depth = r.depth;
    place.characterId = r.characterId;
    place.matrix = &r.matrix;
    place.cxform = &r.cxform;
    place.ratio = r.ratio;
    if (r.hasText) place.name = r.text;
    place.clipDepth = r.clipDepth;
    stream_.writePlace(place);
}

void SwfMovieWriter::writeRemove(const ControlRecord& r) {
    if (r.flags) {
        stream_.writeRemoveObject(r.characterId, r.depth);
    } else {
        stream_.writeRemoveObject2(r.depth);
    }
}

int SwfMovieWriter::writeFonts() {
    ByteBuffer& buffer = stream_.buffer();
    for (size_t i = 0; i < dictionary->count(); ++i) {
        DictionaryEntry& entry = dictionary->entryAt(i);
        if (entry.type != kTypeFont || !entry.object) continue;
        auto& font = static_cast<FontObject&>(*entry.object);
        if (font.glyphs().empty()) continue;
        if (font.incomplete()) {
            fail("font " + std::to_string(entry.id) +
                 " is incomplete: memory ran out while it was built\n");
            return 0;
        }
        const uint32_t b = buffer.position();
        if (!defineFont(stream_, entry.id, font)) return 0;
        buffer.truncate(buffer.position());
        const uint32_t c = buffer.position();
        if (c <= b) continue;
        entry.state |= DictionaryEntry::kWritten;
        // The font goes to the start of the frame that first used it (frame 0
        // when no frame did), and the frames after it move up.
        const int64_t frame = std::max<int64_t>(definitionFrame(entry.id), 0);
        const uint32_t frames = frameOffsets_.countU32();
        if (uint32_t(frame) >= frames) continue;
        const uint32_t d = frameOffsets_.u32At(uint32_t(frame));
        for (uint32_t f = uint32_t(frame) + 1; f < frames; ++f) {
            const uint32_t shifted = frameOffsets_.u32At(f) + (c - b);
            std::memcpy(frameOffsets_.data() + f * 4, &shifted, 4);
        }
        if (!buffer.moveBlock(b, c, d)) return 0;
        buffer.seek(c);
    }
    return 1;
}

void SwfMovieWriter::writeHeader() {
    stream_.writeBytes("FWS", 3);
    stream_.writeU8(version);
    stream_.writeU32(0);  // length, fixed below
    stream_.writeRect(0, frameWidth, 0, frameHeight);
    stream_.writeU16(uint16_t(std::clamp(frameRate * 256.0, 0.0, 65535.0)));
    stream_.writeU16(stream_.frameCount());
    stream_.writeSetBackgroundColor(backgroundColor);
    if (debugging) stream_.writeEnableDebugger();
}

int SwfMovieWriter::close() {
    ByteBuffer& buffer = stream_.buffer();
    // Short tag headers leave stale bytes past the position; they are not part of the movie.
    buffer.truncate(buffer.position());
    stream_.writeEnd();
    if (!writeFonts()) {
        if (!outOfMemory()) fail("a font could not be written\n");
        return 0;
    }

    const uint32_t h0 = buffer.position();
    writeHeader();
    const uint32_t h = buffer.position();
    if (outOfMemory()) return 0;
    if (!buffer.moveBlock(h0, h, 0)) {
        fail(kOutOfMemory);
        return 0;
    }
    buffer.seek(4);
    buffer.writeU32(buffer.size());
    buffer.truncate(buffer.size());
    return outOfMemory() ? 0 : 1;
}

const uint8_t* SwfMovieWriter::getData(uint32_t* length) const {
    *length = stream_.buffer().size();
    return stream_.buffer().data();
}

}  // namespace tessaly
