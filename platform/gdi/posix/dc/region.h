#pragma once
// Pixel regions of the device context (clip regions, the area a declined
// fill covers): sets of device pixels kept as pixman regions, and the
// rasterisation of polygons into them (a pixel belongs to a polygon when
// its centre is inside, with the top and left edges inclusive).

#include <pixman.h>

#include <span>
#include <vector>

#include "platform/device_context.h"

namespace tessaly::gdi {

class Region {
public:
    Region();
    explicit Region(const DeviceRect& r);
    Region(const Region& other);
    Region& operator=(const Region& other);
    ~Region();

    static Region fromRects(std::span<const DeviceRect> rects);
    // Polygons in device pixels, filled with the alternate (even-odd) or
    // winding rule, limited to `limit`.
    static Region fromPolygons(const std::vector<std::vector<PointD>>& polygons, bool winding,
                               const DeviceRect& limit);

    [[nodiscard]] bool empty() const;
    [[nodiscard]] DeviceRect bounds() const;
    [[nodiscard]] size_t rectCount() const;
    [[nodiscard]] std::vector<DeviceRect> rects() const;
    [[nodiscard]] bool contains(const DeviceRect& r) const;  // every pixel of r is inside
    [[nodiscard]] bool operator==(const Region& other) const;

    void intersect(const Region& other);
    void unite(const Region& other);
    void subtract(const Region& other);
    void exclusiveOr(const Region& other);
    void translate(int dx, int dy);

    [[nodiscard]] const pixman_region32_t* native() const { return &region_; }

private:
    pixman_region32_t region_;
};

}  // namespace tessaly::gdi
