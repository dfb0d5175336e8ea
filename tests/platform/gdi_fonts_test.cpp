// The GDI font services against the installed fonts: Liberation (through the
// Windows names "Arial" and "Courier New") and URW Nimbus Sans for CFF outlines.

#include "platform/gdi_fonts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Record {
    WORD type = 0;
    std::vector<std::pair<int32_t, int32_t>> points;  // 16.16
};
struct Contour {
    std::pair<int32_t, int32_t> start;
    std::vector<Record> records;
};

int32_t fixedValue(FIXED f) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(f.value)) << 16) | f.fract);
}

// Walks a native outline buffer; fails the test on a malformed layout.
std::vector<Contour> parseNative(const std::vector<uint8_t>& data) {
    std::vector<Contour> contours;
    size_t at = 0;
    while (at < data.size()) {
        TTPOLYGONHEADER header;
        EXPECT_LE(at + sizeof header, data.size());
        if (at + sizeof header > data.size()) break;
        std::memcpy(&header, data.data() + at, sizeof header);
        EXPECT_EQ(header.dwType, DWORD(TT_POLYGON_TYPE));
        EXPECT_LE(at + header.cb, data.size());
        EXPECT_GT(header.cb, sizeof header);
        if (header.cb <= sizeof header || at + header.cb > data.size()) break;
        Contour c;
        c.start = {fixedValue(header.pfxStart.x), fixedValue(header.pfxStart.y)};
        size_t r = at + sizeof header;
        const size_t end = at + header.cb;
        while (r < end) {
            WORD head[2];
            std::memcpy(head, data.data() + r, sizeof head);
            Record rec;
            rec.type = head[0];
            r += 4;
            EXPECT_LE(r + head[1] * sizeof(POINTFX), end);
            for (WORD i = 0; i < head[1] && r + sizeof(POINTFX) <= end; ++i, r += sizeof(POINTFX)) {
                POINTFX p;
                std::memcpy(&p, data.data() + r, sizeof p);
                rec.points.emplace_back(fixedValue(p.x), fixedValue(p.y));
            }
            c.records.push_back(std::move(rec));
        }
        contours.push_back(std::move(c));
        at = end;
    }
    return contours;
}

MAT2 identity() {
    MAT2 m{};
    m.eM11.value = 1;
    m.eM22.value = 1;
    return m;
}

class GdiFonts : public ::testing::Test {
protected:
    void SetUp() override {
        dc_ = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
        ASSERT_NE(dc_, nullptr);
    }
    void TearDown() override {
        if (font_) {
            SelectObject(dc_, previous_);
            EXPECT_TRUE(DeleteObject(font_));
        }
        EXPECT_TRUE(DeleteDC(dc_));
    }
    void select(const char16_t* face, int weight = FW_NORMAL, bool italic = false, int height = -1024) {
        if (font_) {
            SelectObject(dc_, previous_);
            DeleteObject(font_);
        }
        font_ = CreateFontW(height, 0, 0, 0, weight, italic, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, 0, 0, 0, face);
        ASSERT_NE(font_, nullptr);
        previous_ = SelectObject(dc_, font_);
        ASSERT_NE(previous_, nullptr);
    }
    // The native outline of a character, with its metrics; the size query
    // and the data call must agree.
    std::vector<uint8_t> outline(UINT ch, GLYPHMETRICS* gm, UINT flags = 0) {
        const MAT2 m = identity();
        const DWORD size = GetGlyphOutlineW(dc_, ch, GGO_NATIVE | flags, gm, 0, nullptr, &m);
        EXPECT_NE(size, GDI_ERROR);
        if (size == GDI_ERROR) return {};
        std::vector<uint8_t> data(size);
        if (size) {
            EXPECT_EQ(GetGlyphOutlineW(dc_, ch, GGO_NATIVE | flags, gm, size, data.data(), &m), size);
        }
        return data;
    }

    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

TEST_F(GdiFonts, ArialMetricsAreLiberationSansAtA1024Em) {
    select(u"Arial");
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(dc_, &tm));
    // Liberation Sans shares Arial's vertical metrics: 1854 + 434 of 2048.
    EXPECT_EQ(tm.tmAscent, 927);
    EXPECT_EQ(tm.tmDescent, 217);
    EXPECT_EQ(tm.tmHeight, 1144);
    EXPECT_EQ(tm.tmInternalLeading, 120);
    EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
    EXPECT_EQ(tm.tmItalic, 0);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);

    select(u"Arial", FW_NORMAL, false, 1144);  // a positive height asks for the cell
    ASSERT_TRUE(GetTextMetricsW(dc_, &tm));
    EXPECT_EQ(tm.tmHeight, 1144);
    EXPECT_EQ(tm.tmInternalLeading, 120);
    // The largest cell asked for is the largest em (32767), not an overflow.
    select(u"Arial", FW_NORMAL, false, 2147483647);
    ASSERT_TRUE(GetTextMetricsW(dc_, &tm));
    EXPECT_EQ(tm.tmHeight, 36607);
}

TEST_F(GdiFonts, OutlinesOfOAndL) {
    select(u"Arial");
    GLYPHMETRICS gm;
    const auto o = parseNative(outline('O', &gm));
    ASSERT_EQ(o.size(), 2u);
    for (const auto& c : o) {
        ASSERT_FALSE(c.records.empty());
        for (const auto& r : c.records) {
            EXPECT_TRUE(r.type == TT_PRIM_LINE || r.type == TT_PRIM_QSPLINE);
            if (r.type == TT_PRIM_QSPLINE) {
                EXPECT_GE(r.points.size(), 2u);
            }
        }
    }
    EXPECT_GT(gm.gmptGlyphOrigin.y, 600);  // y up: the top is above the baseline
    EXPECT_GT(gm.gmBlackBoxY, 700u);

    const auto l = parseNative(outline('l', &gm));
    ASSERT_EQ(l.size(), 1u);
    size_t points = 0;
    for (const auto& r : l[0].records) {
        EXPECT_EQ(r.type, TT_PRIM_LINE);
        points += r.points.size();
    }
    EXPECT_EQ(points, 3u);  // a rectangle: the start, three corners, the implied close
    EXPECT_NEAR(gm.gmCellIncX, 0.22 * 1024, 6);
    EXPECT_EQ(gm.gmCellIncY, 0);
    EXPECT_EQ(gm.gmptGlyphOrigin.y, static_cast<LONG>(gm.gmBlackBoxY));  // stands on the baseline
}

TEST_F(GdiFonts, SizeQueriesSpacesAndRefusals) {
    select(u"Arial");
    const MAT2 m = identity();
    GLYPHMETRICS gm;
    const DWORD size = GetGlyphOutlineW(dc_, 'A', GGO_NATIVE, &gm, 0, nullptr, &m);
    ASSERT_NE(size, GDI_ERROR);
    ASSERT_GT(size, sizeof(TTPOLYGONHEADER));
    std::vector<uint8_t> small(size - 1);
    EXPECT_EQ(GetGlyphOutlineW(dc_, 'A', GGO_NATIVE, &gm, size - 1, small.data(), &m), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(dc_, 'A', GGO_NATIVE, nullptr, 0, nullptr, &m), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(dc_, 'A', GGO_NATIVE, &gm, 0, nullptr, nullptr), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(dc_, 'A', GGO_BITMAP, &gm, 0, nullptr, &m), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(nullptr, 'A', GGO_NATIVE, &gm, 0, nullptr, &m), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(dc_, 0xFFFFu, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, 0, nullptr, &m), GDI_ERROR);

    // A space has metrics and no contours.
    EXPECT_EQ(GetGlyphOutlineW(dc_, ' ', GGO_NATIVE, &gm, 0, nullptr, &m), 0u);
    EXPECT_EQ(gm.gmCellIncX, 285);  // 569 of 2048
    EXPECT_EQ(gm.gmBlackBoxX, 1u);

    // A character the font lacks gives its default glyph, glyph 0.
    GLYPHMETRICS missing, notdef;
    EXPECT_EQ(outline(0x4E2D, &missing), outline(0, &notdef, GGO_GLYPH_INDEX));
    EXPECT_EQ(missing.gmCellIncX, notdef.gmCellIncX);
}

TEST_F(GdiFonts, MatrixTurnsTheOutline) {
    select(u"Arial");
    MAT2 turn{};  // 90 degrees counter-clockwise: (x, y) -> (-y, x)
    turn.eM12.value = 1;
    turn.eM21.value = -1;
    GLYPHMETRICS plain, turned;
    const auto l = parseNative(outline('l', &plain));
    const DWORD size = GetGlyphOutlineW(dc_, 'l', GGO_NATIVE, &turned, 0, nullptr, &turn);
    std::vector<uint8_t> data(size);
    ASSERT_EQ(GetGlyphOutlineW(dc_, 'l', GGO_NATIVE, &turned, size, data.data(), &turn), size);
    const auto t = parseNative(data);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].start.first, -l[0].start.second);
    EXPECT_EQ(t[0].start.second, l[0].start.first);
    EXPECT_EQ(turned.gmCellIncX, 0);
    EXPECT_EQ(turned.gmCellIncY, plain.gmCellIncX);
    EXPECT_EQ(turned.gmBlackBoxX, plain.gmBlackBoxY);
}

TEST_F(GdiFonts, BoldAndItalicFacesDiffer) {
    GLYPHMETRICS regular, bold, italic;
    select(u"Arial");
    const auto r = outline('l', &regular);
    select(u"Arial", FW_BOLD);
    const auto b = outline('l', &bold);
    select(u"Arial", FW_NORMAL, true);
    const auto i = outline('l', &italic);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(dc_, &tm));
    EXPECT_EQ(tm.tmItalic, 1);
    EXPECT_GT(bold.gmCellIncX, regular.gmCellIncX);
    EXPECT_GT(bold.gmBlackBoxX, regular.gmBlackBoxX);
    EXPECT_GT(italic.gmBlackBoxX, regular.gmBlackBoxX);  // slanted
    EXPECT_NE(r, b);
    EXPECT_NE(r, i);
}

TEST_F(GdiFonts, KerningPairsFromTheKernTable) {
    select(u"Arial");
    const DWORD count = GetKerningPairsW(dc_, 0, nullptr);
    ASSERT_GT(count, 100u);
    std::vector<KERNINGPAIR> pairs(count);
    ASSERT_EQ(GetKerningPairsW(dc_, count, pairs.data()), count);
    bool av = false;
    for (const auto& p : pairs) {
        if (p.wFirst == 'A' && p.wSecond == 'V') {
            av = true;
            EXPECT_LT(p.iKernAmount, -20);
            EXPECT_GT(p.iKernAmount, -200);
        }
    }
    EXPECT_TRUE(av);
    std::vector<KERNINGPAIR> few(3);
    EXPECT_EQ(GetKerningPairsW(dc_, 3, few.data()), 3u);
    EXPECT_EQ(std::memcmp(few.data(), pairs.data(), 3 * sizeof(KERNINGPAIR)), 0);

    select(u"Courier New");  // Liberation Mono has no kern table
    EXPECT_EQ(GetKerningPairsW(dc_, 0, nullptr), 0u);
    EXPECT_EQ(GetKerningPairsW(dc_, 3, few.data()), 0u);
}

TEST_F(GdiFonts, CffOutlinesComeAsCubicRecords) {
    select(u"Nimbus Sans");
    GLYPHMETRICS gm;
    const auto o = parseNative(outline('O', &gm));
    ASSERT_EQ(o.size(), 2u);
    size_t cubic = 0;
    for (const auto& c : o) {
        for (const auto& r : c.records) {
            EXPECT_NE(r.type, TT_PRIM_QSPLINE);
            if (r.type == TT_PRIM_CSPLINE) {
                ++cubic;
                EXPECT_EQ(r.points.size() % 3, 0u);
            }
        }
        // The closing curve ends on the contour's start.
        ASSERT_FALSE(c.records.empty());
        EXPECT_EQ(c.records.back().points.back(), c.start);
    }
    EXPECT_GT(cubic, 0u);
    EXPECT_EQ(gm.gmCellIncX, 797);  // Helvetica's O: 778 of 1000, at 1024
}

struct Enumerated {
    std::vector<std::string> styles;
    std::vector<std::string> faces;
    std::vector<int> charsets;
    std::vector<DWORD> types;
    int stopAfter = -1;
};

int CALLBACK collect(const LOGFONTA* lf, const TEXTMETRICA*, DWORD type, LPARAM param) {
    auto* e = reinterpret_cast<Enumerated*>(param);
    const auto* elf = reinterpret_cast<const ENUMLOGFONTEXA*>(lf);
    e->styles.emplace_back(reinterpret_cast<const char*>(elf->elfStyle));
    e->faces.emplace_back(lf->lfFaceName);
    e->charsets.push_back(lf->lfCharSet);
    e->types.push_back(type);
    return e->stopAfter < 0 || static_cast<int>(e->styles.size()) < e->stopAfter;
}

int enumerate(HDC dc, const char* face, BYTE charset, Enumerated* e) {
    LOGFONTA lf{};
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    lf.lfCharSet = charset;
    return EnumFontFamiliesExA(dc, &lf, collect, reinterpret_cast<LPARAM>(e), 0);
}

TEST_F(GdiFonts, EnumerationListsTheStylesOfAFamily) {
    Enumerated all;
    EXPECT_EQ(enumerate(dc_, "Arial", DEFAULT_CHARSET, &all), 1);
    for (const char* style : {"Regular", "Bold", "Italic", "Bold Italic"}) {
        bool found = false;
        for (size_t i = 0; i < all.styles.size(); ++i)
            found = found || (all.styles[i] == style && all.charsets[i] == ANSI_CHARSET);
        EXPECT_TRUE(found) << style;
    }
    EXPECT_EQ(all.charsets.front(), ANSI_CHARSET);  // the preferred set comes first
    for (size_t i = 0; i < all.styles.size(); ++i) {
        EXPECT_EQ(all.types[i], DWORD(TRUETYPE_FONTTYPE));
        EXPECT_EQ(all.faces[i], "Arial");
    }

    Enumerated greek;
    enumerate(dc_, "Arial", GREEK_CHARSET, &greek);
    ASSERT_FALSE(greek.charsets.empty());
    for (int c : greek.charsets) EXPECT_EQ(c, GREEK_CHARSET);

    Enumerated stopped;
    stopped.stopAfter = 1;
    EXPECT_EQ(enumerate(dc_, "Arial", DEFAULT_CHARSET, &stopped), 0);
    EXPECT_EQ(stopped.styles.size(), 1u);

    Enumerated none;
    EXPECT_EQ(enumerate(dc_, "No Such Family Here", DEFAULT_CHARSET, &none), 1);
    EXPECT_TRUE(none.styles.empty());

    Enumerated cff;  // OpenType CFF faces count as outline fonts, once per style
    enumerate(dc_, "Nimbus Sans", ANSI_CHARSET, &cff);
    EXPECT_EQ(cff.styles.size(), 4u);
    for (DWORD t : cff.types) EXPECT_EQ(t, DWORD(TRUETYPE_FONTTYPE));

    LOGFONTA lf{};
    EXPECT_EQ(EnumFontFamiliesExA(nullptr, &lf, collect, 0, 0), 0);
}

TEST_F(GdiFonts, HandlesAreCheckedAndOwned) {
    HFONT font = CreateFontW(-100, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_TT_PRECIS, 0, 0, 0, u"Arial");
    ASSERT_NE(font, nullptr);
    const HGDIOBJ stock = SelectObject(dc_, font);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(dc_, font), font);
    // Deleting a selected font keeps it usable until the context lets go.
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font));
    TEXTMETRICW tm;
    EXPECT_TRUE(GetTextMetricsW(dc_, &tm));
    EXPECT_EQ(tm.tmHeight, 112);
    EXPECT_EQ(SelectObject(dc_, font), nullptr);
    EXPECT_EQ(SelectObject(dc_, stock), font);
    EXPECT_TRUE(GetTextMetricsW(dc_, &tm));  // the stock font works too

    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(stock)));
    EXPECT_FALSE(DeleteObject(dc_));
    EXPECT_EQ(SelectObject(dc_, dc_), nullptr);
    EXPECT_EQ(CreateICW(u"WINSPOOL", nullptr, nullptr, nullptr), nullptr);
    EXPECT_FALSE(GetTextMetricsW(reinterpret_cast<HDC>(0x1234567), &tm));
}

}  // namespace
