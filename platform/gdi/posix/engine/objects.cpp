// Brushes, colour translations and transforms, and their DDI services.

#include <cmath>
#include <cstring>
#include <new>

#include "engine_objects.h"
#include "raster.h"
#include "registry.h"

namespace tessaly::gdi {

// ---------------------------------------------------------------------------
BrushObject::BrushObject() : BRUSHOBJ{0, nullptr, 0} { liveSet<BrushObject>().add(static_cast<BRUSHOBJ*>(this)); }

BrushObject::BrushObject(ULONG solidColor) : BrushObject() {
    iSolidColor = solidColor;
    colorref_ = swapRedBlue(solidColor);
}

BrushObject::~BrushObject() {
    liveSet<BrushObject>().remove(static_cast<BRUSHOBJ*>(this));
    dropPattern();
}

BrushObject* BrushObject::fromBrushobj(const BRUSHOBJ* pbo) {
    if (!liveSet<BrushObject>().contains(pbo)) return nullptr;
    return static_cast<BrushObject*>(const_cast<BRUSHOBJ*>(pbo));
}

void BrushObject::dropPattern() {
    if (pattern_) pixman_image_unref(pattern_);
    pattern_ = nullptr;
    patternBits_.clear();
    patternWidth_ = patternHeight_ = 0;
    hatch_ = 0xFFFFFFFF;
    realization_.reset();
    pvRbrush = nullptr;
}

void BrushObject::setSolid(ULONG deviceColor, ULONG colorref) {
    dropPattern();
    iSolidColor = deviceColor;
    colorref_ = colorref & 0xFFFFFF;
}

void BrushObject::setPattern(const uint8_t* bgr, LONG width, LONG height, LONG stride) {
    dropPattern();
    if (!bgr || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        iSolidColor = 0;
        return;
    }
    patternBits_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (LONG y = 0; y < height; ++y) {
        const uint8_t* row = bgr + static_cast<ptrdiff_t>(y) * stride;
        for (LONG x = 0; x < width; ++x) {
            patternBits_[static_cast<size_t>(y) * width + x] =
                0xFF000000u | (static_cast<uint32_t>(row[3 * x + 2]) << 16) |
                (static_cast<uint32_t>(row[3 * x + 1]) << 8) | row[3 * x];
        }
    }
    patternWidth_ = width;
    patternHeight_ = height;
    pattern_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, patternBits_.data(), width * 4);
    pixman_image_set_repeat(pattern_, PIXMAN_REPEAT_NORMAL);
    iSolidColor = 0xFFFFFFFF;
    colorref_ = swapRedBlue(patternBits_[0] & 0xFFFFFF);
}

void BrushObject::setHatch(ULONG style, ULONG foreRgb, ULONG backRgb, bool transparent) {
    static const uint8_t kHatches[6][8] = {
        {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // horizontal
        {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
        {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
        {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // cross
        {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
    };
    dropPattern();
    if (style > 5) style = 0;
    patternBits_.resize(64);
    const uint32_t fore = 0xFF000000u | (foreRgb & 0xFFFFFF);
    const uint32_t back = transparent ? 0u : 0xFF000000u | (backRgb & 0xFFFFFF);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) patternBits_[y * 8 + x] = (kHatches[style][y] & (0x80 >> x)) ? fore : back;
    }
    patternWidth_ = patternHeight_ = 8;
    pattern_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, 8, 8, patternBits_.data(), 32);
    pixman_image_set_repeat(pattern_, PIXMAN_REPEAT_NORMAL);
    hatch_ = style;
    iSolidColor = 0xFFFFFFFF;
    colorref_ = swapRedBlue(foreRgb & 0xFFFFFF);
}

void* BrushObject::allocRealization(ULONG bytes) {
    realization_.reset(new (std::nothrow) uint8_t[bytes ? bytes : 1]);
    if (realization_) std::memset(realization_.get(), 0, bytes ? bytes : 1);
    pvRbrush = realization_.get();
    return pvRbrush;
}

// ---------------------------------------------------------------------------
XlateObject::XlateObject() : XLATEOBJ{} {
    flXlate = XO_TRIVIAL;
    iSrcType = PAL_BGR;
    iDstType = PAL_BGR;
    liveSet<XlateObject>().add(static_cast<XLATEOBJ*>(this));
}

XlateObject::XlateObject(const Palette* source, const Palette* target) : XlateObject() {
    if (source) {
        sourceMode_ = source->mode();
        if (sourceMode_ == PAL_INDEXED) sourceColors_ = source->colors();
    }
    if (target) {
        targetMode_ = target->mode();
        if (targetMode_ == PAL_INDEXED) targetColors_ = target->colors();
    }
    build();
}

XlateObject::~XlateObject() { liveSet<XlateObject>().remove(static_cast<XLATEOBJ*>(this)); }

XlateObject* XlateObject::fromXlateobj(const XLATEOBJ* pxlo) {
    if (!liveSet<XlateObject>().contains(pxlo)) return nullptr;
    return static_cast<XlateObject*>(const_cast<XLATEOBJ*>(pxlo));
}

void XlateObject::setSourceColors(const ULONG* colorrefs, ULONG count) {
    sourceMode_ = PAL_INDEXED;
    sourceColors_.assign(colorrefs, colorrefs + (colorrefs ? count : 0));
    build();
}

namespace {
ULONG fromColorrefIn(ULONG mode, const std::vector<ULONG>& colors, ULONG colorref) {
    switch (mode) {
        case PAL_INDEXED: return nearestIndex(colors, colorref);
        case PAL_RGB: return colorref & 0xFFFFFF;
        default: return swapRedBlue(colorref);
    }
}
ULONG toColorrefIn(ULONG mode, const std::vector<ULONG>& colors, ULONG color) {
    switch (mode) {
        case PAL_INDEXED: return color < colors.size() ? colors[color] & 0xFFFFFF : 0;
        case PAL_RGB: return color & 0xFFFFFF;
        default: return swapRedBlue(color & 0xFFFFFF);
    }
}
}  // namespace

void XlateObject::build() {
    iSrcType = static_cast<USHORT>(sourceMode_);
    iDstType = static_cast<USHORT>(targetMode_);
    table_.clear();
    if (sourceMode_ == PAL_INDEXED) {
        table_.reserve(sourceColors_.size());
        for (ULONG c : sourceColors_) table_.push_back(fromColorrefIn(targetMode_, targetColors_, c));
        flXlate = XO_TABLE;
        cEntries = static_cast<ULONG>(table_.size());
        pulXlate = table_.data();
    } else {
        flXlate = sourceMode_ == targetMode_ && targetMode_ != PAL_INDEXED ? XO_TRIVIAL : 0;
        cEntries = 0;
        pulXlate = nullptr;
    }
}

ULONG XlateObject::translate(ULONG color) const {
    if (flXlate & XO_TRIVIAL) return color;
    if (flXlate & XO_TABLE) return color < table_.size() ? table_[color] : 0;
    return fromColorrefIn(targetMode_, targetColors_, toColorrefIn(sourceMode_, sourceColors_, color));
}

// ---------------------------------------------------------------------------
XformObject::XformObject() : XFORMOBJ{0} { liveSet<XformObject>().add(static_cast<XFORMOBJ*>(this)); }

XformObject::XformObject(const XFORML& matrix) : XformObject() { matrix_ = matrix; }

XformObject::~XformObject() { liveSet<XformObject>().remove(static_cast<XFORMOBJ*>(this)); }

XformObject* XformObject::fromXformobj(const XFORMOBJ* pxo) {
    if (!liveSet<XformObject>().contains(pxo)) return nullptr;
    return static_cast<XformObject*>(const_cast<XFORMOBJ*>(pxo));
}

ULONG XformObject::complexity() const {
    const XFORML& m = matrix_;
    if (m.eM12 != 0 || m.eM21 != 0) return GX_GENERAL;
    if (m.eM11 != 1 || m.eM22 != 1) return GX_SCALE;
    if (m.eDx != 0 || m.eDy != 0) return GX_OFFSET;
    return GX_IDENTITY;
}

bool XformObject::apply(ULONG mode, ULONG count, const void* in, void* out) const {
    if (!in || !out) return count == 0;
    const XFORML& m = matrix_;
    const double det = static_cast<double>(m.eM11) * m.eM22 - static_cast<double>(m.eM12) * m.eM21;
    const bool inverse = mode == XF_INV_LTOL || mode == XF_INV_FXTOL;
    if (inverse && det == 0) return false;
    const double inScale = mode == XF_INV_FXTOL ? 1.0 / 16 : 1.0;
    const double outScale = mode == XF_LTOFX ? 16.0 : 1.0;
    if (mode > XF_INV_FXTOL) return false;
    for (ULONG i = 0; i < count; ++i) {
        // POINTL and POINTFIX share one layout.
        const auto* p = static_cast<const POINTL*>(in) + i;
        const double x = p->x * inScale, y = p->y * inScale;
        double tx = 0, ty = 0;
        if (!inverse) {
            tx = x * m.eM11 + y * m.eM21 + m.eDx;
            ty = x * m.eM12 + y * m.eM22 + m.eDy;
        } else {
            const double ux = x - m.eDx, uy = y - m.eDy;
            tx = (ux * m.eM22 - uy * m.eM21) / det;
            ty = (uy * m.eM11 - ux * m.eM12) / det;
        }
        tx *= outScale;
        ty *= outScale;
        if (!(std::fabs(tx) < 2147483647.0 && std::fabs(ty) < 2147483647.0)) return false;
        auto* o = static_cast<POINTL*>(out) + i;
        o->x = static_cast<LONG>(std::lround(tx));
        o->y = static_cast<LONG>(std::lround(ty));
    }
    return true;
}

}  // namespace tessaly::gdi

using tessaly::gdi::BrushObject;
using tessaly::gdi::XformObject;
using tessaly::gdi::XlateObject;

namespace {
typedef WINBOOL(APIENTRY* PFN_RealizeBrush)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
}

extern "C" {

WIN32KAPI PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
    BrushObject* brush = BrushObject::fromBrushobj(pbo);
    return brush ? brush->allocRealization(cj) : nullptr;
}

WIN32KAPI PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
    BrushObject* brush = BrushObject::fromBrushobj(pbo);
    if (!brush) return nullptr;
    if (brush->pvRbrush || brush->isSolid() || !brush->pattern()) return brush->pvRbrush;
    // Ask the driver to realize the pattern when its device has that hook.
    const tessaly::gdi::Surface* target = tessaly::gdi::Surface::fromSurfobj(brush->target);
    const tessaly::gdi::Device* device = target ? target->device() : nullptr;
    auto realize = device ? device->drv<PFN_RealizeBrush>(INDEX_DrvRealizeBrush) : nullptr;
    if (!realize) return nullptr;
    SIZEL size{brush->patternWidth(), brush->patternHeight()};
    auto pattern = tessaly::gdi::Surface::createBitmap(size, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    if (!pattern) return nullptr;
    const auto* bits = reinterpret_cast<const uint32_t*>(pixman_image_get_data(brush->pattern()));
    for (LONG y = 0; y < size.cy; ++y) {
        std::memcpy(pattern->row(y), bits + static_cast<size_t>(y) * size.cx, static_cast<size_t>(size.cx) * 4);
    }
    XlateObject xlate;
    const ULONG hatch = brush->hatchStyle() == 0xFFFFFFFF ? 0 : brush->hatchStyle();
    if (!realize(brush, brush->target, pattern.get(), nullptr, &xlate, hatch)) return nullptr;
    return brush->pvRbrush;
}

WIN32KAPI ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo) {
    const BrushObject* brush = BrushObject::fromBrushobj(pbo);
    if (!brush) return pbo ? pbo->iSolidColor : 0xFFFFFFFF;
    return brush->isSolid() ? brush->colorref() : 0xFFFFFFFF;
}

// No colour management: brushes and translations carry no transform.
WIN32KAPI HANDLE APIENTRY BRUSHOBJ_hGetColorTransform(BRUSHOBJ* /*pbo*/) { return nullptr; }

WIN32KAPI HANDLE APIENTRY XLATEOBJ_hGetColorTransform(XLATEOBJ* /*pxlo*/) { return nullptr; }

// The engine hands out no palette objects (they belong to display drivers'
// DrvSetPalette).
WIN32KAPI ULONG APIENTRY PALOBJ_cGetColors(PALOBJ* /*ppalo*/, ULONG /*iStart*/, ULONG /*cColors*/,
                                           ULONG* /*pulColors*/) {
    return 0;
}

WIN32KAPI ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
    if (!pxlo) return iColor;
    if (const XlateObject* xlate = XlateObject::fromXlateobj(pxlo)) return xlate->translate(iColor);
    if (pxlo->flXlate & XO_TABLE) return pxlo->pulXlate && iColor < pxlo->cEntries ? pxlo->pulXlate[iColor] : 0;
    return iColor;
}

WIN32KAPI ULONG* APIENTRY XLATEOBJ_piVector(XLATEOBJ* pxlo) {
    return pxlo && (pxlo->flXlate & XO_TABLE) ? pxlo->pulXlate : nullptr;
}

WIN32KAPI ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal) {
    const XlateObject* xlate = XlateObject::fromXlateobj(pxlo);
    if (!xlate || (iPal != XO_SRCPALETTE && iPal != XO_DESTPALETTE)) return 0;
    const std::vector<ULONG>& colors = iPal == XO_SRCPALETTE ? xlate->sourceColors() : xlate->targetColors();
    if (!pPal) return static_cast<ULONG>(colors.size());
    const ULONG n = std::min<ULONG>(cPal, static_cast<ULONG>(colors.size()));
    for (ULONG i = 0; i < n; ++i) pPal[i] = colors[i] & 0xFFFFFF;
    return n;
}

WIN32KAPI ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform) {
    const XformObject* xform = XformObject::fromXformobj(pxo);
    if (!xform) return DDI_ERROR;
    if (pxform) *pxform = xform->matrix();
    return xform->complexity();
}

WIN32KAPI ULONG APIENTRY XFORMOBJ_iGetFloatObjXform(XFORMOBJ* pxo, FLOATOBJ_XFORM* pxfo) {
    const XformObject* xform = XformObject::fromXformobj(pxo);
    if (!xform) return DDI_ERROR;
    if (pxfo) {
        const XFORML& m = xform->matrix();
        *pxfo = FLOATOBJ_XFORM{m.eM11, m.eM12, m.eM21, m.eM22, m.eDx, m.eDy};
    }
    return xform->complexity();
}

WIN32KAPI WINBOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn,
                                                PVOID pvOut) {
    const XformObject* xform = XformObject::fromXformobj(pxo);
    return xform && xform->apply(iMode, cPoints, pvIn, pvOut) ? TRUE : FALSE;
}

}  // extern "C"
