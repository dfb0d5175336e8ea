#pragma once
// The device context's own state (one per DeviceContext).

#include <memory>
#include <string>
#include <vector>

#include "context_internal.h"

namespace tessaly::gdi {

struct DcState {
    Transform world;
    Pen pen;
    Brush brush;
    std::shared_ptr<const Pixels> pattern;
    FillMode fillMode = FillMode::Alternate;
    int mix = R2_COPYPEN;
    Color textColor = 0x000000;
    Color background = 0xFFFFFF;
    BackgroundMode backgroundMode = BackgroundMode::Opaque;
    LOGFONTW font{};
    TextAlignX alignX = TextAlignX::Left;
    TextAlignY alignY = TextAlignY::Top;
    bool clipped = false;
    Region clip;  // page pixels, when clipped
    std::shared_ptr<const ClipPath> clipPath;
    PointD position;  // current position, world coordinates
};

struct DeviceContext::Impl {
    explicit Impl(PrinterDevice::Impl& device);

    PrinterDevice::Impl& device;
    Player player;
    std::string error;
    bool inDoc = false;
    bool inPage = false;
    bool pageFailed = false;
    std::vector<DrawOp> page;  // the recorded page of a banding surface

    DcState state;
    std::vector<DcState> saved;

    enum class PathState { None, Open, Closed };
    PathState pathState = PathState::None;
    DevicePath path;
    bool figureOpen = false;

    // Fonts realized lately (realizing one asks the font layer to find the
    // face), most recent last.
    std::vector<std::pair<FontRequest, std::shared_ptr<FontObject>>> fonts;
    std::shared_ptr<FontObject> realize(const FontRequest& request);

    bool fail(const std::string& what);
    [[nodiscard]] DeviceRect pageRect() const;
    [[nodiscard]] Region effectiveClip() const;
    // Clips, records or plays one operation.
    bool submit(DrawOp&& op);
    bool playBands();
    bool combineClip(const Region& region, std::shared_ptr<const ClipPath> path, ClipCombine combine);
    Figure& figure();
    bool usePath(DevicePath* out);
    bool shape(DevicePath&& shapePath, bool fillIt);
    bool draw(DevicePath&& path, bool fillIt, bool strokeIt);
    // The destination corners of a world rectangle; false when degenerate.
    bool corners(const RectD& dest, DrawOp* op);
};

// A checked copy of a caller's bitmap (8 bits with palette, 24 or 32 bits);
// null with a reason in *error for a bad one.
std::shared_ptr<Pixels> copyPixels(const BitmapView& view, std::string* error);

}  // namespace tessaly::gdi
