#pragma once
// GDI font services: an information context, logical fonts, text metrics,
// kerning pairs, glyph outlines in the native TrueType polygon layout and
// font enumeration. On Windows these are the system's own calls; elsewhere
// this header declares the same names, layouts and constants, implemented
// over fontconfig (finding the face) and FreeType (outlines and metrics).
//
// Behaviour callers can rely on (both platforms):
// - A font created with a negative height h has an em of |h| units; outline
//   coordinates are 16.16 fixed values in those units, y up, relative to the
//   glyph origin on the baseline.
// - GetGlyphOutlineW(GGO_NATIVE) with a null buffer or a zero size returns
//   the byte count; with a buffer it returns the byte count again, or
//   GDI_ERROR when the buffer is too small. An outline without contours (a
//   space) has 0 bytes. A character the font lacks gives the font's default
//   glyph, as Windows does.
// - The buffer is a sequence of TTPOLYGONHEADER records (cb = bytes of the
//   contour including its header), each followed by TTPOLYCURVE records
//   (wType, cpfx, apfx[cpfx]). Quadratic outlines give TT_PRIM_LINE and
//   TT_PRIM_QSPLINE records (one QSPLINE per run of off-curve points, ending
//   on an on-curve point; the on-curve midpoints between consecutive control
//   points are implied); cubic (CFF) outlines give TT_PRIM_CSPLINE records of
//   3k points. Each contour is closed implicitly back to pfxStart.
//
// Linux specifics: handles are table entries, so a stale or foreign handle is
// refused rather than followed. A face name that no installed family carries
// resolves through fontconfig's metric-compatible aliases ("Arial" gives
// Liberation Sans, "Courier New" Liberation Mono) and otherwise to the
// default face, as the Windows font mapper always finds some font.
// Enumerating such a name lists the faces of the alias under the requested
// name. Kerning pairs come from the 'kern' table; fonts that kern only
// through OpenType GPOS report 0 pairs. GetGlyphOutlineW supports
// GGO_METRICS and GGO_NATIVE (with GGO_GLYPH_INDEX and GGO_UNHINTED);
// bitmap formats and GGO_BEZIER return GDI_ERROR.

#ifdef _WIN32
#include <windows.h>
#else

#include "platform/win_types.h"

#define LF_FACESIZE 32
#define LF_FULLFACESIZE 64

#define GDI_ERROR 0xFFFFFFFFu

// Character sets.
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define MAC_CHARSET 77
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define JOHAB_CHARSET 130
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define VIETNAMESE_CHARSET 163
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define BALTIC_CHARSET 186
#define RUSSIAN_CHARSET 204
#define THAI_CHARSET 222
#define EASTEUROPE_CHARSET 238
#define OEM_CHARSET 255

// Output, clipping and quality requests.
#define OUT_DEFAULT_PRECIS 0
#define OUT_STRING_PRECIS 1
#define OUT_CHARACTER_PRECIS 2
#define OUT_STROKE_PRECIS 3
#define OUT_TT_PRECIS 4
#define OUT_DEVICE_PRECIS 5
#define OUT_RASTER_PRECIS 6
#define OUT_TT_ONLY_PRECIS 7
#define OUT_OUTLINE_PRECIS 8
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_CHARACTER_PRECIS 1
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4

// Pitch and family.
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50

// Weights.
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

// tmPitchAndFamily bits (TMPF_FIXED_PITCH set means variable pitch).
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04
#define TMPF_DEVICE 0x08

// Font types passed to the enumeration callback.
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004

// ntmFlags.
#define NTM_ITALIC 0x00000001
#define NTM_BOLD 0x00000020
#define NTM_REGULAR 0x00000040
#define NTM_NONNEGATIVE_AC 0x00010000
#define NTM_PS_OPENTYPE 0x00020000
#define NTM_TT_OPENTYPE 0x00040000
#define NTM_MULTIPLEMASTER 0x00080000
#define NTM_TYPE1 0x00100000
#define NTM_DSIG 0x00200000

// GetGlyphOutline formats and flags.
#define GGO_METRICS 0
#define GGO_BITMAP 1
#define GGO_NATIVE 2
#define GGO_BEZIER 3
#define GGO_GRAY2_BITMAP 4
#define GGO_GRAY4_BITMAP 5
#define GGO_GRAY8_BITMAP 6
#define GGO_GLYPH_INDEX 0x0080
#define GGO_UNHINTED 0x0100

#define TT_POLYGON_TYPE 24
#define TT_PRIM_LINE 1
#define TT_PRIM_QSPLINE 2
#define TT_PRIM_CSPLINE 3

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA;

typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW;

typedef struct tagENUMLOGFONTEXA {
    LOGFONTA elfLogFont;
    BYTE elfFullName[LF_FULLFACESIZE];
    BYTE elfStyle[LF_FACESIZE];
    BYTE elfScript[LF_FACESIZE];
} ENUMLOGFONTEXA;

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA;

typedef struct tagTEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICW;

typedef struct tagNEWTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
    DWORD ntmFlags;
    UINT ntmSizeEM;
    UINT ntmCellHeight;
    UINT ntmAvgWidth;
} NEWTEXTMETRICA;

typedef struct tagFONTSIGNATURE {
    DWORD fsUsb[4];
    DWORD fsCsb[2];
} FONTSIGNATURE;

typedef struct tagNEWTEXTMETRICEXA {
    NEWTEXTMETRICA ntmTm;
    FONTSIGNATURE ntmFontSig;
} NEWTEXTMETRICEXA;

// The callback receives an ENUMLOGFONTEXA and a NEWTEXTMETRICEXA behind these
// pointers; returning 0 stops the enumeration.
typedef int(CALLBACK* FONTENUMPROCA)(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM);

typedef struct tagKERNINGPAIR {
    WORD wFirst;
    WORD wSecond;
    int iKernAmount;
} KERNINGPAIR;

// A 16.16 fixed value, fraction first as in memory on little-endian Windows.
typedef struct _FIXED {
    WORD fract;
    SHORT value;
} FIXED;

typedef struct _MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
} MAT2;

typedef struct _GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;
    SHORT gmCellIncX;
    SHORT gmCellIncY;
} GLYPHMETRICS;

typedef struct tagPOINTFX {
    FIXED x;
    FIXED y;
} POINTFX;

typedef struct tagTTPOLYCURVE {
    WORD wType;
    WORD cpfx;
    POINTFX apfx[1];
} TTPOLYCURVE;

typedef struct tagTTPOLYGONHEADER {
    DWORD cb;
    DWORD dwType;
    POINTFX pfxStart;
} TTPOLYGONHEADER;

static_assert(sizeof(FIXED) == 4 && sizeof(POINTFX) == 8, "Windows fixed-point layout");
static_assert(sizeof(TTPOLYGONHEADER) == 16 && sizeof(TTPOLYCURVE) == 12, "Windows polygon layout");
static_assert(sizeof(GLYPHMETRICS) == 20 && sizeof(KERNINGPAIR) == 8, "Windows record sizes");
static_assert(sizeof(LOGFONTA) == 60 && sizeof(LOGFONTW) == 92, "Windows LOGFONT sizes");

// The entry points have C linkage, as gdi32's do.
extern "C" {

// An information context; only "DISPLAY" (or a null driver name) is known.
HDC WINAPI CreateICW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* mode);
HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCWSTR faceName);
HFONT WINAPI CreateFontIndirectW(const LOGFONTW* logFont);
// Returns the object selected before, or null when dc or object is not valid.
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
BOOL WINAPI GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
// With a null buffer, the number of pairs of the selected font; otherwise the
// number copied (at most count). 0 on failure.
DWORD WINAPI GetKerningPairsW(HDC dc, DWORD count, KERNINGPAIR* pairs);
DWORD WINAPI GetGlyphOutlineW(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics,
                              DWORD bufferSize, LPVOID buffer, const MAT2* matrix);
// Calls proc for each face (and character set) of the family in
// logFont->lfFaceName (every family when it is empty), limited to
// logFont->lfCharSet unless that is DEFAULT_CHARSET. Returns the callback's
// last result (1 when nothing was enumerated), 0 for a bad argument.
int WINAPI EnumFontFamiliesExA(HDC dc, LOGFONTA* logFont, FONTENUMPROCA proc, LPARAM param,
                               DWORD flags);
BOOL WINAPI DeleteObject(HGDIOBJ object);
BOOL WINAPI DeleteDC(HDC dc);
// Registers the fonts in a block of memory for this process (see
// tessaly::fonts::addPrivateFont) under their own family names; *faces
// receives the number of faces. Null when the bytes hold no usable font.
HANDLE WINAPI AddFontMemResourceEx(LPVOID data, DWORD size, LPVOID reserved, DWORD* faces);
BOOL WINAPI RemoveFontMemResourceEx(HANDLE handle);

}  // extern "C"

#endif  // !_WIN32

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace tessaly::fonts {

// Private fonts: faces a program registers from memory (TrueType, OpenType
// CFF, Type 1 as PFB or PFA; every face of a collection). They live until
// removed, for the whole process and every thread, and are served like
// installed faces: CreateFontW with the registered name (exact, without case)
// finds them before any installed family, EnumFontFamiliesExA lists them, and
// metrics, kerning and outlines (cubic for CFF and Type 1) come from them.
//
// `faceName` (UTF-16, null-terminated) is the family name to register under;
// null or empty keeps the font's own. `glyphMap` (Unicode value, glyph index)
// replaces the font's own character map when given, for subset fonts whose
// map cannot be trusted. Returns a handle for removePrivateFont, or null when
// the bytes hold no scalable face; `faces` receives the number of faces.
[[nodiscard]] HANDLE addPrivateFont(const void* data, size_t size, const char16_t* faceName,
                                    std::span<const std::pair<char32_t, uint32_t>> glyphMap = {},
                                    DWORD* faces = nullptr);
// Removes a registration; fonts realized from it keep working until they go.
// False for a handle that is not (or no longer) registered.
bool removePrivateFont(HANDLE handle);

}  // namespace tessaly::fonts
