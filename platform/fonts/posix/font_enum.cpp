// Font enumeration: the faces of one family (or one face of every family)
// from fontconfig's list, each reported once per character set it supports.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "font_face.h"

#include <fontconfig/fontconfig.h>
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H
#include "support/text.h"

namespace tessaly::fonts {
namespace {

struct FaceEntry {
    std::string family;  // UTF-8, the first family name
    std::string fullName;
    std::string file;
    std::string format;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    int width = FC_WIDTH_NORMAL;
};

std::string patternString(FcPattern* p, const char* object) {
    FcChar8* s = nullptr;
    return FcPatternGetString(p, object, 0, &s) == FcResultMatch && s ? reinterpret_cast<const char*>(s) : "";
}

int patternInteger(FcPattern* p, const char* object, int fallback) {
    int v = fallback;
    if (FcPatternGetInteger(p, object, 0, &v) == FcResultMatch) return v;
    double d = 0;
    if (FcPatternGetDouble(p, object, 0, &d) == FcResultMatch) return static_cast<int>(d);
    return fallback;
}

// Scalable faces of a family (every family when empty).
std::vector<FaceEntry> listFaces(const std::string& family) {
    std::vector<FaceEntry> faces;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return faces;
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FULLNAME, FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT,
                                            FC_WIDTH, FC_FONTFORMAT, static_cast<char*>(nullptr));
    FcFontSet* set = objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    if (set) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* p = set->fonts[i];
            FaceEntry e;
            e.family = patternString(p, FC_FAMILY);
            e.fullName = patternString(p, FC_FULLNAME);
            e.file = patternString(p, FC_FILE);
            e.format = patternString(p, FC_FONTFORMAT);
            e.index = patternInteger(p, FC_INDEX, 0);
            e.weight = patternInteger(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
            e.slant = patternInteger(p, FC_SLANT, FC_SLANT_ROMAN);
            e.width = patternInteger(p, FC_WIDTH, FC_WIDTH_NORMAL);
            if (!e.file.empty()) faces.push_back(std::move(e));
        }
        FcFontSetDestroy(set);
    }
    if (objects) FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return faces;
}

bool isSfntFormat(const std::string& format) {
    return format == "TrueType" || format == "CFF";
}

// The name itself, then the aliases fontconfig binds strongly to it (its
// metric-compatible substitutes); weak bindings are mere fallbacks.
std::vector<std::string> familyCandidates(const std::string& name) {
    std::vector<std::string> names{name};
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return names;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcValue value;
    FcValueBinding binding;
    for (int i = 0; FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
        if (binding == FcValueBindingWeak || value.type != FcTypeString) continue;
        std::string alias = reinterpret_cast<const char*>(value.u.s);
        if (std::find(names.begin(), names.end(), alias) == names.end()) names.push_back(std::move(alias));
    }
    FcPatternDestroy(pattern);
    return names;
}

// One face per style: normal width when the family has it, outline formats
// that GetGlyphOutline serves preferred over Type 1 copies of the same style.
std::vector<FaceEntry> familyStyles(std::vector<FaceEntry> faces) {
    const bool hasNormal = std::any_of(faces.begin(), faces.end(),
                                       [](const FaceEntry& f) { return f.width == FC_WIDTH_NORMAL; });
    if (hasNormal)
        std::erase_if(faces, [](const FaceEntry& f) { return f.width != FC_WIDTH_NORMAL; });
    std::stable_sort(faces.begin(), faces.end(), [](const FaceEntry& a, const FaceEntry& b) {
        if (a.weight != b.weight) return a.weight < b.weight;
        if (a.slant != b.slant) return a.slant < b.slant;
        return isSfntFormat(a.format) && !isSfntFormat(b.format);
    });
    faces.erase(std::unique(faces.begin(), faces.end(),
                            [](const FaceEntry& a, const FaceEntry& b) {
                                return a.weight == b.weight && a.slant == b.slant;
                            }),
                faces.end());
    return faces;
}

void copyNarrow(CHAR* dest, size_t size, const std::string& utf8) {
    const std::string narrow = utf8ToNarrow(utf8.c_str());
    boundedCopy(dest, narrow.c_str(), size);
}

// Reports one face once per character set; false when the callback stopped.
bool reportOpenFace(FT_Face face, const std::string& fullName, const std::string& reportedName, BYTE wantedCharset,
                    FONTENUMPROCA proc, LPARAM param, int* result) {
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return true;
    TEXTMETRICW tm;
    faceTextMetrics(face, face->units_per_EM, &tm);

    NEWTEXTMETRICEXA ntm{};
    NEWTEXTMETRICA& n = ntm.ntmTm;
    n.tmHeight = tm.tmHeight;
    n.tmAscent = tm.tmAscent;
    n.tmDescent = tm.tmDescent;
    n.tmInternalLeading = tm.tmInternalLeading;
    n.tmExternalLeading = tm.tmExternalLeading;
    n.tmAveCharWidth = tm.tmAveCharWidth;
    n.tmMaxCharWidth = tm.tmMaxCharWidth;
    n.tmWeight = tm.tmWeight;
    n.tmDigitizedAspectX = tm.tmDigitizedAspectX;
    n.tmDigitizedAspectY = tm.tmDigitizedAspectY;
    n.tmFirstChar = static_cast<BYTE>(std::min<WCHAR>(tm.tmFirstChar, 0xFF));
    n.tmLastChar = static_cast<BYTE>(std::min<WCHAR>(tm.tmLastChar, 0xFF));
    n.tmDefaultChar = static_cast<BYTE>(std::min<WCHAR>(tm.tmDefaultChar, 0xFF));
    n.tmBreakChar = static_cast<BYTE>(std::min<WCHAR>(tm.tmBreakChar, 0xFF));
    n.tmItalic = tm.tmItalic ? 0xFF : 0;
    n.tmPitchAndFamily = tm.tmPitchAndFamily;
    n.ntmSizeEM = face->units_per_EM;
    n.ntmCellHeight = static_cast<UINT>(tm.tmHeight);
    n.ntmAvgWidth = static_cast<UINT>(tm.tmAveCharWidth);
    const bool italic = tm.tmItalic != 0;
    const bool bold = tm.tmWeight >= FW_SEMIBOLD;
    n.ntmFlags = (italic ? NTM_ITALIC : 0) | (bold ? NTM_BOLD : 0) | (!italic && !bold ? NTM_REGULAR : 0);
    const std::string format = FT_Get_Font_Format(face) ? FT_Get_Font_Format(face) : "";
    const bool sfnt = FT_IS_SFNT(face);
    if (sfnt) n.ntmFlags |= format == "CFF" ? NTM_PS_OPENTYPE : NTM_TT_OPENTYPE;
    else if (format == "Type 1") n.ntmFlags |= NTM_TYPE1;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF) {
        ntm.ntmFontSig.fsUsb[0] = static_cast<DWORD>(os2->ulUnicodeRange1);
        ntm.ntmFontSig.fsUsb[1] = static_cast<DWORD>(os2->ulUnicodeRange2);
        ntm.ntmFontSig.fsUsb[2] = static_cast<DWORD>(os2->ulUnicodeRange3);
        ntm.ntmFontSig.fsUsb[3] = static_cast<DWORD>(os2->ulUnicodeRange4);
        ntm.ntmFontSig.fsCsb[0] = static_cast<DWORD>(os2->ulCodePageRange1);
        ntm.ntmFontSig.fsCsb[1] = static_cast<DWORD>(os2->ulCodePageRange2);
    }
    const DWORD fontType = sfnt ? TRUETYPE_FONTTYPE : 0;

    ENUMLOGFONTEXA elf{};
    LOGFONTA& lf = elf.elfLogFont;
    lf.lfHeight = tm.tmHeight;
    lf.lfWidth = tm.tmAveCharWidth;
    lf.lfWeight = tm.tmWeight;
    lf.lfItalic = italic ? 0xFF : 0;
    lf.lfOutPrecision = OUT_STROKE_PRECIS;
    lf.lfClipPrecision = CLIP_STROKE_PRECIS;
    lf.lfQuality = DRAFT_QUALITY;
    lf.lfPitchAndFamily = static_cast<BYTE>(((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH) |
                                            (tm.tmPitchAndFamily & 0xF0));
    copyNarrow(lf.lfFaceName, sizeof lf.lfFaceName, reportedName);
    copyNarrow(reinterpret_cast<CHAR*>(elf.elfFullName), sizeof elf.elfFullName, fullName);
    copyNarrow(reinterpret_cast<CHAR*>(elf.elfStyle), sizeof elf.elfStyle, face->style_name ? face->style_name : "");

    for (BYTE charset : faceCharsets(face)) {
        if (wantedCharset != DEFAULT_CHARSET && charset != wantedCharset) continue;
        lf.lfCharSet = charset;
        n.tmCharSet = charset;
        std::memset(elf.elfScript, 0, sizeof elf.elfScript);
        boundedCopy(reinterpret_cast<CHAR*>(elf.elfScript), charsetScript(charset), sizeof elf.elfScript);
        *result = proc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICA*>(&ntm), fontType, param);
        if (*result == 0) return false;
    }
    return true;
}

bool reportFace(const FaceEntry& entry, const std::string& reportedName, BYTE wantedCharset, FONTENUMPROCA proc,
                LPARAM param, int* result) {
    FreeTypeFace ft;
    if (!ft.open(entry.file.c_str(), entry.index)) return true;
    FT_Face face = ft.face();
    std::string full = entry.fullName;
    if (full.empty()) full = entry.family + " " + (face->style_name ? face->style_name : "");
    return reportOpenFace(face, full, reportedName, wantedCharset, proc, param, result);
}

// A registered face, under the name it was registered with.
bool reportPrivateFace(const PrivateFace& entry, BYTE wantedCharset, FONTENUMPROCA proc, LPARAM param,
                       int* result) {
    FreeTypeFace ft;
    if (!ft.open(entry.bytes, entry.index)) return true;
    FT_Face face = ft.face();
    const std::string style = face->style_name ? face->style_name : "";
    const std::string full = style.empty() || style == "Regular" ? entry.family : entry.family + " " + style;
    return reportOpenFace(face, full, entry.family, wantedCharset, proc, param, result);
}

}  // namespace
}  // namespace tessaly::fonts

using namespace tessaly::fonts;

int WINAPI EnumFontFamiliesExA(HDC dc, LOGFONTA* logFont, FONTENUMPROCA proc, LPARAM param, DWORD /*flags*/) {
    if (!validDc(dc) || !logFont || !proc) return 0;
    initFontconfig();
    const std::string name(logFont->lfFaceName, strnlen(logFont->lfFaceName, LF_FACESIZE));
    const std::string utf8 = tessaly::latin1ToUtf8(name);
    const BYTE wanted = logFont->lfCharSet;
    int result = 1;

    if (utf8.empty()) {
        // Registered families first, one face each, then the installed ones.
        std::vector<std::string> reported;
        for (const PrivateFace& face : privateFaces("")) {
            const bool seen = std::any_of(reported.begin(), reported.end(), [&](const std::string& f) {
                return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(f.c_str()),
                                          reinterpret_cast<const FcChar8*>(face.family.c_str())) == 0;
            });
            if (seen) continue;
            reported.push_back(face.family);
            if (!reportPrivateFace(face, wanted, proc, param, &result)) return result;
        }
        // One face of every family, the one closest to regular.
        std::vector<FaceEntry> faces = listFaces("");
        std::stable_sort(faces.begin(), faces.end(), [](const FaceEntry& a, const FaceEntry& b) {
            if (a.family != b.family) return a.family < b.family;
            const auto distance = [](const FaceEntry& f) {
                return std::abs(f.weight - FC_WEIGHT_REGULAR) + std::abs(f.slant) + std::abs(f.width - FC_WIDTH_NORMAL) +
                       (isSfntFormat(f.format) ? 0 : 1);
            };
            return distance(a) < distance(b);
        });
        for (size_t i = 0; i < faces.size(); ++i) {
            if (i > 0 && faces[i].family == faces[i - 1].family) continue;
            // A registered family hides the installed one of its name.
            const bool hidden = std::any_of(reported.begin(), reported.end(), [&](const std::string& f) {
                return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(f.c_str()),
                                          reinterpret_cast<const FcChar8*>(faces[i].family.c_str())) == 0;
            });
            if (hidden) continue;
            if (!reportFace(faces[i], faces[i].family, wanted, proc, param, &result)) break;
        }
        return result;
    }

    // A registered family hides an installed one of the same name.
    if (const std::vector<PrivateFace> registered = privateFaces(utf8); !registered.empty()) {
        for (const PrivateFace& face : registered)
            if (!reportPrivateFace(face, wanted, proc, param, &result)) break;
        return result;
    }
    for (const std::string& family : familyCandidates(utf8)) {
        std::vector<FaceEntry> faces = listFaces(family);
        if (faces.empty()) continue;
        for (const FaceEntry& face : familyStyles(std::move(faces)))
            if (!reportFace(face, utf8, wanted, proc, param, &result)) break;
        break;
    }
    return result;
}
