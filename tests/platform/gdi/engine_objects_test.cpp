// The engine's objects: bitmaps and their limits, handles, enumerations of
// paths, clips and strings, transforms, colour translation, fonts, and the
// small services.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <string>
#include <thread>
#include <vector>

#include "engine_objects.h"
#include "engine_test_support.h"
#include "platform/gdi_engine_control.h"

namespace tessaly::gdi {
namespace {

using testing::Canvas;
using testing::fx;

TEST(EngineBitmaps, LayoutFollowsFormatAndOrientation) {
    // 24-bit rows are padded to four bytes; bottom-up bitmaps start at the
    // last row and step backwards.
    HBITMAP top = EngCreateBitmap(SIZEL{5, 3}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(top));
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->lDelta, 16);
    EXPECT_EQ(so->cjBits, 48u);
    EXPECT_EQ(so->pvScan0, so->pvBits);
    EXPECT_EQ(so->iBitmapFormat, static_cast<ULONG>(BMF_24BPP));
    EXPECT_EQ(so->hsurf, reinterpret_cast<HSURF>(top));
    for (ULONG i = 0; i < so->cjBits; ++i) ASSERT_EQ(static_cast<uint8_t*>(so->pvBits)[i], 0) << "zeroed";

    HBITMAP bottom = EngCreateBitmap(SIZEL{3, 4}, 0, BMF_8BPP, 0, nullptr);
    SURFOBJ* up = EngLockSurface(reinterpret_cast<HSURF>(bottom));
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->lDelta, -4);
    EXPECT_EQ(up->pvScan0, static_cast<uint8_t*>(up->pvBits) + 12);

    // The caller's memory with the caller's stride.
    std::vector<uint8_t> bits(40 * 2);
    HBITMAP own = EngCreateBitmap(SIZEL{10, 2}, 40, BMF_32BPP, BMF_TOPDOWN, bits.data());
    SURFOBJ* mine = EngLockSurface(reinterpret_cast<HSURF>(own));
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->pvBits, bits.data());
    EXPECT_EQ(mine->lDelta, 40);
    EXPECT_EQ(EngCreateBitmap(SIZEL{10, 2}, 20, BMF_32BPP, BMF_TOPDOWN, bits.data()), nullptr) << "stride too small";

    EXPECT_EQ(EngCreateBitmap(SIZEL{0, 3}, 0, BMF_24BPP, 0, nullptr), nullptr);
    EXPECT_EQ(EngCreateBitmap(SIZEL{3, 3}, 0, 77, 0, nullptr), nullptr);

    for (HBITMAP h : {top, bottom, own}) EXPECT_TRUE(EngDeleteSurface(reinterpret_cast<HSURF>(h)));
    // Deleted handles are refused, not followed.
    EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));
    EXPECT_EQ(EngLockSurface(reinterpret_cast<HSURF>(top)), nullptr);
    EXPECT_EQ(EngGetLastError(), static_cast<ULONG>(ERROR_INVALID_HANDLE));
}

TEST(EngineBitmaps, ByteLimitAndObserverRefuseRequests) {
    const uint64_t before = surfaceByteLimit();
    setSurfaceByteLimit(1000);
    // 10 x 33 at 24 bits is 32 bytes a row: 33 rows are 1056 bytes.
    EXPECT_EQ(EngCreateBitmap(SIZEL{10, 33}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr), nullptr);
    EXPECT_EQ(EngGetLastError(), static_cast<ULONG>(ERROR_NOT_ENOUGH_MEMORY));
    HBITMAP fits = EngCreateBitmap(SIZEL{10, 31}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr);
    EXPECT_NE(fits, nullptr);
    EngDeleteSurface(reinterpret_cast<HSURF>(fits));
    // The caller's own memory is not limited.
    std::vector<uint8_t> bits(32 * 40);
    HBITMAP own = EngCreateBitmap(SIZEL{10, 40}, 32, BMF_24BPP, BMF_TOPDOWN, bits.data());
    EXPECT_NE(own, nullptr);
    EngDeleteSurface(reinterpret_cast<HSURF>(own));
    setSurfaceByteLimit(0);

    // The observer sees every request, and a refusal fails it: the
    // halving sequence of a driver that retries with half the rows.
    std::vector<LONG> heights;
    setBitmapRequestObserver([&](LONG width, LONG height, ULONG format) {
        EXPECT_EQ(width, 2550);
        EXPECT_EQ(format, static_cast<ULONG>(BMF_24BPP));
        heights.push_back(height);
        return height <= 13;
    });
    HBITMAP band = nullptr;
    for (LONG h = 3300; !band && h >= 1; h = h == 1 ? 0 : (h + 1) / 2) {
        band = EngCreateBitmap(SIZEL{2550, h}, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
    }
    setBitmapRequestObserver(nullptr);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(heights, (std::vector<LONG>{3300, 1650, 825, 413, 207, 104, 52, 26, 13}));
    EngDeleteSurface(reinterpret_cast<HSURF>(band));
    setSurfaceByteLimit(before);
}

TEST(EngineBitmapsDeathTest, ByteLimitComesFromTheEnvironment) {
    // The variable is read once, at the first request of a process: the
    // check runs in a fresh child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("TESSALY_GDI_SURFACE_LIMIT", "1000", 1);
    EXPECT_EXIT(
        {
            const bool refused = EngCreateBitmap(SIZEL{10, 33}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr) == nullptr;
            const bool allowed = EngCreateBitmap(SIZEL{10, 31}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr) != nullptr;
            std::_Exit(refused && allowed && surfaceByteLimit() == 1000 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv("TESSALY_GDI_SURFACE_LIMIT");
}

// Drivers' hooks for the association and re-entry tests.
int fillCalls = 0;
int strokeCalls = 0;
int blitCalls = 0;
WINBOOL APIENTRY countingBlit(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                              RECTL* rect, POINTL* from, POINTL* maskAt, BRUSHOBJ* brush, POINTL* origin, ROP4 rop) {
    ++blitCalls;
    return EngBitBlt(target, source, mask, clip, xlate, rect, from, maskAt, brush, origin, rop);
}
WINBOOL APIENTRY countingFill(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix,
                              FLONG options) {
    ++fillCalls;
    return EngFillPath(pso, ppo, pco, pbo, org, mix, options);
}
WINBOOL APIENTRY decliningStroke(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
    ++strokeCalls;
    return FALSE;
}

TEST(EngineDevices, AssociationRecordsHooksAndEngineReentersThem) {
    DRVFN functions[] = {{INDEX_DrvFillPath, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(countingFill))},
                         {INDEX_DrvStrokePath, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(decliningStroke))},
                         {INDEX_DrvBitBlt, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(countingBlit))},
                         {500, nullptr}};
    DRVENABLEDATA data{0x20000, 4, functions};
    Device device(data);
    device.dhpdev = reinterpret_cast<DHPDEV>(0x1234);
    EXPECT_EQ(Device::fromHandle(device.handle()), &device);
    EXPECT_NE(device.function(INDEX_DrvFillPath), nullptr);
    EXPECT_EQ(device.function(INDEX_DrvPaint), nullptr);

    Canvas canvas(20, 20);
    EXPECT_FALSE(EngAssociateSurface(canvas.handle(), nullptr, HOOK_FILLPATH));
    ASSERT_TRUE(EngAssociateSurface(canvas.handle(), device.handle(), HOOK_FILLPATH | HOOK_STROKEPATH));
    EXPECT_EQ(canvas.so()->hdev, device.handle());
    EXPECT_EQ(canvas.so()->dhpdev, device.dhpdev);
    ASSERT_TRUE(EngMarkBandingSurface(canvas.handle()));
    EXPECT_TRUE(Surface::fromHandle(canvas.handle())->banding);

    // Stroke-and-fill goes through the fill hook, and renders the stroke
    // itself when the stroke hook declines.
    PathObject path;
    testing::polygon(path, {{2, 2}, {12, 2}, {12, 12}, {2, 12}});
    BrushObject red(0xFF0000), blue(0x0000FF);
    LINEATTRS line{};
    fillCalls = strokeCalls = 0;
    EXPECT_TRUE(EngStrokeAndFillPath(canvas.so(), &path, nullptr, nullptr, &blue, &line, &red, nullptr,
                                     R2_COPYPEN | (R2_COPYPEN << 8), FP_ALTERNATEMODE));
    EXPECT_EQ(fillCalls, 1);
    EXPECT_EQ(strokeCalls, 1);
    EXPECT_EQ(canvas.at(6, 6), 0xFF0000u);
    EXPECT_EQ(canvas.at(2, 6), 0x0000FFu) << "outline over the fill";

    // Text paints its opaque and extra rectangles as blits, through the
    // driver only when the surface hooks blits.
    FontRequest request;
    request.logFont.lfHeight = -10;
    auto font = FontObject::create(request);
    ASSERT_NE(font, nullptr);
    StringObject string;
    ASSERT_TRUE(string.layout(*font, u"x", 1, 2, 15, nullptr));
    RECTL opaque{0, 0, 20, 20};
    RECTL extra[3] = {{0, 16, 10, 17}, {0, 12, 10, 13}, {0, 0, 0, 0}};
    blitCalls = 0;
    ASSERT_TRUE(EngTextOut(canvas.so(), &string, font.get(), nullptr, extra, &opaque, &blue, &red, nullptr,
                           R2_COPYPEN));
    EXPECT_EQ(blitCalls, 0);
    ASSERT_TRUE(EngAssociateSurface(canvas.handle(), device.handle(), HOOK_BITBLT));
    ASSERT_TRUE(EngTextOut(canvas.so(), &string, font.get(), nullptr, extra, &opaque, &blue, &red, nullptr,
                           R2_COPYPEN));
    EXPECT_EQ(blitCalls, 3);
    EXPECT_EQ(canvas.at(19, 19), 0xFF0000u);
    EXPECT_EQ(canvas.at(5, 16), 0x0000FFu);
}

TEST(EnginePaths, RecordsCarryFlagsAndCounts) {
    PathObject* path = PathObject::fromPathobj(EngCreatePath());
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(PATHOBJ_bMoveTo(path, fx(0, 0)));
    EXPECT_TRUE(PATHOBJ_bMoveTo(path, fx(1, 1)));  // replaces the first move
    POINTFIX lines[2] = {fx(5, 1), fx(5, 5)};
    EXPECT_TRUE(PATHOBJ_bPolyLineTo(path, lines, 2));
    POINTFIX curve[3] = {fx(6, 6), fx(7, 7), fx(8, 5)};
    EXPECT_TRUE(PATHOBJ_bPolyBezierTo(path, curve, 3));
    EXPECT_FALSE(PATHOBJ_bPolyBezierTo(path, curve, 2)) << "curves come in threes";
    EXPECT_TRUE(PATHOBJ_bCloseFigure(path));
    EXPECT_TRUE(PATHOBJ_bMoveTo(path, POINTFIX{20 * 16 + 3, 0}));
    POINTFIX last = fx(30, 0);
    EXPECT_TRUE(PATHOBJ_bPolyLineTo(path, &last, 1));

    EXPECT_EQ(path->cCurves, 5u);  // 2 lines, 1 curve, the closing line, 1 line
    EXPECT_TRUE(path->fl & PO_BEZIERS);
    EXPECT_FALSE(path->fl & PO_ALL_INTEGERS);
    RECTFX bounds;
    PATHOBJ_vGetBounds(path, &bounds);
    EXPECT_EQ(bounds.xLeft, 16);
    EXPECT_EQ(bounds.yTop, 0);
    EXPECT_EQ(bounds.xRight, 30 * 16);
    EXPECT_EQ(bounds.yBottom, 7 * 16);

    PATHOBJ_vEnumStart(path);
    PATHDATA data;
    std::vector<std::pair<FLONG, ULONG>> records;
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnum(path, &data);
        records.emplace_back(data.flags, data.count);
    }
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], std::make_pair(FLONG{PD_BEGINSUBPATH}, 3u));
    EXPECT_EQ(records[1], std::make_pair(FLONG{PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE}, 3u));
    EXPECT_EQ(records[2], std::make_pair(FLONG{PD_BEGINSUBPATH | PD_ENDSUBPATH}, 2u));
    // Enumeration starts over.
    PATHOBJ_vEnumStart(path);
    EXPECT_TRUE(PATHOBJ_bEnum(path, &data));
    EXPECT_EQ(data.pptfx[0].x, 16);

    auto flat = path->flattened();
    EXPECT_FALSE(flat->fl & PO_BEZIERS);
    EXPECT_GT(flat->cCurves, 5u);
    EngDeletePath(path);

    // A path the caller owns is not deleted through the engine.
    PathObject mine;
    EngDeletePath(&mine);
    EXPECT_EQ(PathObject::fromPathobj(&mine), &mine);
    PATHOBJ foreign{};
    EXPECT_FALSE(PATHOBJ_bMoveTo(&foreign, fx(0, 0)));
}

TEST(EnginePaths, ClipLinesGiveTheVisibleRunsOfEachLine) {
    // Two lines through a clip of two windows; the style state at each
    // line's start follows the pixels walked before it.
    PathObject path;
    path.moveTo(fx(0, 5));
    path.lineTo(fx(20, 5));
    path.lineTo(fx(20, 9));
    ClipObject clip;
    const RECTL windows[] = {{0, 0, 5, 10}, {10, 0, 15, 10}};
    clip.setRects(windows, 2);
    Canvas canvas(30, 30);
    FLOAT_LONG style[2];
    style[0].l = 2;
    style[1].l = 1;
    LINEATTRS attrs{};
    attrs.fl = LA_STYLED;
    attrs.cstyle = 2;
    attrs.pstyle = style;
    PATHOBJ_vEnumStartClipLines(&path, &clip, canvas.so(), &attrs);
    struct {
        CLIPLINE line;
        RUN more[1];
    } buffer;
    // Room for one run a call: the first line comes back twice.
    const ULONG small = static_cast<ULONG>(offsetof(CLIPLINE, arun) + sizeof(RUN));
    std::vector<std::tuple<LONG, LONG, LONG, LONG>> seen;  // start x, style state, run start, run stop
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnumClipLines(&path, small, &buffer.line);
        for (ULONG i = 0; i < buffer.line.c; ++i) {
            seen.emplace_back(buffer.line.ptfxA.x / 16, buffer.line.lStyleState, buffer.line.arun[i].iStart,
                              buffer.line.arun[i].iStop);
        }
        if (buffer.line.c == 0) seen.emplace_back(buffer.line.ptfxA.x / 16, buffer.line.lStyleState, -1, -1);
    }
    using T = std::tuple<LONG, LONG, LONG, LONG>;
    // The second line (x = 20) lies outside both windows; 20 pixels of the
    // 9-pixel style period put it 2 pixels into the first dash.
    EXPECT_EQ(seen, (std::vector<T>{{0, 0, 0, 4}, {0, 0, 10, 14}, {20, 2, -1, -1}}));
}

std::vector<RECTL> enumerateAll(CLIPOBJ* clip, ULONG direction, ULONG batch) {
    std::vector<RECTL> out;
    CLIPOBJ_cEnumStart(clip, TRUE, CT_RECTANGLES, direction, 0);
    struct {
        ULONG c;
        RECTL arcl[8];
    } buffer;
    const ULONG bytes = static_cast<ULONG>(sizeof(ULONG) + batch * sizeof(RECTL));
    bool more = true;
    while (more) {
        more = CLIPOBJ_bEnum(clip, bytes, &buffer.c);
        EXPECT_LE(buffer.c, batch);
        for (ULONG i = 0; i < buffer.c; ++i) out.push_back(buffer.arcl[i]);
    }
    return out;
}

TEST(EngineClips, ComplexityAndEnumerationInEveryDirection) {
    ClipObject clip;
    EXPECT_EQ(clip.iDComplexity, DC_TRIVIAL);
    clip.setRect(RECTL{10, 20, 30, 40});
    EXPECT_EQ(clip.iDComplexity, DC_RECT);
    EXPECT_EQ(clip.rclBounds.right, 30);

    // Two bands: one rectangle on top, two below.
    const RECTL rects[] = {{0, 0, 10, 5}, {0, 5, 3, 9}, {6, 5, 10, 9}};
    clip.setRects(rects, 3);
    EXPECT_EQ(clip.iDComplexity, DC_COMPLEX);
    EXPECT_EQ(clip.iFComplexity, FC_RECT4);
    EXPECT_EQ(clip.rclBounds.bottom, 9);

    EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 10), 3u);
    EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 2), 0xFFFFFFFFu) << "more than the limit";
    EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 0), 0xFFFFFFFFu) << "not counted";

    auto lefts = [](const std::vector<RECTL>& list) {
        std::vector<std::pair<LONG, LONG>> out;
        for (const RECTL& r : list) out.emplace_back(r.left, r.top);
        return out;
    };
    using P = std::vector<std::pair<LONG, LONG>>;
    EXPECT_EQ(lefts(enumerateAll(&clip, CD_RIGHTDOWN, 1)), (P{{0, 0}, {0, 5}, {6, 5}}));
    EXPECT_EQ(lefts(enumerateAll(&clip, CD_LEFTDOWN, 2)), (P{{0, 0}, {6, 5}, {0, 5}}));
    EXPECT_EQ(lefts(enumerateAll(&clip, CD_RIGHTUP, 8)), (P{{0, 5}, {6, 5}, {0, 0}}));
    EXPECT_EQ(lefts(enumerateAll(&clip, CD_LEFTUP, 1)), (P{{6, 5}, {0, 5}, {0, 0}}));

    // The region as a path: closed rectangles whose fill is the region.
    PATHOBJ* outline = CLIPOBJ_ppoGetPath(&clip);
    ASSERT_NE(outline, nullptr);
    Canvas canvas(12, 12);
    BrushObject black(0);
    EXPECT_TRUE(EngFillPath(canvas.so(), outline, nullptr, &black, nullptr, R2_COPYPEN, FP_ALTERNATEMODE));
    EXPECT_EQ(canvas.count(0), 10 * 5 + 3 * 4 + 4 * 4);
    EngDeletePath(outline);

    // A band offset moves everything.
    clip.offset(0, -5);
    EXPECT_EQ(clip.rclBounds.top, -5);
    clip.intersect(RECTL{0, 0, 100, 100});
    EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 10), 2u);
}

TEST(EngineTransforms, ComplexityAndApplication) {
    XformObject xform;
    XFORML m;
    EXPECT_EQ(XFORMOBJ_iGetXform(&xform, &m), static_cast<ULONG>(GX_IDENTITY));
    xform.set(XFORML{1, 0, 0, 1, 5, 0});
    EXPECT_EQ(XFORMOBJ_iGetXform(&xform, &m), static_cast<ULONG>(GX_OFFSET));
    xform.set(XFORML{2, 0, 0, 3, 5, 7});
    EXPECT_EQ(XFORMOBJ_iGetXform(&xform, &m), static_cast<ULONG>(GX_SCALE));
    POINTL in{10, 10}, out{};
    EXPECT_TRUE(XFORMOBJ_bApplyXform(&xform, XF_LTOL, 1, &in, &out));
    EXPECT_EQ(out.x, 25);
    EXPECT_EQ(out.y, 37);
    POINTL back{};
    EXPECT_TRUE(XFORMOBJ_bApplyXform(&xform, XF_INV_LTOL, 1, &out, &back));
    EXPECT_EQ(back.x, 10);
    EXPECT_EQ(back.y, 10);
    POINTFIX asFix{};
    EXPECT_TRUE(XFORMOBJ_bApplyXform(&xform, XF_LTOFX, 1, &in, &asFix));
    EXPECT_EQ(asFix.x, 25 * 16);
    xform.set(XFORML{0, 1, -1, 0, 0, 0});
    EXPECT_EQ(XFORMOBJ_iGetXform(&xform, &m), static_cast<ULONG>(GX_GENERAL));
    xform.set(XFORML{0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(XFORMOBJ_bApplyXform(&xform, XF_INV_LTOL, 1, &in, &out)) << "no inverse";
    XFORMOBJ foreign{};
    EXPECT_EQ(XFORMOBJ_iGetXform(&foreign, &m), DDI_ERROR);
}

TEST(EngineColours, TranslationPalettesAndBrushes) {
    // A DIB colour table (0x00BBGGRR entries) into the printer's 0x00RRGGBB.
    const ULONG table[2] = {0x000000FF, 0x00FF0000};  // red, blue
    XlateObject xlate;
    xlate.setSourceColors(table, 2);
    EXPECT_EQ(xlate.flXlate, static_cast<FLONG>(XO_TABLE));
    EXPECT_EQ(XLATEOBJ_iXlate(&xlate, 0), 0xFF0000u);
    EXPECT_EQ(XLATEOBJ_iXlate(&xlate, 1), 0x0000FFu);
    ULONG palette[4] = {};
    EXPECT_EQ(XLATEOBJ_cGetPalette(&xlate, XO_SRCPALETTE, 4, palette), 2u);
    EXPECT_EQ(palette[0], 0x000000FFu);
    EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 0x123456), 0x123456u);

    HPALETTE bgr = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
    HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    ASSERT_NE(bgr, nullptr);
    XlateObject swap(Palette::fromHandle(rgb), Palette::fromHandle(bgr));
    EXPECT_EQ(XLATEOBJ_iXlate(&swap, 0x000000FF), 0xFF0000u);
    EXPECT_TRUE(EngDeletePalette(bgr));
    EXPECT_TRUE(EngDeletePalette(rgb));
    EXPECT_FALSE(EngDeletePalette(bgr));

    BrushObject solid;
    solid.setSolid(0x112233, 0x332211);
    EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(&solid), 0x332211u);
    solid.setHatch(0, 0xFF0000, 0xFFFFFF, false);
    EXPECT_EQ(solid.iSolidColor, 0xFFFFFFFFu);
    EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(&solid), 0xFFFFFFFFu);
    void* realized = BRUSHOBJ_pvAllocRbrush(&solid, 16);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&solid), realized);
}

TEST(EngineServices, LastErrorPerThreadAndAnsiConversion) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    ULONG other = 1;
    std::thread([&] { other = EngGetLastError(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(EngGetLastError(), static_cast<ULONG>(ERROR_INVALID_PARAMETER));

    // Windows-1252: Latin-1 stays, the euro and quotes map into 0x80-0x9F,
    // anything else becomes '?'.
    std::u16string text = u"A\u00e9\u20ac\u201c\u0416";
    char out[8] = {};
    ULONG written = 0;
    EngUnicodeToMultiByteN(out, sizeof out, &written, text.data(), static_cast<ULONG>(text.size() * 2));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(std::string(out, 5), std::string("A\xe9\x80\x93?"));
    EngUnicodeToMultiByteN(out, 2, &written, text.data(), static_cast<ULONG>(text.size() * 2));
    EXPECT_EQ(written, 2u) << "limited by the output";
    char16_t wide[4] = {};
    char bytes[3] = {'\x80', '\x81', 'z'};
    EngMultiByteToUnicodeN(wide, sizeof wide, &written, bytes, 3);
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(wide[0], 0x20AC);
    EXPECT_EQ(wide[1], 0x0081);
    EXPECT_EQ(wide[2], u'z');

    auto* block = static_cast<uint8_t*>(EngAllocMem(FL_ZERO_MEMORY, 64, 0));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0);
    EngFreeMem(block);
}

std::unique_ptr<FontObject> sansFont(LONG em, LONG escapement = 0) {
    FontRequest request;
    request.logFont.lfHeight = -em;
    request.logFont.lfEscapement = escapement;
    request.logFont.lfWeight = FW_NORMAL;
    const char16_t name[] = u"Liberation Sans";
    std::copy(std::begin(name), std::end(name), request.logFont.lfFaceName);
    return FontObject::create(request);
}

TEST(EngineFonts, MetricsGlyphSetTransformAndStrings) {
    auto font = sansFont(100);
    ASSERT_NE(font, nullptr);
    IFIMETRICS* ifi = FONTOBJ_pifi(font.get());
    ASSERT_NE(ifi, nullptr);
    const auto* base = reinterpret_cast<const uint8_t*>(ifi);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(base + ifi->dpwszFamilyName)), u"Liberation Sans");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(base + ifi->dpwszStyleName)), u"Regular");
    EXPECT_EQ(ifi->fwdUnitsPerEm, 2048);

    // The glyph set maps 'A' to the glyph the font uses for it.
    FD_GLYPHSET* set = FONTOBJ_pfdg(font.get());
    ASSERT_NE(set, nullptr);
    HGLYPH forA = HGLYPH_INVALID;
    for (ULONG r = 0; r < set->cRuns; ++r) {
        const WCRUN& run = set->awcrun[r];
        if (run.wcLow <= u'A' && u'A' < run.wcLow + run.cGlyphs) forA = run.phg[u'A' - run.wcLow];
    }
    EXPECT_EQ(forA, font->glyph(U'A'));
    EXPECT_NE(forA, 0u);

    // The transform takes notional units to device pixels: size = em.
    XFORML m;
    ASSERT_NE(XFORMOBJ_iGetXform(FONTOBJ_pxoGetXform(font.get()), &m), DDI_ERROR);
    EXPECT_NEAR(std::hypot(m.eM11, m.eM12) * ifi->fwdUnitsPerEm, 100.0, 1e-3);

    // A space has no outline, also right after a glyph that has one.
    ASSERT_NE(font->glyphData(forA), nullptr);
    const GLYPHDATA* space = font->glyphData(font->glyph(U' '));
    ASSERT_NE(space, nullptr);
    EXPECT_TRUE(PathObject::fromPathobj(space->gdf.ppo)->empty());
    EXPECT_GT(space->fxD, 0);

    HGLYPH glyph = forA;
    void* out = nullptr;
    ASSERT_EQ(FONTOBJ_cGetGlyphs(font.get(), FO_PATHOBJ, 1, &glyph, &out), 1u);
    const auto* data = static_cast<GLYPHDATA*>(out);
    ASSERT_NE(PathObject::fromPathobj(data->gdf.ppo), nullptr);
    EXPECT_LT(data->rclInk.top, 0) << "ink above the baseline";
    ASSERT_EQ(FONTOBJ_cGetGlyphs(font.get(), FO_GLYPHBITS, 1, &glyph, &out), 1u);
    const GLYPHBITS* bits = static_cast<GLYPHDATA*>(out)->gdf.pgb;
    ASSERT_NE(bits, nullptr);
    EXPECT_GT(bits->sizlBitmap.cx, 40);

    // A string: positions advance by the font's widths along the baseline;
    // given advances replace them.
    StringObject string;
    const std::u16string text = u"AV A";
    ASSERT_TRUE(string.layout(*font, text.data(), 4, 10, 200, nullptr));
    EXPECT_EQ(string.cGlyphs, 4u);
    EXPECT_TRUE(string.flAccel & SO_HORIZONTAL);
    EXPECT_TRUE(string.flAccel & SO_FLAG_DEFAULT_PLACEMENT);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(string.pwszOrg), 4), text);
    STROBJ_vEnumStart(&string);
    ULONG count = 0;
    GLYPHPOS* positions = nullptr;
    EXPECT_FALSE(STROBJ_bEnum(&string, &count, &positions));
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(positions[0].ptl.x, 10);
    EXPECT_EQ(positions[0].ptl.y, 200);
    EXPECT_EQ(positions[1].ptl.x, 10 + 67) << "the width of A at 100 pixels";
    EXPECT_NE(positions[0].pgdf, nullptr);
    EXPECT_LE(string.rclBkGround.top, 200 - 80);
    EXPECT_GE(string.rclBkGround.bottom, 200 + 15);

    const double advances[4] = {30, 30, 30, 30};
    ASSERT_TRUE(string.layout(*font, text.data(), 4, 0, 100, advances));
    STROBJ_vEnumStart(&string);
    STROBJ_bEnum(&string, &count, &positions);
    EXPECT_EQ(positions[3].ptl.x, 90);
    POINTQF widths[2];
    EXPECT_TRUE(STROBJ_bGetAdvanceWidths(&string, 1, 2, widths));
    EXPECT_EQ(widths[0].x.QuadPart, static_cast<int64_t>(30) << 36);
    EXPECT_FALSE(STROBJ_bGetAdvanceWidths(&string, 3, 2, widths));

    // The font's file and tables: the 'head' table (tag with its first
    // letter in the low byte, as Windows spells tags) has its magic number.
    ULONG fileBytes = 0;
    const auto* file = static_cast<const uint8_t*>(FONTOBJ_pvTrueTypeFontFile(font.get(), &fileBytes));
    ASSERT_NE(file, nullptr);
    EXPECT_GT(fileBytes, 10000u);
    EXPECT_TRUE((file[0] == 0 && file[1] == 1) || std::memcmp(file, "OTTO", 4) == 0 || std::memcmp(file, "true", 4) == 0);
    ULONG tableBytes = 0;
    const ULONG head = 'h' | ('e' << 8) | ('a' << 16) | (static_cast<ULONG>('d') << 24);
    const uint8_t* table = FONTOBJ_pjOpenTypeTablePointer(font.get(), head, &tableBytes);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(tableBytes, 54u);
    EXPECT_EQ((table[12] << 24) | (table[13] << 16) | (table[14] << 8) | table[15], 0x5F0F3CF5);
    EXPECT_EQ(FONTOBJ_pjOpenTypeTablePointer(font.get(), 0x21212121, &tableBytes), nullptr);
    ULONG characters = 0;
    const char16_t* paths = FONTOBJ_pwszFontFilePaths(font.get(), &characters);
    ASSERT_NE(paths, nullptr);
    EXPECT_EQ(std::u16string(paths).size() + 2, characters);

    // A metric-compatible substitute goes by the name asked for, as the
    // font layer's enumeration has it; a fallback face keeps its own name.
    FontRequest arial;
    arial.logFont.lfHeight = -20;
    const char16_t arialName[] = u"Arial";
    std::copy(std::begin(arialName), std::end(arialName), arial.logFont.lfFaceName);
    auto substitute = FontObject::create(arial);
    ASSERT_NE(substitute, nullptr);
    const IFIMETRICS* arialMetrics = FONTOBJ_pifi(substitute.get());
    const auto* arialBase = reinterpret_cast<const uint8_t*>(arialMetrics);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(arialBase + arialMetrics->dpwszFamilyName)), u"Arial");
    FontRequest unknown;
    unknown.logFont.lfHeight = -20;
    const char16_t unknownName[] = u"No Such Family";
    std::copy(std::begin(unknownName), std::end(unknownName), unknown.logFont.lfFaceName);
    auto fallback = FontObject::create(unknown);
    ASSERT_NE(fallback, nullptr);
    const IFIMETRICS* fallbackMetrics = FONTOBJ_pifi(fallback.get());
    EXPECT_NE(std::u16string(reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(fallbackMetrics) +
                                                               fallbackMetrics->dpwszFamilyName)),
              u"No Such Family");

    // Rotated text runs up the page.
    auto turned = sansFont(100, 900);
    ASSERT_NE(turned, nullptr);
    ASSERT_TRUE(string.layout(*turned, text.data(), 2, 100, 300, nullptr));
    STROBJ_vEnumStart(&string);
    STROBJ_bEnum(&string, &count, &positions);
    EXPECT_EQ(positions[1].ptl.x, 100);
    EXPECT_EQ(positions[1].ptl.y, 300 - 67);
    EXPECT_FALSE(string.flAccel & SO_HORIZONTAL);
}

}  // namespace
}  // namespace tessaly::gdi
