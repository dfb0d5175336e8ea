#pragma once
// Filling the engine's driver-interface objects from the device context's
// plain values, for one call. Everything here is in band-relative device
// coordinates.

#include <memory>
#include <vector>

#include "../engine/engine_objects.h"
#include "geometry.h"
#include "region.h"

namespace tessaly::gdi {

struct Pixels;

// A PATHOBJ of a device path (FIX 28.4).
std::unique_ptr<PathObject> makePath(const DevicePath& path);

// A device path of a PATHOBJ's records, moved by (dx, dy) FIX units.
DevicePath fromPathObject(const PathObject& path, FIX dx, FIX dy);

// The clip of a call: DC_TRIVIAL when the region holds all of `drawBounds`,
// DC_RECT for one rectangle, DC_COMPLEX otherwise; with a clip path,
// enumerable as TC_PATHOBJ too.
void setClip(ClipObject& clip, const Region& region, const DeviceRect& drawBounds,
             const DevicePath* clipPath = nullptr);
// A region handed over as the shape itself: never trivial.
void setShapeClip(ClipObject& clip, const Region& region);

// Solid colours are 0x00RRGGBB (the surface's format).
void setSolid(BrushObject& brush, Color color);
void setBrush(BrushObject& brush, const Brush& selected, const Pixels* pattern, Color background,
              bool transparentBackground);

// Colour translation of a source bitmap (a palette for 8 bits).
void setSource(XlateObject& xlate, const Pixels& source);

XFORML toXforml(const Transform& t);

// A source bitmap as an engine surface (a copy of the pixels).
class SourceSurface {
public:
    explicit SourceSurface(const Pixels& pixels);
    ~SourceSurface();
    SourceSurface(const SourceSurface&) = delete;
    SourceSurface& operator=(const SourceSurface&) = delete;
    [[nodiscard]] SURFOBJ* get() const { return surface_; }

private:
    HSURF handle_ = nullptr;
    SURFOBJ* surface_ = nullptr;
};

}  // namespace tessaly::gdi
