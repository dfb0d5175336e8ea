#pragma once
// The movie objects the interpreter builds and the SWF encoder writes:
// shapes, movie clips (and, later, bitmaps, fonts and texts). Coordinates are
// twips; matrices hold 16.16 scale/skew and twip translations.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/byte_buffer.h"
#include "swf/swf_types.h"

namespace tessaly {

enum ObjectType : uint32_t {
    kTypeNone = 0,
    kTypeBitmap = 1,
    kTypeShape = 2,
    kTypeFont = 3,
    kTypeText = 4,
    kTypeMovieClip = 5,
    kTypeRaw = 64,
};

// "none", "shape", ... or "unknown type".
const char* objectTypeName(uint32_t type);

// A bounding box; empty until the first point is added.
struct Bounds {
    static constexpr int32_t kEmptyMin = 0x1FFFFFFF;
    static constexpr int32_t kEmptyMax = int32_t(0xE0000000);
    int32_t xMin = kEmptyMin, xMax = kEmptyMax, yMin = kEmptyMin, yMax = kEmptyMax;

    bool empty() const { return xMin > xMax || yMin > yMax; }
    void clear() { *this = Bounds{}; }
    void addPoint(int32_t x, int32_t y) {
        if (x < xMin) xMin = x;
        if (x > xMax) xMax = x;
        if (y < yMin) yMin = y;
        if (y > yMax) yMax = y;
    }
    // Adds the point widened by `half` on every side.
    void addPoint(int32_t x, int32_t y, int32_t half) {
        addPoint(x - half, y - half);
        addPoint(x + half, y + half);
    }
    void addBox(const Bounds& b) {
        if (b.empty()) return;
        addPoint(b.xMin, b.yMin);
        addPoint(b.xMax, b.yMax);
    }
    friend bool operator==(const Bounds&, const Bounds&) = default;
};

class MovieObject {
public:
    explicit MovieObject(uint32_t type) : type_(type) {}
    virtual ~MovieObject() = default;
    MovieObject(const MovieObject&) = delete;
    MovieObject& operator=(const MovieObject&) = delete;

    // Empties the object and returns it to its freshly constructed state.
    virtual void reset();
    // Appends the ids of the characters to define first to the unique id list;
    // returns how many were added.
    virtual int collectDependencies(ByteBuffer& list) const;
    // Prints the object for diagnostics, indented by `indent` levels of two spaces.
    virtual void dump(FILE* out, int indent) const;
    // True when `other` would be written as the same character (the
    // dictionary shares such objects). Objects without comparable content are
    // never the same as another.
    virtual bool sameContent(const MovieObject& other) const;
    // Gives back the spare room of the object's lists (the dictionary calls
    // it when it takes the object over: a movie holds many small objects
    // until it is written). Growing again afterwards works as before.
    virtual void compact() {}

    uint32_t type() const { return type_; }
    // True once memory ran out while the object was being built: something
    // asked of it was not stored, so it must not be written as if whole.
    // Sticky until reset(); builders may ignore their results and leave the
    // check to whoever writes the object.
    bool incomplete() const { return incomplete_; }
    int32_t id = -1;
    Bounds bounds;
    // Coordinates given to a shape are clamped to [low, high - 1].
    int32_t clampXLow = -32767, clampXHigh = 32767, clampYLow = -32767, clampYHigh = 32767;

protected:
    static void indentLine(FILE* out, int indent);
    void markIncomplete() { incomplete_ = true; }

private:
    uint32_t type_;
    bool incomplete_ = false;
};

// ---------------------------------------------------------------------------
// Shapes

enum ShapeCommandCode : uint32_t {
    kCmdMove = 0,       // x, y
    kCmdLine = 1,       // x, y
    kCmdQuadratic = 2,  // control x, y, anchor x, y (dumped as CURVE2)
    kCmdCubic = 4,      // control 1 x, y, control 2 x, y, anchor x, y (dumped as CURVE3)
    kCmdStyleLine = 8,
    kCmdStyleFill = 16,
};

struct ShapeCommand {
    uint32_t code;
    int32_t args[6];
};

struct LineStyle {
    uint32_t color;  // 0xAARRGGBB
    uint16_t width;  // twips
};

enum FillType : uint32_t {
    kFillSolid = 0,
    kFillLinearGradient = 1,
    kFillRadialGradient = 2,
    kFillTiledBitmap = 4,
    kFillClippedBitmap = 8,
};

struct GradientStop {
    uint32_t color;  // 0xAARRGGBB
    uint8_t ratio;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

struct FillStyle {
    uint32_t type = kFillSolid;
    uint32_t color = 0;     // solid fills
    uint32_t bitmapId = 0;  // bitmap fills
    SwfMatrix matrix;       // bitmap and gradient fills
    GradientStop stops[8] = {};
    uint8_t stopCount = 0;
};

enum FillSide : int32_t { kSideLeft = 0, kSideRight = 1 };

class ShapeObject : public MovieObject {
public:
    ShapeObject() : MovieObject(kTypeShape) { reset(); }

    void reset() override;
    int collectDependencies(ByteBuffer& list) const override;
    void dump(FILE* out, int indent) const override;
    // The same commands and styles.
    bool sameContent(const MovieObject& other) const override;
    void compact() override;

    // Construction; each returns 1, or 0 when memory runs out (the shape is
    // then unchanged and marked incomplete).
    int moveTo(int32_t x, int32_t y);
    int moveToAlways(int32_t x, int32_t y);  // appends even when at the pen
    int lineTo(int32_t x, int32_t y);
    int lineBy(int32_t dx, int32_t dy);
    int quadraticTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    int cubicTo(int32_t c1x, int32_t c1y, int32_t c2x, int32_t c2y, int32_t ax, int32_t ay);
    // Four relative lines from the pen: clockwise (right, down, left, up) when
    // winding is 1, otherwise down, right, up, left.
    int rectangle(int32_t width, int32_t height, int winding);
    int rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int winding);
    // Selects (reusing or appending) a line style; returns its index or -1.
    int lineStyle(uint32_t color, uint16_t width, bool hasAlpha);
    int clearLineStyle();
    int solidFill(uint32_t color, int side, bool hasAlpha);
    int matrixFill(uint32_t type, uint32_t key, const SwfMatrix& matrix, int side);
    // A linear or radial gradient of up to 8 stops (more are dropped).
    int gradientFill(uint32_t type, const GradientStop* stops, size_t count, const SwfMatrix& matrix,
                     int side);
    int clearFill(int side);

    // CRC-32 over the commands and every field of the styles they select;
    // equal shapes hash alike (the dictionary's key; sameContent decides).
    uint32_t contentHash() const;
    bool isEmpty() const { return bounds.empty(); }

    const std::vector<ShapeCommand>& commands() const { return commands_; }
    const std::vector<LineStyle>& lineStyles() const { return lineStyles_; }
    const std::vector<FillStyle>& fillStyles() const { return fillStyles_; }
    bool usesAlpha() const { return lineAlpha_ || fillAlpha_; }
    const Bounds& pathBounds() const { return pathBounds_; }
    int32_t penX() const { return penX_; }
    int32_t penY() const { return penY_; }

private:
    void clampPoint(int32_t& x, int32_t& y) const;
    int32_t halfLineWidth() const;
    [[nodiscard]] bool append(uint32_t code, std::initializer_list<int32_t> args);
    // Reuses an identical fill style or appends one, then selects it for the side.
    [[nodiscard]] int selectFill(const FillStyle& fill, int side, bool hasAlpha);

    std::vector<LineStyle> lineStyles_;
    std::vector<FillStyle> fillStyles_;
    std::vector<ShapeCommand> commands_;
    int32_t penX_ = 0, penY_ = 0;
    int32_t currentLine_ = -1;
    int32_t currentFill_[2] = {-1, -1};
    bool lineAlpha_ = false, fillAlpha_ = false;
    Bounds pathBounds_;
};

// ---------------------------------------------------------------------------
// Movie clips

enum ControlType : uint32_t {
    kCtlPlace = 1,
    kCtlRemove = 2,
    kCtlRef = 3,
    kCtlShowFrame = 4,
    kCtlLabel = 5,
    kCtlEnd = 8,
    kCtlMeta = 9,
};

struct ControlRecord {
    uint32_t type = 0;
    uint32_t flags = 0;       // PLACE flags; for REMOVE, nonzero = has id
    uint32_t depth = 0;
    uint32_t characterId = 0;
    MovieObject* object = nullptr;  // not owned
    std::string text;         // instance name, label or export name
    bool hasText = false;
    SwfMatrix matrix;
    SwfCxform cxform;
    uint32_t ratio = 0;
    uint32_t clipDepth = 0;
    uint32_t metaType = 0;
    std::vector<uint8_t> data;  // attached data (PLACE) or META bytes
};

// The arguments of a PLACE record.
struct PlaceArgs {
    uint32_t flags = 0;
    uint32_t depth = 0;
    uint32_t characterId = 0;
    MovieObject* object = nullptr;
    const char* instanceName = nullptr;
    const SwfMatrix* matrix = nullptr;
    const SwfCxform* cxform = nullptr;
    uint32_t ratio = 0;
    uint32_t clipDepth = 0;
    const uint8_t* data = nullptr;
    uint32_t dataLength = 0;
};

struct FrameSpan {
    uint32_t first;  // index of the frame's first control record
    uint32_t count;  // records in the frame, its SHOW_FRAME included
};

class MovieClipObject : public MovieObject {
public:
    MovieClipObject() : MovieObject(kTypeMovieClip) { reset(); }

    void reset() override;
    int collectDependencies(ByteBuffer& list) const override;
    void dump(FILE* out, int indent) const override;
    void compact() override;

    // Each returns 1 (or the frame count where stated), 0 when memory runs out
    // (the clip is then marked incomplete).
    int addPlace(const PlaceArgs& args);
    int addRemove(uint32_t depth, bool hasId, uint32_t characterId);
    int addRef(uint32_t characterId, const char* exportName);
    int addShowFrame();  // returns the new frame count
    int addLabel(const char* label);
    int addEnd();  // returns the frame count
    int addMeta(uint32_t metaType, std::vector<uint8_t> data);

    uint32_t nextDepth() { return nextDepth_++; }
    uint32_t lastDepth() const { return nextDepth_ - 1; }

    const std::vector<ControlRecord>& controls() const { return controls_; }
    const std::vector<FrameSpan>& frames() const { return frames_; }
    uint32_t frameCount() const { return uint32_t(frames_.size()); }

private:
    [[nodiscard]] bool append(ControlRecord&& record);

    std::vector<ControlRecord> controls_;
    std::vector<FrameSpan> frames_;
    uint32_t frameStart_ = 0;  // first record of the frame being built
    uint32_t nextDepth_ = 1;
};

// Prints a matrix as "[%g %g %g %g %g %g]".
void dumpMatrix(FILE* out, const SwfMatrix& m);

}  // namespace tessaly
