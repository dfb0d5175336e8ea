#pragma once
// The translation of block transfers into markup: flat-colour blits become
// rectangles, bitmaps become Image elements over the job's image files. Each
// translator works on the call's plain values and appends markup to `out`;
// it says whether the call was translated or has to fall back to a captured
// image. The hooks (blit_hooks.cpp) render every call with the engine.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clip_view.h"
#include "device.h"
#include "platform/winddi.h"

namespace tessaly::pagesmith {

enum class BlitResult { kTranslated, kFallBack };


// The clip of a call as the bitmap writers see it. The rectangle list of a
// region is enumerated from the clip object itself.
ClipView clipViewOf(CLIPOBJ* clip);

struct BitBltCall {
    const SURFOBJ* source = nullptr;
    bool hasMask = false;
    const ClipView* clip = nullptr;
    std::optional<std::vector<uint32_t>> colours;  // the source's colour table (0x00RRGGBB)
    const RECTL* target = nullptr;
    POINTL sourcePoint{};
    std::optional<uint32_t> brushColour = 0;  // nothing for a brush that is not solid
    uint8_t rop = 0;
};
BlitResult translateBitBlt(DriverDevice& device, const BitBltCall& call, std::string& out);

struct StretchBltCall {
    const SURFOBJ* source = nullptr;
    bool hasMask = false;
    const ClipView* clip = nullptr;
    std::optional<std::vector<uint32_t>> colours;
    RECTL target{};
    RECTL sourceRect{};
};
BlitResult translateStretchBlt(DriverDevice& device, const StretchBltCall& call, std::string& out);

struct PlgBltCall {
    const SURFOBJ* source = nullptr;
    bool hasMask = false;
    const ClipView* clip = nullptr;
    std::optional<std::vector<uint32_t>> colours;
    POINTFIX points[3]{};  // top-left, top-right, bottom-left
    const RECTL* sourceRect = nullptr;
};
BlitResult translatePlgBlt(DriverDevice& device, const PlgBltCall& call, std::string& out);
// Whether the parallelogram is more than the source moved: turned, sheared,
// mirrored or scaled, so that the image is written with a matrix.
bool plgTurnsOrScales(const PlgBltCall& call);
// The pixels a parallelogram blit may touch: the bounding box of its corners.
RECTL plgBounds(const POINTFIX points[3]);

// A bitmap's rows written as an image at the target's top-left with both sizes
// and the clip as mask; false when the rows cannot be read.
bool writeBitmapImage(DriverDevice& device, const SURFOBJ* source,
                      const std::optional<std::vector<uint32_t>>& colours, POINTL sourcePoint, const RECTL& target,
                      const ClipView* clip, std::string& out);

}  // namespace tessaly::pagesmith
