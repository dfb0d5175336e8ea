#pragma once
// A 24-bit top-down engine bitmap for renderer tests, with pixel access and
// small builders for paths.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "engine_objects.h"
#include "platform/winddi.h"

namespace tessaly::gdi::testing {

inline POINTFIX fx(double x, double y) {
    return POINTFIX{static_cast<FIX>(x * 16), static_cast<FIX>(y * 16)};
}

class Canvas {
public:
    Canvas(LONG width, LONG height, ULONG format = BMF_24BPP) {
        handle_ = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{width, height}, 0, format, BMF_TOPDOWN, nullptr));
        so_ = EngLockSurface(handle_);
        if (so_ && format == BMF_24BPP) EngEraseSurface(so_, nullptr, 0xFFFFFF);
    }
    ~Canvas() {
        if (so_) EngUnlockSurface(so_);
        if (handle_) EngDeleteSurface(handle_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    SURFOBJ* so() const { return so_; }
    HSURF handle() const { return handle_; }
    // 0x00RRGGBB of a 24-bit pixel.
    uint32_t at(LONG x, LONG y) const {
        const auto* row = static_cast<const uint8_t*>(so_->pvScan0) + static_cast<ptrdiff_t>(y) * so_->lDelta;
        return row[3 * x] | (row[3 * x + 1] << 8) | (static_cast<uint32_t>(row[3 * x + 2]) << 16);
    }
    void set(LONG x, LONG y, uint32_t rgb) {
        auto* row = static_cast<uint8_t*>(so_->pvScan0) + static_cast<ptrdiff_t>(y) * so_->lDelta;
        row[3 * x] = static_cast<uint8_t>(rgb);
        row[3 * x + 1] = static_cast<uint8_t>(rgb >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(rgb >> 16);
    }
    // Pixels of one colour inside a rectangle.
    int count(uint32_t rgb, LONG left = 0, LONG top = 0, LONG right = -1, LONG bottom = -1) const {
        if (right < 0) right = so_->sizlBitmap.cx;
        if (bottom < 0) bottom = so_->sizlBitmap.cy;
        int n = 0;
        for (LONG y = top; y < bottom; ++y) {
            for (LONG x = left; x < right; ++x) n += at(x, y) == rgb;
        }
        return n;
    }
    // Bounding box of pixels that are not white; empty when none.
    RECTL inkBox() const {
        RECTL box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (LONG y = 0; y < so_->sizlBitmap.cy; ++y) {
            for (LONG x = 0; x < so_->sizlBitmap.cx; ++x) {
                if (at(x, y) == 0xFFFFFF) continue;
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
        if (box.left == INT32_MAX) box = RECTL{0, 0, 0, 0};
        return box;
    }

private:
    HSURF handle_ = nullptr;
    SURFOBJ* so_ = nullptr;
};

// A closed polygon path of pixel coordinates.
inline void polygon(PathObject& path, std::initializer_list<std::pair<double, double>> points) {
    bool first = true;
    for (const auto& [x, y] : points) {
        if (first) {
            path.moveTo(fx(x, y));
            first = false;
        } else {
            path.lineTo(fx(x, y));
        }
    }
    path.closeFigure();
}

}  // namespace tessaly::gdi::testing
