#include "recording_driver.h"

#include <algorithm>

namespace tessaly::gdi::testing {

namespace {

RecordingDriver* active = nullptr;

// The driver of a call: the PDEV behind the surface, as a driver finds it.
RecordingDriver& driverOf(DHPDEV pdev) { return pdev ? *reinterpret_cast<RecordingDriver*>(pdev) : *active; }
RecordingDriver& driverOf(SURFOBJ* so) { return driverOf(so ? so->dhpdev : nullptr); }

void recordPath(Call& c, PATHOBJ* ppo) {
    if (!ppo) return;
    c.beziers = (ppo->fl & PO_BEZIERS) != 0;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnum(ppo, &pd);
        if (pd.count == 0) continue;
        c.points.emplace_back(pd.pptfx, pd.pptfx + pd.count);
        c.recordFlags.push_back(pd.flags);
        if (pd.flags & PD_BEZIERS) c.beziers = true;
    }
}

void recordClip(Call& c, CLIPOBJ* pco) {
    if (!pco) return;
    c.clipComplexity = pco->iDComplexity;
    c.clipBounds = pco->rclBounds;
    if (pco->iDComplexity != DC_COMPLEX) return;
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    struct {
        ULONG c;
        RECTL r[8];
    } e;
    bool more = true;
    while (more) {
        more = CLIPOBJ_bEnum(pco, sizeof e, &e.c);
        for (ULONG i = 0; i < e.c && i < 8; ++i) c.clipRects.push_back(e.r[i]);
    }
}

void recordLine(Call& c, LINEATTRS* la, XFORMOBJ* pxo) {
    if (la) {
        c.lineFlags = la->fl;
        c.lineWidth = (la->fl & LA_GEOMETRIC) ? la->elWidth.e : static_cast<float>(la->elWidth.l);
        for (ULONG i = 0; i < la->cstyle; ++i) {
            c.styleLongs.push_back(la->pstyle[i].l);
            c.styleReals.push_back(la->pstyle[i].e);
        }
    }
    if (pxo) c.hasXform = XFORMOBJ_iGetXform(pxo, &c.xform) != DDI_ERROR;
}

Call& add(RecordingDriver& d, const char* name) {
    d.calls.push_back(Call{});
    d.calls.back().name = name;
    return d.calls.back();
}

DHPDEV APIENTRY enablePdev(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG cjCaps, GDIINFO* gi, ULONG cjDevInfo,
                           DEVINFO* di, HDEV, LPWSTR, HANDLE) {
    RecordingDriver& d = *active;
    if (cjCaps < sizeof(GDIINFO) || cjDevInfo < sizeof(DEVINFO)) return nullptr;
    if (d.config.failEnablePdev) {
        EngSetLastError(d.config.failEnablePdev);
        return nullptr;
    }
    *gi = GDIINFO{};
    gi->ulVersion = 0x4000;
    gi->ulTechnology = DT_RASPRINTER;
    gi->ulHorzRes = static_cast<ULONG>(d.config.width);
    gi->ulVertRes = static_cast<ULONG>(d.config.height);
    gi->cBitsPixel = 24;
    gi->cPlanes = 1;
    gi->ulLogPixelsX = gi->ulLogPixelsY = 300;
    gi->xStyleStep = gi->yStyleStep = 1;
    gi->denStyleStep = 3;
    *di = DEVINFO{};
    di->flGraphicsCaps = GCAPS_BEZIERS | GCAPS_GEOMETRICWIDE | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL;
    di->iDitherFormat = BMF_24BPP;
    return reinterpret_cast<DHPDEV>(active);
}

void APIENTRY completePdev(DHPDEV pdev, HDEV hdev) { driverOf(pdev).hdev = hdev; }
void APIENTRY disablePdev(DHPDEV pdev) { ++driverOf(pdev).pdevsDisabled; }

HSURF APIENTRY enableSurface(DHPDEV pdev) {
    RecordingDriver& d = driverOf(pdev);
    if (d.config.failEnableSurface) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const LONG rows = d.config.bandRows > 0 ? d.config.bandRows : d.config.height;
    const LONG stride = (d.config.width * 3 + 3) & ~3;
    HBITMAP bmp = EngCreateBitmap(SIZEL{d.config.width, rows}, stride, BMF_24BPP, BMF_TOPDOWN, nullptr);
    if (!bmp) return nullptr;
    HSURF s = reinterpret_cast<HSURF>(bmp);
    if (d.config.bandRows > 0) EngMarkBandingSurface(s);
    if (!EngAssociateSurface(s, d.hdev, d.config.hooks)) return nullptr;
    d.surface = s;
    return s;
}

void APIENTRY disableSurface(DHPDEV pdev) {
    RecordingDriver& d = driverOf(pdev);
    if (d.surface) EngDeleteSurface(d.surface);
    d.surface = nullptr;
}

WINBOOL APIENTRY startDoc(SURFOBJ* so, LPWSTR name, DWORD job) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvStartDoc");
    if (name) c.text = name;
    c.flags = job;
    return TRUE;
}

WINBOOL APIENTRY endDoc(SURFOBJ* so, FLONG fl) {
    RecordingDriver& d = driverOf(so);
    add(d, "DrvEndDoc").flags = fl;
    return TRUE;
}

WINBOOL APIENTRY startPage(SURFOBJ* so) {
    RecordingDriver& d = driverOf(so);
    add(d, "DrvStartPage");
    d.page.assign(static_cast<size_t>(d.config.width) * 3 * static_cast<size_t>(d.config.height), 0);
    if (d.config.bandRows == 0) {
        RECTL all{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
        EngEraseSurface(so, &all, 0xFFFFFF);
    }
    return TRUE;
}

WINBOOL APIENTRY sendPage(SURFOBJ* so) {
    RecordingDriver& d = driverOf(so);
    add(d, "DrvSendPage");
    if (d.config.bandRows == 0) d.copyRows(so, 0, so->sizlBitmap.cy, 0);
    ++d.pagesSent;
    return TRUE;
}

WINBOOL APIENTRY startBanding(SURFOBJ* so, POINTL* origin) {
    RecordingDriver& d = driverOf(so);
    add(d, "DrvStartBanding");
    d.band = {0, 0};
    *origin = d.band;
    RECTL all{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
    EngEraseSurface(so, &all, 0xFFFFFF);
    return TRUE;
}

WINBOOL APIENTRY nextBand(SURFOBJ* so, POINTL* origin) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvNextBand");
    if (d.config.failNextBand) {
        *origin = {-1, -1};
        return FALSE;
    }
    const LONG rows = std::min<LONG>(so->sizlBitmap.cy, d.config.height - d.band.y);
    d.copyRows(so, 0, rows, d.band.y);
    d.band.y += so->sizlBitmap.cy;
    if (d.band.y >= d.config.height) {
        *origin = {-1, -1};
    } else {
        *origin = d.band;
        RECTL all{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
        EngEraseSurface(so, &all, 0xFFFFFF);
    }
    c.origin = *origin;
    return TRUE;
}

WINBOOL APIENTRY fillPath(SURFOBJ* so, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix,
                          FLONG opts) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvFillPath");
    recordPath(c, ppo);
    recordClip(c, pco);
    c.brushColor = pbo ? pbo->iSolidColor : 0;
    c.mix = mix;
    c.options = opts;
    c.origin = d.band;
    if (d.declines("DrvFillPath", c.beziers)) return FALSE;
    return EngFillPath(so, ppo, pco, pbo, org, mix, opts);
}

WINBOOL APIENTRY strokePath(SURFOBJ* so, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* org,
                            LINEATTRS* la, MIX mix) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvStrokePath");
    recordPath(c, ppo);
    recordClip(c, pco);
    recordLine(c, la, pxo);
    c.brushColor = pbo ? pbo->iSolidColor : 0;
    c.mix = mix;
    if (d.declines("DrvStrokePath", c.beziers)) return FALSE;
    return EngStrokePath(so, ppo, pco, pxo, pbo, org, la, mix);
}

WINBOOL APIENTRY strokeAndFillPath(SURFOBJ* so, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* stroke,
                                   LINEATTRS* la, BRUSHOBJ* fill, POINTL* org, MIX mix, FLONG opts) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvStrokeAndFillPath");
    recordPath(c, ppo);
    recordClip(c, pco);
    recordLine(c, la, pxo);
    c.brushColor = fill ? fill->iSolidColor : 0;
    c.mix = mix;
    c.options = opts;
    if (d.declines("DrvStrokeAndFillPath", c.beziers)) return FALSE;
    return EngStrokeAndFillPath(so, ppo, pco, pxo, stroke, la, fill, org, mix, opts);
}

WINBOOL APIENTRY paint(SURFOBJ* so, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvPaint");
    recordClip(c, pco);
    c.brushColor = pbo ? pbo->iSolidColor : 0;
    c.mix = mix;
    if (d.declines("DrvPaint", false)) return FALSE;
    return EngPaint(so, pco, pbo, org, mix);
}

WINBOOL APIENTRY bitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* target,
                        POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo, POINTL* org, ROP4 rop4) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvBitBlt");
    recordClip(c, pco);
    c.rop4 = rop4;
    c.target = *target;
    c.brushColor = pbo ? pbo->iSolidColor : 0;
    if (d.declines("DrvBitBlt", false)) return FALSE;
    return EngBitBlt(dst, src, mask, pco, xlo, target, srcPoint, maskPoint, pbo, org, rop4);
}

WINBOOL APIENTRY copyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* target, POINTL* srcPoint) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvCopyBits");
    recordClip(c, pco);
    c.target = *target;
    if (d.declines("DrvCopyBits", false)) return FALSE;
    return EngCopyBits(dst, src, pco, xlo, target, srcPoint);
}

WINBOOL APIENTRY stretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                            COLORADJUSTMENT* ca, POINTL* ht, RECTL* target, RECTL* source, POINTL* maskPoint,
                            ULONG mode) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvStretchBlt");
    recordClip(c, pco);
    c.target = *target;
    if (d.declines("DrvStretchBlt", false)) return FALSE;
    return EngStretchBlt(dst, src, mask, pco, xlo, ca, ht, target, source, maskPoint, mode);
}

WINBOOL APIENTRY plgBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo, COLORADJUSTMENT* ca,
                        POINTL* org, POINTFIX* pts, RECTL* source, POINTL* maskPoint, ULONG mode) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvPlgBlt");
    recordClip(c, pco);
    c.points.emplace_back(pts, pts + 3);
    if (d.declines("DrvPlgBlt", false)) return FALSE;
    return EngPlgBlt(dst, src, mask, pco, xlo, ca, org, pts, source, maskPoint, mode);
}

WINBOOL APIENTRY alphaBlend(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* target, RECTL* source,
                            BLENDOBJ* blend) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvAlphaBlend");
    recordClip(c, pco);
    c.target = *target;
    if (d.declines("DrvAlphaBlend", false)) return FALSE;
    return EngAlphaBlend(dst, src, pco, xlo, target, source, blend);
}

WINBOOL APIENTRY transparentBlt(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* target,
                                RECTL* source, ULONG key, ULONG reserved) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvTransparentBlt");
    recordClip(c, pco);
    c.target = *target;
    c.brushColor = key;
    if (d.declines("DrvTransparentBlt", false)) return FALSE;
    return EngTransparentBlt(dst, src, pco, xlo, target, source, key, reserved);
}

WINBOOL APIENTRY gradientFill(SURFOBJ* dst, CLIPOBJ* pco, XLATEOBJ* xlo, TRIVERTEX* v, ULONG nv, PVOID mesh,
                              ULONG nm, RECTL* extents, POINTL* dither, ULONG mode) {
    RecordingDriver& d = driverOf(dst);
    Call& c = add(d, "DrvGradientFill");
    recordClip(c, pco);
    c.target = *extents;
    c.options = mode;
    if (d.declines("DrvGradientFill", false)) return FALSE;
    return EngGradientFill(dst, pco, xlo, v, nv, mesh, nm, extents, dither, mode);
}

WINBOOL APIENTRY textOut(SURFOBJ* so, STROBJ* str, FONTOBJ* fo, CLIPOBJ* pco, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* back, POINTL* org, MIX mix) {
    RecordingDriver& d = driverOf(so);
    Call& c = add(d, "DrvTextOut");
    recordClip(c, pco);
    if (str->pwszOrg) c.text.assign(str->pwszOrg, str->cGlyphs);
    STROBJ_vEnumStart(str);
    ULONG n = 0;
    GLYPHPOS* gp = nullptr;
    bool more = true;
    while (more) {
        more = STROBJ_bEnum(str, &n, &gp);
        for (ULONG i = 0; i < n; ++i) {
            c.glyphPositions.push_back(gp[i].ptl);
            c.glyphs.push_back(gp[i].hg);
        }
        if (n == 0) break;
    }
    c.stringFlags = str->flAccel;
    c.fontType = fo ? fo->flFontType : 0;
    c.fontUniq = fo ? fo->iUniq : 0;
    for (const RECTL* r = extra; r && (r->left || r->top || r->right || r->bottom); ++r) c.extraRects.push_back(*r);
    c.brushColor = fore ? fore->iSolidColor : 0;
    if (opaque) c.target = *opaque;
    if (d.declines("DrvTextOut", false)) return FALSE;
    return EngTextOut(so, str, fo, pco, extra, opaque, fore, back, org, mix);
}

template <typename Fn>
PFN pfn(Fn f) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

RecordingDriver::RecordingDriver(DriverConfig c) : config(std::move(c)) {
    active = this;
    table_ = {
        {INDEX_DrvEnablePDEV, pfn(enablePdev)},       {INDEX_DrvCompletePDEV, pfn(completePdev)},
        {INDEX_DrvDisablePDEV, pfn(disablePdev)},     {INDEX_DrvEnableSurface, pfn(enableSurface)},
        {INDEX_DrvDisableSurface, pfn(disableSurface)}, {INDEX_DrvStartDoc, pfn(startDoc)},
        {INDEX_DrvEndDoc, pfn(endDoc)},               {INDEX_DrvStartPage, pfn(startPage)},
        {INDEX_DrvSendPage, pfn(sendPage)},           {INDEX_DrvStartBanding, pfn(startBanding)},
        {INDEX_DrvNextBand, pfn(nextBand)},           {INDEX_DrvFillPath, pfn(fillPath)},
        {INDEX_DrvStrokePath, pfn(strokePath)},       {INDEX_DrvStrokeAndFillPath, pfn(strokeAndFillPath)},
        {INDEX_DrvPaint, pfn(paint)},                 {INDEX_DrvBitBlt, pfn(bitBlt)},
        {INDEX_DrvCopyBits, pfn(copyBits)},
        {INDEX_DrvStretchBlt, pfn(stretchBlt)},       {INDEX_DrvPlgBlt, pfn(plgBlt)},
        {INDEX_DrvAlphaBlend, pfn(alphaBlend)},       {INDEX_DrvTransparentBlt, pfn(transparentBlt)},
        {INDEX_DrvGradientFill, pfn(gradientFill)},   {INDEX_DrvTextOut, pfn(textOut)},
    };
    data_.iDriverVersion = DDI_DRIVER_VERSION_NT5;
    data_.c = static_cast<ULONG>(table_.size());
    data_.pdrvfn = table_.data();
}

RecordingDriver::~RecordingDriver() {
    if (active == this) active = nullptr;
}

std::unique_ptr<PrinterDevice> RecordingDriver::open(std::string* error) {
    active = this;
    return PrinterDevice::open(data_, nullptr, u"test", error);
}

std::vector<std::string> RecordingDriver::names() const {
    std::vector<std::string> out;
    for (const Call& c : calls) out.push_back(c.name);
    return out;
}

std::vector<const Call*> RecordingDriver::named(const std::string& name) const {
    std::vector<const Call*> out;
    for (const Call& c : calls)
        if (c.name == name) out.push_back(&c);
    return out;
}

uint32_t RecordingDriver::pixel(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(config.width) + static_cast<size_t>(x)) * 3;
    return static_cast<uint32_t>(page[at]) | static_cast<uint32_t>(page[at + 1]) << 8 |
           static_cast<uint32_t>(page[at + 2]) << 16;
}

bool RecordingDriver::declines(const std::string& hook, bool curves) const {
    if (std::find(config.decline.begin(), config.decline.end(), hook) != config.decline.end()) return true;
    return curves && std::find(config.declineCurves.begin(), config.declineCurves.end(), hook) !=
                         config.declineCurves.end();
}

void RecordingDriver::copyRows(SURFOBJ* so, LONG fromRow, LONG rows, LONG pageRow) {
    // The bits are read through a lock, as the engine may still hold drawing
    // back.
    if (SURFOBJ* locked = EngLockSurface(so->hsurf)) EngUnlockSurface(locked);
    const size_t row = static_cast<size_t>(config.width) * 3;
    for (LONG y = 0; y < rows; ++y) {
        if (pageRow + y >= config.height) break;
        const uint8_t* src =
            static_cast<const uint8_t*>(so->pvScan0) + static_cast<ptrdiff_t>(fromRow + y) * so->lDelta;
        std::memcpy(&page[static_cast<size_t>(pageRow + y) * row], src, row);
    }
}

}  // namespace tessaly::gdi::testing
