#include "composer/mml_interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "composer/mml_values.h"
#include "composer/path_builder.h"
#include "support/checksum.h"
#include "support/numbers.h"
#include "support/text.h"

namespace tessaly {

namespace {

constexpr uint32_t kMaxDepth = 65000;

bool allDigits(const char* s) {
    if (!s || !*s) return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
    }
    return true;
}

bool nameIs(const char* name, const char* wanted) { return name && equalNoCase(name, wanted); }

}  // namespace

// ---------------------------------------------------------------------------
// Set-up

void MmlInterpreter::setJobDirectory(const std::string& directory) {
    jobDirectory_ = directory;
    if (!jobDirectory_.empty() && jobDirectory_.back() != '/') jobDirectory_ += '/';
}

int MmlInterpreter::InputOpen() {
    if (!dictionary) {
        setError("Out of memory(1)");
        return 0;
    }
    std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
    auto* raw = static_cast<MovieClipObject*>(clip.get());
    const AddResult r = dictionary->addUnique(kTypeMovieClip, nullptr, clip);
    if (r.result != 1) {
        setError("Out of memory(2)");
        return 0;
    }
    rootEntry_ = r.entry;
    root_ = raw;
    resetTimeline();
    return 1;
}

void MmlInterpreter::resetTimeline() {
    current_ = root_;
    openClip_.reset();
    rootDepths_.clear();
    clipDepths_.clear();
    masks_.clear();
    namedDepths_.clear();
    openText_.reset();
}

int MmlInterpreter::SetSource(const char* text) {
    if (!text) {
        setError("Unable to open MML source");
        return 0;
    }
    return SetSource(std::string_view(text));
}

int MmlInterpreter::SetSource(std::string_view text) {
    if (!reader_.loadText(text)) {
        setError("Unable to open MML source");
        return 0;
    }
    reader_.rewind();
    const int ok = firstPass();
    reader_.rewind();
    if (!ok) {
        // The message, then which image failed and why.
        setError("Unable to open perform first pass");
        if (!firstPassFailure_.empty()) errorText_ += "\n" + firstPassFailure_;
        return 0;
    }
    return 1;
}

void MmlInterpreter::release() { reader_.release(); }

std::vector<uint32_t>& MmlInterpreter::placedDepths() {
    return current_ == root_ ? rootDepths_ : clipDepths_;
}

int32_t MmlInterpreter::toTwips(double v) const { return PathBuilder(scale).toTwips(v); }

// ---------------------------------------------------------------------------
// Frame loop

int MmlInterpreter::InputFrame() {
    if (!current_) return 0;
    while (reader_.nextElement()) {
        const char* name = reader_.currentName();
        // Only a text right after a text can join it.
        if (!equalNoCase(name, "Text") && !equalNoCase(name, "/Text")) openText_.reset();
        if (name[0] == '/') {
            const char* end = name + 1;
            if (equalNoCase(end, "Frame")) {
                current_->addShowFrame();
                if (current_ == root_) return 1;
            } else if (equalNoCase(end, "MovieClip")) {
                handleMovieClipEnd();
            } else if (equalNoCase(end, "Mask")) {
                handleMaskEnd();
            } else if (equalNoCase(end, "Media")) {
                break;
            }
            continue;
        }
        if (equalNoCase(name, "Shape")) {
            handleShape();
        } else if (equalNoCase(name, "Place")) {
            PlacementInput in;
            in.instanceAllowed = true;
            place(in);
        } else if (equalNoCase(name, "Move")) {
            handleMove();
        } else if (equalNoCase(name, "Remove")) {
            handleRemove();
        } else if (equalNoCase(name, "Media")) {
            resetTimeline();
        } else if (equalNoCase(name, "MovieClip")) {
            handleMovieClipStart();
        } else if (equalNoCase(name, "Mask")) {
            handleMaskStart();
        } else if (equalNoCase(name, "Meta")) {
            handleMeta();
        } else if (equalNoCase(name, "Label")) {
            handleLabel();
        } else if (equalNoCase(name, "Null")) {
            handleNull();
        } else if (equalNoCase(name, "Text")) {
            handleText();
        } else if (equalNoCase(name, "Font")) {
            handleFont();
        } else if (equalNoCase(name, "Image")) {
            handleImage();
        }
        // Frame needs no action; anything else is ignored.
    }
    endOfDocument();
    return 0;
}

void MmlInterpreter::endOfDocument() {
    current_->addEnd();
    if (current_ != root_ && openClip_) {
        // A clip left open at the end keeps its records but is never placed.
        std::unique_ptr<MovieObject> clip = std::move(openClip_);
        dictionary->addUnique(kTypeMovieClip, nullptr, clip);
    }
    current_ = nullptr;
}

// ---------------------------------------------------------------------------
// Placement

DictionaryEntry* MmlInterpreter::characterById(const char* name) const {
    return name && *name ? dictionary->findByName(name) : nullptr;
}

bool MmlInterpreter::lookupDepth(const char* text, uint32_t* depth) const {
    if (!text) return false;
    if (allDigits(text)) {
        uint32_t v = 0;
        for (const char* p = text; *p; ++p) v = std::min<uint32_t>(v * 10 + uint32_t(*p - '0'), kMaxDepth);
        *depth = v;
        return true;
    }
    const uint32_t hash = nameHash(text);
    for (auto it = namedDepths_.rbegin(); it != namedDepths_.rend(); ++it) {
        if (it->hash == hash && equalNoCase(it->name, text)) {
            *depth = it->depth;
            return true;
        }
    }
    return false;
}

MmlMatrix MmlInterpreter::readMatrixValues() {
    MmlMatrix m;
    // A malformed matrix leaves the identity.
    if (const char* text = reader_.attribute("matrix")) (void)parseMatrix(text, &m);
    double angle = 0;
    if (reader_.attributeReal("angle", &angle) == 1) {
        const double theta = angle * M_PI / 180.0;
        m.a = std::cos(theta);
        m.b = std::sin(theta);
        m.c = -std::sin(theta);
        m.d = std::cos(theta);
    }
    double x = 0, y = 0;
    if (reader_.attributePair("pos", &x, &y) == 3) {
        m.tx = x;
        m.ty = y;
    }
    if (reader_.attributePair("scale", &x, &y) == 3) {
        m.a *= x;
        m.b *= x;
        m.c *= y;
        m.d *= y;
    }
    return m;
}

SwfMatrix MmlInterpreter::readMatrix(bool positionApplied) {
    const MmlMatrix m = readMatrixValues();
    SwfMatrix out;
    out.scaleX = clampToInt32(m.a * 65536.0);
    out.skew0 = clampToInt32(m.b * 65536.0);
    out.skew1 = clampToInt32(m.c * 65536.0);
    out.scaleY = clampToInt32(m.d * 65536.0);
    if (!positionApplied) {
        out.translateX = clampToInt32(m.tx * scale);
        out.translateY = clampToInt32(m.ty * scale);
    }
    return out;
}

void MmlInterpreter::place(const PlacementInput& in) {
    DictionaryEntry* character = in.character;
    if (const char* id = reader_.attributeTrimmed("id")) {
        if (!character) {
            character = characterById(id);
        } else if (*id) {
            // A character keeps the first name it was given.
            (void)dictionary->setName(*character, id);
        }
    }
    if (!character) return;

    if (const char* exportName = reader_.attributeTrimmed("export")) {
        if (*exportName) root_->addRef(character->id, exportName);
    }
    if (const char* flags = reader_.attribute("flags")) {
        if (hasKeyword(flags, "noplace")) return;
    }

    uint32_t depth = 0;
    const char* depthText = reader_.attributeTrimmed("depth");
    if (allDigits(depthText)) {
        lookupDepth(depthText, &depth);
    } else if (in.depth >= 0) {
        depth = uint32_t(in.depth);
    } else {
        depth = current_->nextDepth();
        if (depthText) namedDepths_.push_back({depth, nameHash(depthText), depthText});
    }

    const SwfMatrix matrix = readMatrix(in.positionApplied);

    SwfCxform cxform;
    bool hasCxform = false;
    if (const char* alphaText = reader_.attributeTrimmed("alpha")) {
        double alpha = 100;
        // A value that is not a number leaves the object opaque.
        if (parseStrictReal(alphaText, &alpha)) {
            alpha = std::clamp(alpha, 0.0, 100.0);
            if (alpha < 100) {
                cxform.flags = SwfCxform::kHasMultiply | SwfCxform::kHasAlpha;
                cxform.multiply[3] = int16_t(std::lround(alpha * double(2.55f)));
                hasCxform = true;
            }
        }
    }

    std::string instance;
    bool hasInstance = false;
    if (in.instanceAllowed) {
        if (const char* text = reader_.attribute("instance")) {
            instance = text;
            hasInstance = true;
        }
    }

    PlaceArgs args;
    args.flags = place_flag::kHasId | place_flag::kHasMatrix;
    args.depth = depth;
    args.characterId = character->id;
    args.object = character->object.get();
    args.matrix = &matrix;
    if (hasCxform) {
        args.flags |= place_flag::kHasCxform;
        args.cxform = &cxform;
    }
    if (hasInstance) {
        args.flags |= place_flag::kHasName;
        args.instanceName = instance.c_str();
    }
    if (in.clipDepth >= 0) {
        args.flags |= place_flag::kHasClipDepth;
        args.clipDepth = uint32_t(in.clipDepth);
    }
    if (!current_->addPlace(args)) return;
    auto& depths = placedDepths();
    if (std::find(depths.begin(), depths.end(), depth) == depths.end()) depths.push_back(depth);
}

void MmlInterpreter::handleMove() {
    uint32_t depth = 0;
    if (!lookupDepth(reader_.attributeTrimmed("depth"), &depth)) return;
    DictionaryEntry* character = characterById(reader_.attributeTrimmed("id"));
    const SwfMatrix matrix = readMatrix(false);
    PlaceArgs args;
    args.flags = place_flag::kMove | place_flag::kHasMatrix;
    args.depth = depth;
    args.matrix = &matrix;
    if (character) {
        args.flags |= place_flag::kHasId;
        args.characterId = character->id;
        args.object = character->object.get();
    }
    current_->addPlace(args);
}

void MmlInterpreter::handleRemove() {
    auto& depths = placedDepths();
    const char* depthText = reader_.attributeTrimmed("depth");
    if (!depthText) {
        // Clears the current timeline, newest placement first.
        for (auto it = depths.rbegin(); it != depths.rend(); ++it) current_->addRemove(*it, false, 0);
        depths.clear();
        return;
    }
    uint32_t depth = 0;
    if (!lookupDepth(depthText, &depth)) return;
    const DictionaryEntry* character = characterById(reader_.attributeTrimmed("id"));
    current_->addRemove(depth, character != nullptr, character ? character->id : 0);
    depths.erase(std::remove(depths.begin(), depths.end(), depth), depths.end());
}

// ---------------------------------------------------------------------------
// Shapes

void MmlInterpreter::handleShape() {
    auto shape = std::make_unique<ShapeObject>();
    const ElementRecord element = *reader_.current();
    bool ok = true;

    const char* srcAttr = reader_.attributeTrimmed("src");
    if (srcAttr && *srcAttr) {
        // The outline comes from the first Shape element of another file.
        const std::string src = latin1ToUtf8(srcAttr);
        std::string path = src.front() == '/' ? src : jobDirectory_ + src;
        if (path.size() > 259 && src.front() != '/') path = src;
        MmlReader source;
        ok = source.loadFile(path.c_str()) && source.nextElement("Shape") &&
             PathBuilder(scale).build(source, *shape, "/Shape");
        // Skip this element's own children, if any.
        if (element.hasContent) {
            while (reader_.nextElement() && !nameIs(reader_.currentName(), "/Shape")) {
            }
        }
    } else if (element.hasContent) {
        ok = PathBuilder(scale).build(reader_, *shape, "/Shape");
    }

    const Bounds& b = shape->bounds;
    if (!ok || b.empty() || b.xMin == b.xMax || b.yMin == b.yMax) return;

    // Back to the Shape element for its id and placement attributes.
    if (!reader_.pushRecord(element)) return;
    const char* id = reader_.attributeTrimmed("id");
    const bool named = id && *id;
    const uint32_t key = shape->contentHash();
    std::unique_ptr<MovieObject> object = std::move(shape);
    const AddResult r = named ? dictionary->addUnique(kTypeShape, nullptr, object)
                              : dictionary->add(kTypeShape, key, nullptr, object);
    if (r.result == 1 || r.result == 2) {
        PlacementInput in;
        in.character = r.entry;
        place(in);
    }
    (void)reader_.pop();  // the record pushed above
}

// ---------------------------------------------------------------------------
// Movie clips, masks and the small elements

void MmlInterpreter::handleMovieClipStart() {
    if (current_ != root_) return;  // clips do not nest
    openClip_ = std::make_unique<MovieClipObject>();
    current_ = openClip_.get();
    clipDepths_.clear();
    clipElement_ = *reader_.current();
}

void MmlInterpreter::handleMovieClipEnd() {
    if (current_ == root_ || !openClip_) return;
    openClip_->addEnd();
    current_ = root_;
    std::unique_ptr<MovieObject> clip = std::move(openClip_);
    const AddResult r = dictionary->addUnique(kTypeMovieClip, nullptr, clip);
    if (r.result != 1 || !reader_.pushRecord(clipElement_)) return;
    PlacementInput in;
    in.character = r.entry;
    in.instanceAllowed = true;
    place(in);
    (void)reader_.pop();  // the record pushed above
}

void MmlInterpreter::handleMaskStart() {
    masks_.push_back({current_->nextDepth(), *reader_.current()});
}

void MmlInterpreter::handleMaskEnd() {
    if (masks_.empty()) return;
    const OpenMask mask = masks_.back();
    masks_.pop_back();
    if (!reader_.pushRecord(mask.element)) return;
    PlacementInput in;
    in.depth = mask.depth;
    in.clipDepth = current_->lastDepth();
    place(in);
    (void)reader_.pop();  // the record pushed above
}

void MmlInterpreter::handleMeta() {
    const char* type = reader_.attributeTrimmed("type");
    if (type && equalNoCase(type, "flash:stop")) {
        // A complete DoAction tag: Stop, then the end of the actions.
        current_->addMeta(1, {0x02, 0x03, 0x07, 0x00});
    }
}

void MmlInterpreter::handleLabel() {
    if (const char* name = reader_.attribute("name")) current_->addLabel(name);
}

void MmlInterpreter::handleNull() {
    while (reader_.nextElement()) {
        if (nameIs(reader_.currentName(), "/Null")) return;
    }
}

}  // namespace tessaly
