#include "capture.h"

#include "blit_ops.h"

#include <algorithm>

#include "bitmap_table.h"
#include "image_element.h"
#include "job_writer.h"
#include "pixel_rows.h"

namespace tessaly::pagesmith {

int captureRect(DriverDevice& device, const SURFOBJ* surface, RECTL rect, const ClipView* clip) {
    if (!surface) return 0;
    const ClipView* kept = nullptr;
    if (clip && (clip->complexity == DC_RECT || clip->complexity == DC_COMPLEX)) {
        rect.left = std::max(rect.left, clip->bounds.left);
        rect.top = std::max(rect.top, clip->bounds.top);
        rect.right = std::min(rect.right, clip->bounds.right);
        rect.bottom = std::min(rect.bottom, clip->bounds.bottom);
        if (clip->complexity == DC_COMPLEX) kept = clip;
    }
    const LONG w = surface->sizlBitmap.cx, h = surface->sizlBitmap.cy;
    rect.left = std::clamp<LONG>(rect.left, 0, w);
    rect.right = std::clamp<LONG>(rect.right, 0, w);
    rect.top = std::clamp<LONG>(rect.top, 0, h);
    rect.bottom = std::clamp<LONG>(rect.bottom, 0, h);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return 1;

    const auto rows = readRows(surface, std::nullopt, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top);
    if (!rows) return 0;
    const std::string name = imageForRows(device, *rows);
    ImageElement image;
    image.options = {true, true, false};
    image.name = name;
    image.x = FIX(rect.left) * 16;
    image.y = FIX(rect.top) * 16;
    image.width = FIX(rows->width) * 16;
    image.height = FIX(rows->height) * 16;
    image.clip = kept;
    std::string out;
    writeImageElement(out, image, device.bandY);
    (void)writeMarkup(device, out);
    return 1;
}

int captureFallback(DriverDevice& device, const RECTL& bounds, CLIPOBJ* clip) {
    SURFOBJ* surface = EngLockSurface(device.surface);
    if (!surface) return 0;
    const ClipView view = clipViewOf(clip);
    const int captured = captureRect(device, surface, bounds, &view);
    EngUnlockSurface(surface);
    return captured;
}

}  // namespace tessaly::pagesmith
