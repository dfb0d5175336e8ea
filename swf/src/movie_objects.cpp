#include "swf/movie_objects.h"

#include <algorithm>
#include <new>

#include "support/checksum.h"
#include "support/numbers.h"

namespace tessaly {

const char* objectTypeName(uint32_t type) {
    switch (type) {
        case kTypeNone: return "none";
        case kTypeBitmap: return "bitmap";
        case kTypeShape: return "shape";
        case kTypeFont: return "font";
        case kTypeText: return "text";
        case kTypeMovieClip: return "movieclip";
        case kTypeRaw: return "raw";
        default: return "unknown type";
    }
}

void dumpMatrix(FILE* out, const SwfMatrix& m) {
    std::fprintf(out, "[%g %g %g %g %g %g]", m.scaleX / 65536.0, m.skew0 / 65536.0,
                 m.skew1 / 65536.0, m.scaleY / 65536.0, double(m.translateX),
                 double(m.translateY));
}

// ---------------------------------------------------------------------------

void MovieObject::reset() {
    id = -1;
    incomplete_ = false;
    bounds.clear();
}

int MovieObject::collectDependencies(ByteBuffer&) const { return 0; }

void MovieObject::indentLine(FILE* out, int indent) {
    for (int i = 0; i < indent; ++i) std::fputs("  ", out);
}

void MovieObject::dump(FILE* out, int indent) const {
    indentLine(out, indent);
    std::fprintf(out, "type=%s\n", objectTypeName(type_));
}

bool MovieObject::sameContent(const MovieObject&) const { return false; }

// ---------------------------------------------------------------------------

void ShapeObject::reset() {
    MovieObject::reset();
    lineStyles_.clear();
    fillStyles_.clear();
    commands_.clear();
    lineStyles_.reserve(20);
    fillStyles_.reserve(20);
    commands_.reserve(128);
    penX_ = penY_ = 0;
    currentLine_ = -1;
    currentFill_[0] = currentFill_[1] = -1;
    lineAlpha_ = fillAlpha_ = false;
    pathBounds_.clear();
}

void ShapeObject::compact() {
    // Non-binding and non-throwing: a list that cannot be copied keeps its room.
    lineStyles_.shrink_to_fit();
    fillStyles_.shrink_to_fit();
    commands_.shrink_to_fit();
}

int ShapeObject::collectDependencies(ByteBuffer& list) const {
    int added = 0;
    for (const auto& f : fillStyles_) {
        if (f.type == kFillTiledBitmap || f.type == kFillClippedBitmap) {
            added += list.pushU32Unique(f.bitmapId);
        }
    }
    return added;
}

void ShapeObject::clampPoint(int32_t& x, int32_t& y) const {
    x = std::clamp(x, clampXLow, clampXHigh - 1);
    y = std::clamp(y, clampYLow, clampYHigh - 1);
}

int32_t ShapeObject::halfLineWidth() const {
    if (currentLine_ < 0 || size_t(currentLine_) >= lineStyles_.size()) return 0;
    return (int32_t(lineStyles_[size_t(currentLine_)].width) + 1) >> 1;
}

bool ShapeObject::append(uint32_t code, std::initializer_list<int32_t> args) {
    ShapeCommand c{code, {0, 0, 0, 0, 0, 0}};
    std::copy(args.begin(), args.end(), c.args);
    try {
        commands_.push_back(c);
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return false;
    }
    return true;
}

int ShapeObject::moveTo(int32_t x, int32_t y) {
    clampPoint(x, y);
    if (x == penX_ && y == penY_) return 1;
    if (!append(kCmdMove, {x, y})) return 0;
    penX_ = x;
    penY_ = y;
    return 1;
}

int ShapeObject::moveToAlways(int32_t x, int32_t y) {
    clampPoint(x, y);
    if (!append(kCmdMove, {x, y})) return 0;
    penX_ = x;
    penY_ = y;
    return 1;
}

int ShapeObject::lineTo(int32_t x, int32_t y) {
    clampPoint(x, y);
    if (x == penX_ && y == penY_) return 1;
    if (!append(kCmdLine, {x, y})) return 0;
    const int32_t half = halfLineWidth();
    bounds.addPoint(penX_, penY_, half);
    bounds.addPoint(x, y, half);
    pathBounds_.addPoint(penX_, penY_);
    pathBounds_.addPoint(x, y);
    penX_ = x;
    penY_ = y;
    return 1;
}

int ShapeObject::lineBy(int32_t dx, int32_t dy) {
    return lineTo(saturatingAdd(penX_, dx), saturatingAdd(penY_, dy));
}

int ShapeObject::quadraticTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    clampPoint(cx, cy);
    clampPoint(ax, ay);
    if (cx == penX_ && cy == penY_ && ax == penX_ && ay == penY_) return 1;
    if (!append(kCmdQuadratic, {cx, cy, ax, ay})) return 0;
    const int32_t half = halfLineWidth();
    for (auto [x, y] : {std::pair{penX_, penY_}, std::pair{cx, cy}, std::pair{ax, ay}}) {
        bounds.addPoint(x, y, half);
        pathBounds_.addPoint(x, y);
    }
    penX_ = ax;
    penY_ = ay;
    return 1;
}

int ShapeObject::cubicTo(int32_t c1x, int32_t c1y, int32_t c2x, int32_t c2y, int32_t ax,
                         int32_t ay) {
    clampPoint(c1x, c1y);
    clampPoint(c2x, c2y);
    clampPoint(ax, ay);
    if (c1x == penX_ && c1y == penY_ && c2x == penX_ && c2y == penY_ && ax == penX_ &&
        ay == penY_) {
        return 1;
    }
    if (!append(kCmdCubic, {c1x, c1y, c2x, c2y, ax, ay})) return 0;
    const int32_t half = halfLineWidth();
    for (auto [x, y] : {std::pair{penX_, penY_}, std::pair{c1x, c1y}, std::pair{c2x, c2y},
                        std::pair{ax, ay}}) {
        bounds.addPoint(x, y, half);
        pathBounds_.addPoint(x, y);
    }
    penX_ = ax;
    penY_ = ay;
    return 1;
}

int ShapeObject::rectangle(int32_t width, int32_t height, int winding) {
    if (winding == 1) {
        return lineBy(width, 0) && lineBy(0, height) && lineBy(-width, 0) && lineBy(0, -height);
    }
    return lineBy(0, height) && lineBy(width, 0) && lineBy(0, -height) && lineBy(-width, 0);
}

int ShapeObject::rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int winding) {
    if (!moveTo(x1, y1)) return 0;
    if (winding == 1) {
        return lineTo(x2, y1) && lineTo(x2, y2) && lineTo(x1, y2) && lineTo(x1, y1);
    }
    return lineTo(x1, y2) && lineTo(x2, y2) && lineTo(x2, y1) && lineTo(x1, y1);
}

int ShapeObject::lineStyle(uint32_t color, uint16_t width, bool hasAlpha) {
    if (!hasAlpha) color |= 0xFF000000u;
    auto it = std::find_if(lineStyles_.begin(), lineStyles_.end(), [&](const LineStyle& s) {
        return s.color == color && s.width == width;
    });
    int32_t index = int32_t(it - lineStyles_.begin());
    if (it == lineStyles_.end()) {
        try {
            lineStyles_.push_back({color, width});
        } catch (const std::bad_alloc&) {
            markIncomplete();
            return -1;
        }
    }
    if (!append(kCmdStyleLine, {index})) {
        if (it == lineStyles_.end()) lineStyles_.pop_back();
        return -1;
    }
    if (hasAlpha) lineAlpha_ = true;
    currentLine_ = index;
    return index;
}

int ShapeObject::clearLineStyle() {
    if (!append(kCmdStyleLine, {-1})) return 0;
    currentLine_ = -1;
    return 1;
}

namespace {
bool sameFill(const FillStyle& a, const FillStyle& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case kFillSolid: return a.color == b.color;
        case kFillTiledBitmap:
        case kFillClippedBitmap: return a.bitmapId == b.bitmapId && a.matrix == b.matrix;
        default:
            if (!(a.matrix == b.matrix) || a.stopCount != b.stopCount) return false;
            for (int i = 0; i < a.stopCount; ++i) {
                if (a.stops[i].color != b.stops[i].color || a.stops[i].ratio != b.stops[i].ratio) {
                    return false;
                }
            }
            return true;
    }
}
}  // namespace

int ShapeObject::selectFill(const FillStyle& fill, int side, bool hasAlpha) {
    auto it = std::find_if(fillStyles_.begin(), fillStyles_.end(),
                           [&](const FillStyle& s) { return sameFill(s, fill); });
    const int32_t index = int32_t(it - fillStyles_.begin());
    const bool added = it == fillStyles_.end();
    if (added) {
        try {
            fillStyles_.push_back(fill);
        } catch (const std::bad_alloc&) {
            markIncomplete();
            return -1;
        }
    }
    const int32_t s = side == kSideRight ? kSideRight : kSideLeft;
    if (!append(kCmdStyleFill, {index, s})) {
        if (added) fillStyles_.pop_back();
        return -1;
    }
    if (hasAlpha) fillAlpha_ = true;
    currentFill_[s] = index;
    return index;
}

int ShapeObject::solidFill(uint32_t color, int side, bool hasAlpha) {
    FillStyle f;
    f.type = kFillSolid;
    f.color = hasAlpha ? color : color | 0xFF000000u;
    return selectFill(f, side, hasAlpha);
}

int ShapeObject::matrixFill(uint32_t type, uint32_t key, const SwfMatrix& matrix, int side) {
    FillStyle f;
    f.type = type;
    f.bitmapId = key;
    f.matrix = matrix;
    return selectFill(f, side, false);
}

int ShapeObject::gradientFill(uint32_t type, const GradientStop* stops, size_t count,
                              const SwfMatrix& matrix, int side) {
    FillStyle f;
    f.type = type;
    f.matrix = matrix;
    f.stopCount = uint8_t(std::min<size_t>(count, std::size(f.stops)));
    bool alpha = false;
    for (size_t i = 0; i < f.stopCount; ++i) {
        f.stops[i] = stops[i];
        alpha = alpha || (stops[i].color >> 24) != 0xFF;
    }
    return selectFill(f, side, alpha);
}

int ShapeObject::clearFill(int side) {
    const int32_t s = side == kSideRight ? kSideRight : kSideLeft;
    if (!append(kCmdStyleFill, {-1, s})) return 0;
    currentFill_[s] = -1;
    return 1;
}

bool ShapeObject::sameContent(const MovieObject& other) const {
    if (other.type() != kTypeShape) return false;
    const auto& o = static_cast<const ShapeObject&>(other);
    auto sameCommand = [](const ShapeCommand& a, const ShapeCommand& b) {
        return a.code == b.code && std::equal(std::begin(a.args), std::end(a.args), b.args);
    };
    auto sameLine = [](const LineStyle& a, const LineStyle& b) {
        return a.color == b.color && a.width == b.width;
    };
    return std::equal(commands_.begin(), commands_.end(), o.commands_.begin(), o.commands_.end(),
                      sameCommand) &&
           std::equal(lineStyles_.begin(), lineStyles_.end(), o.lineStyles_.begin(),
                      o.lineStyles_.end(), sameLine) &&
           std::equal(fillStyles_.begin(), fillStyles_.end(), o.fillStyles_.begin(),
                      o.fillStyles_.end(), sameFill) &&
           usesAlpha() == o.usesAlpha();
}

uint32_t ShapeObject::contentHash() const {
    uint32_t reg = crc32UpdateU32(0xFFFFFFFFu, uint32_t(commands_.size()));
    auto feed = [&reg](int32_t v) { reg = crc32UpdateU32(reg, uint32_t(v)); };
    for (const auto& c : commands_) {
        switch (c.code) {
            case kCmdMove:
            case kCmdLine: feed(c.args[0]); feed(c.args[1]); break;
            case kCmdQuadratic: for (int i = 0; i < 4; ++i) feed(c.args[i]); break;
            case kCmdCubic: for (int i = 0; i < 6; ++i) feed(c.args[i]); break;
            case kCmdStyleLine:
                feed(c.args[0]);
                if (c.args[0] >= 0) {
                    const auto& s = lineStyles_[size_t(c.args[0])];
                    feed(int32_t(s.color));
                    feed(s.width);
                }
                break;
            case kCmdStyleFill:
                feed(c.args[0]);
                feed(c.args[1]);
                if (c.args[0] >= 0) {
                    const auto& f = fillStyles_[size_t(c.args[0])];
                    feed(int32_t(f.type));
                    if (f.type == kFillSolid) {
                        feed(int32_t(f.color));
                        break;
                    }
                    if (f.type == kFillTiledBitmap || f.type == kFillClippedBitmap) {
                        feed(int32_t(f.bitmapId));
                    } else {
                        feed(f.stopCount);
                        for (int i = 0; i < f.stopCount; ++i) {
                            feed(int32_t(f.stops[i].color));
                            feed(f.stops[i].ratio);
                        }
                    }
                    for (int32_t v : {f.matrix.scaleX, f.matrix.skew0, f.matrix.skew1,
                                      f.matrix.scaleY, f.matrix.translateX, f.matrix.translateY}) {
                        feed(v);
                    }
                }
                break;
            default: break;
        }
    }
    return reg;
}

void ShapeObject::dump(FILE* out, int indent) const {
    indentLine(out, indent);
    std::fprintf(out, "Shape numCommand=%u bounds=(%i %i %i %i)\n", unsigned(commands_.size()),
                 bounds.xMin, bounds.yMin, bounds.xMax, bounds.yMax);
    unsigned i = 0;
    for (const auto& c : commands_) {
        indentLine(out, indent + 1);
        std::fprintf(out, "%u ", i++);
        const int32_t* a = c.args;
        switch (c.code) {
            case kCmdMove: std::fprintf(out, "MOVE %i,%i", a[0], a[1]); break;
            case kCmdLine: std::fprintf(out, "LINE %i,%i", a[0], a[1]); break;
            case kCmdQuadratic: std::fprintf(out, "CURVE2 %i,%i %i,%i", a[0], a[1], a[2], a[3]); break;
            case kCmdCubic:
                std::fprintf(out, "CURVE3 %i,%i %i,%i %i,%i", a[0], a[1], a[2], a[3], a[4], a[5]);
                break;
            case kCmdStyleLine:
                std::fprintf(out, "STYLE_LINE id=%u", unsigned(a[0]));
                if (a[0] < 0) {
                    std::fputs(" reset", out);
                } else {
                    const auto& s = lineStyles_[size_t(a[0])];
                    std::fprintf(out, " color=%x width=%i", s.color, int(s.width));
                }
                break;
            case kCmdStyleFill:
                std::fprintf(out, "STYLE_FILL id=%u side=%s", unsigned(a[0]),
                             a[1] == kSideRight ? "right" : "left");
                if (a[0] < 0) {
                    std::fputs(" reset", out);
                } else {
                    const auto& f = fillStyles_[size_t(a[0])];
                    if (f.type == kFillSolid) {
                        std::fprintf(out, " SOLID color=%x", f.color);
                    } else if (f.type == kFillLinearGradient || f.type == kFillRadialGradient) {
                        std::fprintf(out, " GRADIENT_%s",
                                     f.type == kFillLinearGradient ? "LINEAR" : "RADIAL");
                    } else {
                        std::fprintf(out, " BITMAP_%s id=%u mat=",
                                     f.type == kFillTiledBitmap ? "TILED" : "CLIPPED", f.bitmapId);
                        dumpMatrix(out, f.matrix);
                    }
                }
                break;
            default: break;
        }
        std::fputc('\n', out);
    }
}

// ---------------------------------------------------------------------------

void MovieClipObject::reset() {
    MovieObject::reset();
    controls_.clear();
    frames_.clear();
    controls_.reserve(256);
    frames_.reserve(20);
    frameStart_ = 0;
    nextDepth_ = 1;
}

void MovieClipObject::compact() {
    controls_.shrink_to_fit();
    frames_.shrink_to_fit();
}

int MovieClipObject::collectDependencies(ByteBuffer& list) const {
    int added = 0;
    for (const auto& r : controls_) {
        if (r.type == kCtlPlace && (r.flags & place_flag::kHasId)) added += list.pushU32Unique(r.characterId);
    }
    return added;
}

bool MovieClipObject::append(ControlRecord&& record) {
    try {
        controls_.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return false;
    }
    return true;
}

int MovieClipObject::addPlace(const PlaceArgs& args) {
    ControlRecord r;
    r.type = kCtlPlace;
    r.flags = args.flags;
    r.depth = args.depth;
    r.characterId = args.characterId;
    r.object = args.object;
    try {
        if (args.instanceName) {
            r.text = args.instanceName;
            r.hasText = true;
        }
        if (args.data && args.dataLength) r.data.assign(args.data, args.data + args.dataLength);
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return 0;
    }
    if (args.matrix) r.matrix = *args.matrix;
    if (args.cxform) r.cxform = *args.cxform;
    r.ratio = args.ratio;
    r.clipDepth = args.clipDepth;
    return append(std::move(r)) ? 1 : 0;
}

int MovieClipObject::addRemove(uint32_t depth, bool hasId, uint32_t characterId) {
    ControlRecord r;
    r.type = kCtlRemove;
    r.depth = depth;
    r.flags = hasId ? 1 : 0;
    r.characterId = hasId ? characterId : 0;
    return append(std::move(r)) ? 1 : 0;
}

int MovieClipObject::addRef(uint32_t characterId, const char* exportName) {
    ControlRecord r;
    r.type = kCtlRef;
    r.characterId = characterId;
    if (exportName) {
        try {
            r.text = exportName;
        } catch (const std::bad_alloc&) {
            markIncomplete();
            return 0;
        }
        r.hasText = true;
    }
    return append(std::move(r)) ? 1 : 0;
}

int MovieClipObject::addShowFrame() {
    ControlRecord r;
    r.type = kCtlShowFrame;
    if (!append(std::move(r))) return 0;
    const auto size = uint32_t(controls_.size());
    try {
        frames_.push_back({frameStart_, size - frameStart_});
    } catch (const std::bad_alloc&) {
        markIncomplete();
        controls_.pop_back();
        return 0;
    }
    frameStart_ = size;
    return int(frames_.size());
}

int MovieClipObject::addLabel(const char* label) {
    ControlRecord r;
    r.type = kCtlLabel;
    try {
        r.text = label ? label : "";
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return 0;
    }
    r.hasText = true;
    return append(std::move(r)) ? 1 : 0;
}

int MovieClipObject::addEnd() {
    ControlRecord r;
    r.type = kCtlEnd;
    if (!append(std::move(r))) return 0;
    return int(frames_.size());
}

int MovieClipObject::addMeta(uint32_t metaType, std::vector<uint8_t> data) {
    ControlRecord r;
    r.type = kCtlMeta;
    r.metaType = metaType;
    r.data = std::move(data);
    return append(std::move(r)) ? 1 : 0;
}

void MovieClipObject::dump(FILE* out, int indent) const {
    indentLine(out, indent);
    std::fprintf(out, "MovieClip numControl=%u\n", unsigned(controls_.size()));
    unsigned i = 0;
    for (const auto& r : controls_) {
        indentLine(out, indent + 1);
        std::fprintf(out, "%u ", i++);
        switch (r.type) {
            case kCtlPlace:
                std::fprintf(out, "PLACE depth=%u flags=%x", r.depth, r.flags);
                if (r.flags & place_flag::kHasId) std::fprintf(out, " id=%u", r.characterId);
                if (r.object) std::fprintf(out, " objType=%s", objectTypeName(r.object->type()));
                if (r.flags & place_flag::kMove) std::fputs(" hasMOVE", out);
                if (r.flags & place_flag::kHasName) std::fprintf(out, " instance=\"%s\"", r.text.c_str());
                if (r.flags & place_flag::kHasMatrix) {
                    std::fputs(" mat=", out);
                    dumpMatrix(out, r.matrix);
                }
                if (r.flags & place_flag::kHasCxform) std::fputs(" hasCX_FORM", out);
                if (r.flags & place_flag::kHasRatio) std::fprintf(out, " ratio=%u", r.ratio);
                if (r.flags & place_flag::kHasClipDepth) std::fprintf(out, " clipDepth=%u", r.clipDepth);
                break;
            case kCtlRemove:
                std::fprintf(out, "REMOVE depth=%u", r.depth);
                if (r.flags) std::fprintf(out, " id=%u", r.characterId);
                break;
            case kCtlRef:
                std::fprintf(out, "REF id=%u", r.characterId);
                if (r.hasText) std::fprintf(out, " exportName=%s", r.text.c_str());
                break;
            case kCtlShowFrame: std::fputs("SHOW_FRAME", out); break;
            case kCtlLabel: std::fprintf(out, "LABEL %s", r.text.c_str()); break;
            case kCtlEnd: std::fputs("END", out); break;
            case kCtlMeta: std::fprintf(out, "META type=%u", r.metaType); break;
            default: break;
        }
        std::fputc('\n', out);
    }
}

}  // namespace tessaly
