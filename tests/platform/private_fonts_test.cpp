// Fonts registered from memory: served like installed faces under the name
// they were registered with, for TrueType, CFF and Type 1 bytes, with a
// caller's character map, and for as long as they stay registered.

#include "platform/gdi_fonts.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kLiberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr const char* kNimbusCff = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr const char* kNimbusType1 = "/usr/share/fonts/X11/Type1/NimbusSans-Regular.pfb";
constexpr const char* kCollection = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// UTF-16 text as the GDI calls take it (wchar_t on Windows).
LPCWSTR wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32
// The glyph index of a character of DejaVu Sans, as the system maps it.
unsigned glyphOf(const char*, char32_t character) {
    HDC dc = CreateICW(wide(u"DISPLAY"), nullptr, nullptr, nullptr);
    HFONT font = CreateFontW(-1024, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, 0, 0, 0,
                             wide(u"DejaVu Sans"));
    HGDIOBJ previous = SelectObject(dc, font);
    const wchar_t text = wchar_t(character);
    WORD glyph = 0;
    if (GetGlyphIndicesW(dc, &text, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) != 1 || glyph == 0xFFFF) glyph = 0;
    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
    return glyph;
}
#else
// The glyph index of a character in a font file, read by FreeType directly.
unsigned glyphOf(const char* path, char32_t character) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    unsigned glyph = 0;
    if (FT_Init_FreeType(&library) == 0) {
        if (FT_New_Face(library, path, 0, &face) == 0) {
            glyph = FT_Get_Char_Index(face, character);
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
    }
    return glyph;
}
#endif

// A context with one font selected; everything is given back at the end.
class Selected {
public:
    Selected(const char16_t* face, int weight = FW_NORMAL, bool italic = false) {
        dc_ = CreateICW(wide(u"DISPLAY"), nullptr, nullptr, nullptr);
        font_ = CreateFontW(-1024, 0, 0, 0, weight, italic, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, 0, 0, 0, wide(face));
        previous_ = SelectObject(dc_, font_);
    }
    ~Selected() {
        SelectObject(dc_, previous_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

    std::vector<uint8_t> outline(UINT character, UINT flags = 0) const {
        MAT2 m{};
        m.eM11.value = 1;
        m.eM22.value = 1;
        GLYPHMETRICS gm{};
        const DWORD size = GetGlyphOutlineW(dc_, character, GGO_NATIVE | flags, &gm, 0, nullptr, &m);
        if (size == GDI_ERROR) return {0xEE};  // never a valid outline
        std::vector<uint8_t> data(size);
        if (size && GetGlyphOutlineW(dc_, character, GGO_NATIVE | flags, &gm, size, data.data(), &m) != size)
            return {0xEE};
        return data;
    }
    TEXTMETRICW metrics() const {
        TEXTMETRICW tm{};
        EXPECT_TRUE(GetTextMetricsW(dc_, &tm));
        return tm;
    }
    DWORD kerningPairs() const { return GetKerningPairsW(dc_, 0, nullptr); }
    HDC dc() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// The record types of a native outline, in order.
std::vector<WORD> recordTypes(const std::vector<uint8_t>& data) {
    std::vector<WORD> types;
    size_t at = 0;
    while (at + sizeof(TTPOLYGONHEADER) <= data.size()) {
        TTPOLYGONHEADER header;
        std::memcpy(&header, data.data() + at, sizeof header);
        if (header.cb <= sizeof header || at + header.cb > data.size()) return {};
        for (size_t r = at + sizeof header; r + 4 <= at + header.cb;) {
            WORD head[2];
            std::memcpy(head, data.data() + r, sizeof head);
            types.push_back(head[0]);
            r += 4 + head[1] * sizeof(POINTFX);
        }
        at += header.cb;
    }
    return types;
}

struct Enumerated {
    std::vector<std::string> names;
    std::vector<DWORD> flags;
    std::vector<DWORD> types;
};

Enumerated enumerate(const char* family) {
    Enumerated out;
    HDC dc = CreateICW(wide(u"DISPLAY"), nullptr, nullptr, nullptr);
    LOGFONTA lf{};
    std::strncpy(lf.lfFaceName, family, LF_FACESIZE - 1);
    lf.lfCharSet = ANSI_CHARSET;
    EnumFontFamiliesExA(
        dc, &lf,
        [](const LOGFONTA* logFont, const TEXTMETRICA* tm, DWORD type, LPARAM param) -> int {
            auto* o = reinterpret_cast<Enumerated*>(param);
            o->names.emplace_back(logFont->lfFaceName);
            o->flags.push_back(reinterpret_cast<const NEWTEXTMETRICEXA*>(tm)->ntmTm.ntmFlags);
            o->types.push_back(type);
            return 1;
        },
        reinterpret_cast<LPARAM>(&out), 0);
    DeleteDC(dc);
    return out;
}

TEST(PrivateFonts, RegisteredBytesServeLikeTheInstalledFaceUntilRemoved) {
    const auto bytes = readFile(kDejaVu);
    ASSERT_FALSE(bytes.empty());
    DWORD faces = 0;
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Private Test", {}, &faces);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(faces, 1u);

    const Selected installed(u"DejaVu Sans");
    auto kept = std::make_unique<Selected>(u"tessaly private TEST");  // names match without case
    for (UINT c : {UINT('A'), UINT('g'), UINT(0x416), UINT(' ')}) {
        EXPECT_EQ(kept->outline(c), installed.outline(c)) << c;
    }
    EXPECT_EQ(kept->metrics().tmAscent, installed.metrics().tmAscent);
    EXPECT_EQ(kept->metrics().tmAveCharWidth, installed.metrics().tmAveCharWidth);
    EXPECT_GT(kept->kerningPairs(), 0u);
    EXPECT_EQ(kept->kerningPairs(), installed.kerningPairs());

    const Enumerated listed = enumerate("Tessaly Private Test");
    ASSERT_FALSE(listed.names.empty());
    EXPECT_EQ(listed.names[0], "Tessaly Private Test");
    EXPECT_EQ(listed.types[0], DWORD(TRUETYPE_FONTTYPE));
    bool inFullList = false;
    for (const std::string& name : enumerate("").names) inFullList = inFullList || name == "Tessaly Private Test";
    EXPECT_TRUE(inFullList);

    // The caller's bytes may go at once; a font realized before the removal
    // keeps drawing, new requests no longer find the name.
    const auto before = kept->outline('A');
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    EXPECT_FALSE(tessaly::fonts::removePrivateFont(handle));
    EXPECT_EQ(kept->outline('A'), before);
    kept.reset();
#ifndef _WIN32
    // Wine keeps memory fonts until the process ends (its
    // RemoveFontMemResourceEx accepts any handle and removes nothing).
    EXPECT_TRUE(enumerate("Tessaly Private Test").names.empty());
#endif
}

#ifndef _WIN32
// On Windows the system's font mapper chooses between a memory font and an
// installed family of the same name (Wine takes the installed one).
TEST(PrivateFonts, RegisteredNameWinsOverAnInstalledFamily) {
    const auto bytes = readFile(kLiberation);
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"DejaVu Sans");
    ASSERT_NE(handle, nullptr);
    {
        const Selected hidden(u"DejaVu Sans");
        const Selected liberation(u"Liberation Sans");
        EXPECT_EQ(hidden.outline('R'), liberation.outline('R'));
        EXPECT_EQ(enumerate("DejaVu Sans").names.size(), 1u);  // only the registered face
        const auto all = enumerate("").names;
        EXPECT_EQ(std::count(all.begin(), all.end(), "DejaVu Sans"), 1);
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    const Selected installed(u"DejaVu Sans");
    const Selected liberation(u"Liberation Sans");
    EXPECT_NE(installed.outline('R'), liberation.outline('R'));
}
#endif

#ifdef _WIN32
// Windows registers no Type 1 font from memory (only from .pfm/.pfb files),
// and the outline format is GDI's affair (Wine gives quadratic outlines for
// CFF): a CFF face registers and draws under its new name.
TEST(PrivateFonts, CffRegistersAndType1IsRefused) {
    const auto cff = readFile(kNimbusCff);
    ASSERT_FALSE(cff.empty());
    HANDLE handle = tessaly::fonts::addPrivateFont(cff.data(), cff.size(), u"Tessaly Cubic Test");
    ASSERT_NE(handle, nullptr);
    {
        const Selected font(u"Tessaly Cubic Test");
        EXPECT_FALSE(recordTypes(font.outline('S')).empty());
        // Not some other face the mapper fell back to.
        const Selected fallback(u"DejaVu Sans");
        EXPECT_NE(font.outline('S'), fallback.outline('S'));
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    const auto type1 = readFile(kNimbusType1);
    ASSERT_FALSE(type1.empty());
    DWORD faces = 9;
    EXPECT_EQ(tessaly::fonts::addPrivateFont(type1.data(), type1.size(), u"Tessaly Type 1", {}, &faces), nullptr);
    EXPECT_EQ(faces, 0u);
}
#else
TEST(PrivateFonts, CffAndType1OutlinesStayCubic) {
    for (const char* path : {kNimbusCff, kNimbusType1}) {
        const auto bytes = readFile(path);
        ASSERT_FALSE(bytes.empty()) << path;
        HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Cubic Test");
        ASSERT_NE(handle, nullptr) << path;
        {
            const Selected font(u"Tessaly Cubic Test");
            const auto types = recordTypes(font.outline('S'));
            ASSERT_FALSE(types.empty()) << path;
            for (WORD t : types) EXPECT_TRUE(t == TT_PRIM_CSPLINE || t == TT_PRIM_LINE) << path;
            EXPECT_NE(std::find(types.begin(), types.end(), WORD(TT_PRIM_CSPLINE)), types.end()) << path;
            const Enumerated listed = enumerate("Tessaly Cubic Test");
            ASSERT_EQ(listed.flags.size(), 1u) << path;
            EXPECT_EQ((listed.flags[0] & NTM_TYPE1) != 0, path == kNimbusType1);
        }
        EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    }
}
#endif

TEST(PrivateFonts, CallersCharacterMapReplacesTheFonts) {
    const auto bytes = readFile(kDejaVu);
    const unsigned glyphB = glyphOf(kDejaVu, 'B');
    ASSERT_NE(glyphB, 0u);
    const std::pair<char32_t, uint32_t> map[] = {{U'A', glyphB}, {U'\u20AC', glyphB}};
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Mapped Test", map);
    ASSERT_NE(handle, nullptr);
    {
        const Selected mapped(u"Tessaly Mapped Test");
        const Selected installed(u"DejaVu Sans");
        EXPECT_EQ(mapped.outline('A'), installed.outline('B'));
        EXPECT_EQ(mapped.outline(0x20AC), installed.outline('B'));
        // Characters the map lacks get the default glyph, whatever the
        // font's own map says.
        EXPECT_EQ(mapped.outline('C'), installed.outline(0, GGO_GLYPH_INDEX));
        EXPECT_EQ(mapped.outline(glyphB, GGO_GLYPH_INDEX), installed.outline('B'));
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));

    // A map naming a glyph the font does not have is refused.
    const std::pair<char32_t, uint32_t> beyond[] = {{U'A', 0xFFFF}};
    EXPECT_EQ(tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Bad Map", beyond), nullptr);
}

// A map of runs whose glyphs do not follow the characters, alone (a 16-bit
// map) and with characters beyond the Basic Multilingual Plane (a 32-bit map
// beside it).
TEST(PrivateFonts, ScrambledRunsAndAstralCharactersKeepTheirGlyphs) {
    const auto bytes = readFile(kDejaVu);
    std::vector<std::pair<char32_t, uint32_t>> map;
    for (char32_t c = U'a'; c <= U'z'; ++c) map.emplace_back(c, glyphOf(kDejaVu, U'a' + (U'z' - c)));
    for (char32_t c = U'0'; c <= U'9'; ++c) map.emplace_back(c, glyphOf(kDejaVu, c));  // one delta
    for (const auto& entry : map) ASSERT_NE(entry.second, 0u);
    const Selected installed(u"DejaVu Sans");
    for (const bool astral : {false, true}) {
        if (astral) {
            map.emplace_back(U'\U0001F600', glyphOf(kDejaVu, U'Q'));
            map.emplace_back(U'\U0001F601', glyphOf(kDejaVu, U'R'));
        }
        const char16_t* name = astral ? u"Tessaly Astral Test" : u"Tessaly Runs Test";
        HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), name, map);
        ASSERT_NE(handle, nullptr) << astral;
        {
            const Selected mapped(name);
            for (char32_t c : {U'a', U'm', U'n', U'z'})
                EXPECT_EQ(mapped.outline(c), installed.outline(U'a' + (U'z' - c))) << astral;
            EXPECT_EQ(mapped.outline('7'), installed.outline('7')) << astral;
            EXPECT_NE(mapped.outline('A'), installed.outline('A')) << astral;  // not in the map
#ifndef _WIN32
            // GetGlyphOutlineW takes UTF-16 code units on Windows: nothing
            // beyond U+FFFF reaches a font's map through it (Wine gives the
            // default glyph even for installed fonts). There the lookups
            // above show the 32-bit map, which the system prefers.
            if (astral) {
                EXPECT_EQ(mapped.outline(0x1F601), installed.outline('R'));
            }
#endif
        }
        EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    }
}

TEST(PrivateFonts, BadRegistrationsAreRefused) {
    const std::vector<uint8_t> junk(4096, 0x5A);
    DWORD faces = 7;
    EXPECT_EQ(tessaly::fonts::addPrivateFont(junk.data(), junk.size(), u"Junk", {}, &faces), nullptr);
    EXPECT_EQ(faces, 0u);
    EXPECT_EQ(tessaly::fonts::addPrivateFont(nullptr, 100, u"Junk"), nullptr);
    const auto bytes = readFile(kDejaVu);
    // A truncated font is refused rather than read past its end.
    EXPECT_EQ(tessaly::fonts::addPrivateFont(bytes.data(), 64, u"Junk"), nullptr);
    EXPECT_FALSE(tessaly::fonts::removePrivateFont(reinterpret_cast<HANDLE>(uintptr_t{0x1234})));
    EXPECT_FALSE(tessaly::fonts::removePrivateFont(nullptr));
#ifndef _WIN32
    // On Windows these calls are the system's own.
    int reserved = 0;
    EXPECT_EQ(AddFontMemResourceEx(const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()), &reserved,
                                   &faces),
              nullptr);
    EXPECT_EQ(AddFontMemResourceEx(const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()), nullptr,
                                   nullptr),
              nullptr);
    EXPECT_FALSE(RemoveFontMemResourceEx(nullptr));
#endif

    // The Windows call registers under the font's own family name.
    HANDLE handle = AddFontMemResourceEx(const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                         nullptr, &faces);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(faces, 1u);
    EXPECT_TRUE(RemoveFontMemResourceEx(handle));
}

TEST(PrivateFonts, EveryFaceOfACollectionIsRegistered) {
    const auto bytes = readFile(kCollection);
    ASSERT_FALSE(bytes.empty());
    DWORD faces = 0;
    HANDLE handle =
        tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Collection Test", {}, &faces);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(faces, 2u);
    {
        const Selected font(u"Tessaly Collection Test");
        const Selected installed(u"WenQuanYi Micro Hei");
        EXPECT_EQ(font.outline(0x4E2D), installed.outline(0x4E2D));
        EXPECT_FALSE(recordTypes(font.outline(0x4E2D)).empty());
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
    // A collection whose face offsets point past its end is refused.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 4096);
    EXPECT_EQ(tessaly::fonts::addPrivateFont(cut.data(), cut.size(), u"Tessaly Collection Cut"), nullptr);
}

#ifdef _WIN32
// Windows keeps 31 characters of a requested face name, so a longer family
// could never be selected; it is refused rather than registered unreachable.
TEST(PrivateFonts, FamilyNamesWindowsCannotSelectAreRefused) {
    const auto bytes = readFile(kDejaVu);
    EXPECT_EQ(tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly A Family Name Longer Than 31"),
              nullptr);
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Name Of 31 Characters!!");
    ASSERT_NE(handle, nullptr);
    {
        const Selected font(u"Tessaly Name Of 31 Characters!!");
        const Selected installed(u"DejaVu Sans");
        EXPECT_EQ(font.outline('Q'), installed.outline('Q'));
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
}
#endif

TEST(PrivateFonts, MissingStylesAreSimulated) {
    const auto bytes = readFile(kDejaVu);
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Styles Test");
    ASSERT_NE(handle, nullptr);
    {
        const Selected regular(u"Tessaly Styles Test");
        const Selected bold(u"Tessaly Styles Test", FW_BOLD);
        const Selected italic(u"Tessaly Styles Test", FW_NORMAL, true);
        EXPECT_EQ(regular.metrics().tmWeight, FW_NORMAL);
        EXPECT_EQ(bold.metrics().tmWeight, FW_BOLD);
        EXPECT_NE(italic.metrics().tmItalic, 0);  // Windows says 255
        EXPECT_NE(bold.outline('l'), regular.outline('l'));
        EXPECT_NE(italic.outline('l'), regular.outline('l'));
    }
    EXPECT_TRUE(tessaly::fonts::removePrivateFont(handle));
}

TEST(PrivateFonts, RegistrationIsSafeAcrossThreads) {
    const auto bytes = readFile(kDejaVu);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const std::u16string name = u"Tessaly Thread " + std::u16string(1, char16_t(u'A' + t));
            for (int round = 0; round < 5; ++round) {
                HANDLE handle = tessaly::fonts::addPrivateFont(bytes.data(), bytes.size(), name.c_str());
                if (!handle) {
                    ++failures;
                    continue;
                }
                {
                    const Selected font(name.c_str());
                    if (font.outline('A').size() < sizeof(TTPOLYGONHEADER)) ++failures;
                }
                if (!tessaly::fonts::removePrivateFont(handle)) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
