#pragma once
// The printer driver interface: the types, constants and entry points that
// the graphics engine and a user-mode printer graphics driver share, with
// the names, values and layouts of the Windows driver interface (winddi.h),
// so that the driver's source compiles unchanged against the Windows
// headers. On Windows this header is the system's own; elsewhere it declares
// the same things, and the engine side (Eng..., *OBJ_...) is implemented by
// the GDI layer's library over pixman and cairo.
//
// Sizes follow 64-bit Windows: LONG and ULONG are 32 bits, pointers and
// ULONG_PTR are pointer-sized, FLOATL is a float.
#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <winddi.h>
#else

#include <cstddef>
#include <cstdint>

#include "platform/gdi_fonts.h"

extern "C" {

typedef void VOID;
typedef float FLOAT;
typedef uint16_t USHORT;
typedef uint8_t UCHAR;
typedef int32_t WINBOOL;
typedef uint32_t FLONG;
typedef int16_t FSHORT;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef void *PVOID;
typedef BYTE *PBYTE;
typedef BYTE *LPBYTE;
typedef WCHAR *LPWSTR;
typedef WCHAR *PWSTR;
typedef ULONG *PULONG;
typedef DWORD *LPDWORD;
typedef uint16_t COLOR16;
typedef char *PCHAR;
typedef DWORD *PDWORD;

#ifndef APIENTRY
#define APIENTRY
#endif
#ifndef FAR
#define FAR
#endif

// The library that implements the engine exports its functions with default
// visibility, so that a driver loaded later binds to the same objects.
#define WIN32KAPI __attribute__((visibility("default")))

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
} LARGE_INTEGER;

typedef struct _POINTL {
    LONG x;
    LONG y;
} POINTL, *PPOINTL;

typedef struct _RECTL {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECTL, *PRECTL;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE;
typedef SIZE SIZEL;
typedef SIZE *PSIZEL;

TESSALY_DECLARE_HANDLE(HPALETTE);
TESSALY_DECLARE_HANDLE(HBITMAP);

typedef struct tagCOLORADJUSTMENT {
    WORD caSize;
    WORD caFlags;
    WORD caIlluminantIndex;
    WORD caRedGamma;
    WORD caGreenGamma;
    WORD caBlueGamma;
    WORD caReferenceBlack;
    WORD caReferenceWhite;
    SHORT caContrast;
    SHORT caBrightness;
    SHORT caColorfulness;
    SHORT caRedGreenTint;
} COLORADJUSTMENT;

#define HALFTONE 4
#define COLORONCOLOR 3
#define BLACKONWHITE 1
#define WHITEONBLACK 2

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;

typedef struct tagPANOSE {
    BYTE bFamilyType;
    BYTE bSerifStyle;
    BYTE bWeight;
    BYTE bProportion;
    BYTE bContrast;
    BYTE bStrokeVariation;
    BYTE bArmStyle;
    BYTE bLetterform;
    BYTE bMidline;
    BYTE bXHeight;
} PANOSE;

typedef struct _TRIVERTEX {
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
} TRIVERTEX, *PTRIVERTEX;

typedef struct _GRADIENT_TRIANGLE {
    ULONG Vertex1;
    ULONG Vertex2;
    ULONG Vertex3;
} GRADIENT_TRIANGLE;

typedef struct _GRADIENT_RECT {
    ULONG UpperLeft;
    ULONG LowerRight;
} GRADIENT_RECT;

#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001
#define GRADIENT_FILL_TRIANGLE 0x00000002
#define GRADIENT_FILL_OP_FLAG 0x000000ff

typedef struct _BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
} BLENDFUNCTION;

#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

// The device mode: 220 bytes of public fields, then dmDriverExtra bytes of
// the driver's own data.
#define CCHDEVICENAME 32
#define CCHFORMNAME 32

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"  // the unnamed unions of the Windows layout
typedef struct _devicemodeW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    union {
        struct {
            short dmOrientation;
            short dmPaperSize;
            short dmPaperLength;
            short dmPaperWidth;
            short dmScale;
            short dmCopies;
            short dmDefaultSource;
            short dmPrintQuality;
        };
        struct {
            POINTL dmPosition;
            DWORD dmDisplayOrientation;
            DWORD dmDisplayFixedOutput;
        };
    };
    short dmColor;
    short dmDuplex;
    short dmYResolution;
    short dmTTOption;
    short dmCollate;
    WCHAR dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    union {
        DWORD dmDisplayFlags;
        DWORD dmNup;
    };
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW, *LPDEVMODEW;
#pragma GCC diagnostic pop

#define DM_SPECVERSION 0x0401

#define DM_ORIENTATION 0x00000001
#define DM_PAPERSIZE 0x00000002
#define DM_PAPERLENGTH 0x00000004
#define DM_PAPERWIDTH 0x00000008
#define DM_SCALE 0x00000010
#define DM_POSITION 0x00000020
#define DM_NUP 0x00000040
#define DM_DISPLAYORIENTATION 0x00000080
#define DM_COPIES 0x00000100
#define DM_DEFAULTSOURCE 0x00000200
#define DM_PRINTQUALITY 0x00000400
#define DM_COLOR 0x00000800
#define DM_DUPLEX 0x00001000
#define DM_YRESOLUTION 0x00002000
#define DM_TTOPTION 0x00004000
#define DM_COLLATE 0x00008000
#define DM_FORMNAME 0x00010000
#define DM_LOGPIXELS 0x00020000
#define DM_BITSPERPEL 0x00040000
#define DM_PELSWIDTH 0x00080000
#define DM_PELSHEIGHT 0x00100000
#define DM_DISPLAYFLAGS 0x00200000
#define DM_DISPLAYFREQUENCY 0x00400000
#define DM_ICMMETHOD 0x00800000
#define DM_ICMINTENT 0x01000000
#define DM_MEDIATYPE 0x02000000
#define DM_DITHERTYPE 0x04000000
#define DM_PANNINGWIDTH 0x08000000
#define DM_PANNINGHEIGHT 0x10000000
#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_LETTER 1
#define DMPAPER_TABLOID 3
#define DMPAPER_LEGAL 5
#define DMPAPER_EXECUTIVE 7
#define DMPAPER_A3 8
#define DMPAPER_A4 9
#define DMPAPER_A5 11
#define DMPAPER_B4 12
#define DMPAPER_B5 13
#define DMPAPER_FOLIO 14
#define DMPAPER_QUARTO 15
#define DMPAPER_10X14 16
#define DMPAPER_11X17 17
#define DMPAPER_JAPANESE_POSTCARD 43
#define DMPAPER_9X11 44
#define DMPAPER_10X11 45
#define DMPAPER_15X11 46
#define DMPAPER_USER 256
#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)

#define DT_RASPRINTER 2

// Thread error values the driver reports.
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BAD_DRIVER_LEVEL 119
#define ERROR_INSUFFICIENT_BUFFER 122

// Binary raster operations (foreground mixes).
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

// Common ternary raster operations.
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

#define GDI_DRIVER_VERSION 0x4000

typedef FLOAT FLOATL;
typedef SHORT FWORD;
typedef LONG LDECI4;
typedef ULONG IDENT;
typedef ULONG_PTR HFF;
typedef ULONG_PTR HFC;
typedef LONG PTRDIFF;
typedef PTRDIFF *PPTRDIFF;
typedef LONG FIX;
typedef FIX *PFIX;
typedef ULONG ROP4;
typedef ULONG MIX;
typedef ULONG HGLYPH;
typedef HGLYPH *PHGLYPH;
typedef FLOAT FLOATOBJ;
typedef FLOAT *PFLOATOBJ;

typedef LONG_PTR(APIENTRY *PFN)();

TESSALY_DECLARE_HANDLE(HBM);
TESSALY_DECLARE_HANDLE(HDEV);
TESSALY_DECLARE_HANDLE(HSURF);
TESSALY_DECLARE_HANDLE(DHSURF);
TESSALY_DECLARE_HANDLE(DHPDEV);
TESSALY_DECLARE_HANDLE(HDRVOBJ);

#define FD_ERROR 0xFFFFFFFF
#define DDI_ERROR 0xFFFFFFFF
#define HGLYPH_INVALID ((HGLYPH)-1)

#define LTOFX(x) ((x) << 4)
#define FXTOL(x) ((x) >> 4)
#define FXTOLFLOOR(x) ((x) >> 4)
#define FXTOLCEILING(x) ((x + 0x0F) >> 4)
#define FXTOLROUND(x) ((((x) >> 3) + 1) >> 1)

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_SP3 0x00020003
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define FP_ALTERNATEMODE 1
#define FP_WINDINGMODE 2
#define DCR_SOLID 0
#define DCR_DRIVER 1
#define DCR_HALFTONE 2
#define GX_IDENTITY 0
#define GX_OFFSET 1
#define GX_SCALE 2
#define GX_GENERAL 3
#define BR_DEVICE_ICM 0x01
#define BR_HOST_ICM 0x02
#define BR_CMYKCOLOR 0x04
#define BR_ORIGCOLOR 0x08
#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
#define FC_RECT 1
#define FC_RECT4 2
#define FC_COMPLEX 3
#define TC_RECTANGLES 0
#define TC_PATHOBJ 2
#define OC_BANK_CLIP 1
#define GCAPS_BEZIERS 0x00000001
#define GCAPS_GEOMETRICWIDE 0x00000002
#define GCAPS_ALTERNATEFILL 0x00000004
#define GCAPS_WINDINGFILL 0x00000008
#define GCAPS_HALFTONE 0x00000010
#define GCAPS_COLOR_DITHER 0x00000020
#define GCAPS_HORIZSTRIKE 0x00000040
#define GCAPS_VERTSTRIKE 0x00000080
#define GCAPS_OPAQUERECT 0x00000100
#define GCAPS_VECTORFONT 0x00000200
#define GCAPS_MONO_DITHER 0x00000400
#define GCAPS_ASYNCCHANGE 0x00000800
#define GCAPS_ASYNCMOVE 0x00001000
#define GCAPS_DONTJOURNAL 0x00002000
#define GCAPS_DIRECTDRAW 0x00004000
#define GCAPS_ARBRUSHOPAQUE 0x00008000
#define GCAPS_PANNING 0x00010000
#define GCAPS_HIGHRESTEXT 0x00040000
#define GCAPS_PALMANAGED 0x00080000
#define GCAPS_DITHERONREALIZE 0x00200000
#define GCAPS_NO64BITMEMACCESS 0x00400000
#define GCAPS_FORCEDITHER 0x00800000
#define GCAPS_GRAY16 0x01000000
#define GCAPS_ICM 0x02000000
#define GCAPS_CMYKCOLOR 0x04000000
#define GCAPS_LAYERED 0x08000000
#define GCAPS_ARBRUSHTEXT 0x10000000
#define GCAPS_SCREENPRECISION 0x20000000
#define GCAPS_FONT_RASTERIZER 0x40000000
#define GCAPS_NUP 0x80000000
#define BMF_1BPP (1)
#define BMF_4BPP (2)
#define BMF_8BPP (3)
#define BMF_16BPP (4)
#define BMF_24BPP (5)
#define BMF_32BPP (6)
#define BMF_4RLE (7)
#define BMF_8RLE (8)
#define BMF_JPEG (9)
#define BMF_PNG (10)
#define INDEX_DrvEnablePDEV (0)
#define INDEX_DrvCompletePDEV (1)
#define INDEX_DrvDisablePDEV (2)
#define INDEX_DrvEnableSurface (3)
#define INDEX_DrvDisableSurface (4)
#define INDEX_DrvAssertMode (5)
#define INDEX_DrvOffset (6)
#define INDEX_DrvResetPDEV (7)
#define INDEX_DrvDisableDriver (8)
#define INDEX_DrvUnknown1 (9)
#define INDEX_DrvCreateDeviceBitmap (10)
#define INDEX_DrvDeleteDeviceBitmap (11)
#define INDEX_DrvRealizeBrush (12)
#define INDEX_DrvDitherColor (13)
#define INDEX_DrvStrokePath (14)
#define INDEX_DrvFillPath (15)
#define INDEX_DrvStrokeAndFillPath (16)
#define INDEX_DrvPaint (17)
#define INDEX_DrvBitBlt (18)
#define INDEX_DrvCopyBits (19)
#define INDEX_DrvStretchBlt (20)
#define INDEX_DrvUnknown2 (21)
#define INDEX_DrvSetPalette (22)
#define INDEX_DrvTextOut (23)
#define INDEX_DrvEscape (24)
#define INDEX_DrvDrawEscape (25)
#define INDEX_DrvQueryFont (26)
#define INDEX_DrvQueryFontTree (27)
#define INDEX_DrvQueryFontData (28)
#define INDEX_DrvSetPointerShape (29)
#define INDEX_DrvMovePointer (30)
#define INDEX_DrvLineTo (31)
#define INDEX_DrvSendPage (32)
#define INDEX_DrvStartPage (33)
#define INDEX_DrvEndDoc (34)
#define INDEX_DrvStartDoc (35)
#define INDEX_DrvUnknown3 (36)
#define INDEX_DrvGetGlyphMode (37)
#define INDEX_DrvSynchronize (38)
#define INDEX_DrvUnknown4 (39)
#define INDEX_DrvSaveScreenBits (40)
#define INDEX_DrvGetModes (41)
#define INDEX_DrvFree (42)
#define INDEX_DrvDestroyFont (43)
#define INDEX_DrvQueryFontCaps (44)
#define INDEX_DrvLoadFontFile (45)
#define INDEX_DrvUnloadFontFile (46)
#define INDEX_DrvFontManagement (47)
#define INDEX_DrvQueryTrueTypeTable (48)
#define INDEX_DrvQueryTrueTypeOutline (49)
#define INDEX_DrvGetTrueTypeFile (50)
#define INDEX_DrvQueryFontFile (51)
#define INDEX_DrvMovePanning (52)
#define INDEX_DrvQueryAdvanceWidths (53)
#define INDEX_DrvSetPixelFormat (54)
#define INDEX_DrvDescribePixelFormat (55)
#define INDEX_DrvSwapBuffers (56)
#define INDEX_DrvStartBanding (57)
#define INDEX_DrvNextBand (58)
#define INDEX_DrvGetDirectDrawInfo (59)
#define INDEX_DrvEnableDirectDraw (60)
#define INDEX_DrvDisableDirectDraw (61)
#define INDEX_DrvQuerySpoolType (62)
#define INDEX_DrvUnknown5 (63)
#define INDEX_DrvIcmCreateColorTransform (64)
#define INDEX_DrvIcmDeleteColorTransform (65)
#define INDEX_DrvIcmCheckBitmapBits (66)
#define INDEX_DrvIcmSetDeviceGammaRamp (67)
#define INDEX_DrvGradientFill (68)
#define INDEX_DrvStretchBltROP (69)
#define INDEX_DrvPlgBlt (70)
#define INDEX_DrvAlphaBlend (71)
#define INDEX_DrvSynthesizeFont (72)
#define INDEX_DrvGetSynthesizedFontFiles (73)
#define INDEX_DrvTransparentBlt (74)
#define INDEX_DrvQueryPerBandInfo (75)
#define INDEX_DrvQueryDeviceSupport (76)
#define INDEX_DrvReserved1 (77)
#define INDEX_DrvReserved2 (78)
#define INDEX_DrvReserved3 (79)
#define INDEX_DrvReserved4 (80)
#define INDEX_DrvReserved5 (81)
#define INDEX_DrvReserved6 (82)
#define INDEX_DrvReserved7 (83)
#define INDEX_DrvReserved8 (84)
#define INDEX_DrvDeriveSurface (85)
#define INDEX_DrvQueryGlyphAttrs (86)
#define INDEX_DrvNotify (87)
#define INDEX_DrvSynchronizeSurface (88)
#define INDEX_DrvResetDevice (89)
#define INDEX_DrvReserved9 (90)
#define INDEX_DrvReserved10 (91)
#define INDEX_DrvReserved11 (92)
#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_SP3 0x00020003
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define DDI_DRIVER_VERSION_NT5_01_SP1 0x00030101
#define FO_ATTR_MODE_ROTATE 1
#define GS_UNICODE_HANDLES 0x00000001
#define GS_8BIT_HANDLES 0x00000002
#define GS_16BIT_HANDLES 0x00000004
#define FM_SEL_ITALIC 0x0001
#define FM_SEL_UNDERSCORE 0x0002
#define FM_SEL_NEGATIVE 0x0004
#define FM_SEL_OUTLINED 0x0008
#define FM_SEL_STRIKEOUT 0x0010
#define FM_SEL_BOLD 0x0020
#define FM_SEL_REGULAR 0x0040
#define FO_DEVICE_FONT (1)
#define FO_OUTLINE_CAPABLE (2)
#define FO_TYPE_RASTER RASTER_FONTTYPE
#define FO_TYPE_DEVICE DEVICE_FONTTYPE
#define FO_TYPE_TRUETYPE TRUETYPE_FONTTYPE
#define FO_TYPE_OPENTYPE OPENTYPE_FONTTYPE
#define FO_SIM_BOLD 0x00002000
#define FO_SIM_ITALIC 0x00004000
#define FO_EM_HEIGHT 0x00008000
#define FO_GRAY16 0x00010000
#define FO_NOGRAY16 0x00020000
#define FO_NOHINTS 0x00040000
#define FO_NO_CHOICE 0x00080000
#define FO_CFF 0x00100000
#define FO_POSTSCRIPT 0x00200000
#define FO_MULTIPLEMASTER 0x00400000
#define FO_VERT_FACE 0x00800000
#define FO_DBCS_FONT 0X01000000
#define FO_NOCLEARTYPE 0x02000000
#define FO_CLEARTYPE_X 0x10000000
#define FO_CLEARTYPE_Y 0x20000000
#define PRIMARY_ORDER_ABC 0
#define PRIMARY_ORDER_ACB 1
#define PRIMARY_ORDER_BAC 2
#define PRIMARY_ORDER_BCA 3
#define PRIMARY_ORDER_CBA 4
#define PRIMARY_ORDER_CAB 5
#define HT_PATSIZE_2x2 0
#define HT_PATSIZE_2x2_M 1
#define HT_PATSIZE_4x4 2
#define HT_PATSIZE_4x4_M 3
#define HT_PATSIZE_6x6 4
#define HT_PATSIZE_6x6_M 5
#define HT_PATSIZE_8x8 6
#define HT_PATSIZE_8x8_M 7
#define HT_PATSIZE_10x10 8
#define HT_PATSIZE_10x10_M 9
#define HT_PATSIZE_12x12 10
#define HT_PATSIZE_12x12_M 11
#define HT_PATSIZE_14x14 12
#define HT_PATSIZE_14x14_M 13
#define HT_PATSIZE_16x16 14
#define HT_PATSIZE_16x16_M 15
#define HT_PATSIZE_SUPERCELL 16
#define HT_PATSIZE_SUPERCELL_M 17
#define HT_PATSIZE_USER 18
#define HT_PATSIZE_MAX_INDEX HT_PATSIZE_USER
#define HT_PATSIZE_DEFAULT HT_PATSIZE_SUPERCELL_M
#define HT_FORMAT_1BPP 0
#define HT_FORMAT_4BPP 2
#define HT_FORMAT_4BPP_IRGB 3
#define HT_FORMAT_8BPP 4
#define HT_FORMAT_16BPP 5
#define HT_FORMAT_24BPP 6
#define HT_FORMAT_32BPP 7
#define HT_FLAG_HAS_BLACK_DYE 0x00000002
#define PD_BEGINSUBPATH 0x00000001
#define PD_ENDSUBPATH 0x00000002
#define PD_RESETSTYLE 0x00000004
#define PD_CLOSEFIGURE 0x00000008
#define PD_BEZIERS 0x00000010
#define PO_BEZIERS 0x00000001
#define PO_ELLIPSE 0x00000002
#define PO_ALL_INTEGERS 0x00000004
#define PO_ENUM_AS_INTEGERS 0x00000008
#define FM_VERSION_NUMBER 0x0
#define FM_TYPE_LICENSED 0x2
#define FM_READONLY_EMBED 0x4
#define FM_EDITABLE_EMBED 0x8
#define FM_NO_EMBEDDING FM_TYPE_LICENSED
#define FM_INFO_TECH_TRUETYPE 0x00000001
#define FM_INFO_TECH_BITMAP 0x00000002
#define FM_INFO_TECH_STROKE 0x00000004
#define FM_INFO_TECH_OUTLINE_NOT_TRUETYPE 0x00000008
#define FM_INFO_ARB_XFORMS 0x00000010
#define FM_INFO_1BPP 0x00000020
#define FM_INFO_4BPP 0x00000040
#define FM_INFO_8BPP 0x00000080
#define FM_INFO_16BPP 0x00000100
#define FM_INFO_24BPP 0x00000200
#define FM_INFO_32BPP 0x00000400
#define FM_INFO_INTEGER_WIDTH 0x00000800
#define FM_INFO_CONSTANT_WIDTH 0x00001000
#define FM_INFO_NOT_CONTIGUOUS 0x00002000
#define FM_INFO_TECH_MM 0x00004000
#define FM_INFO_RETURNS_OUTLINES 0x00008000
#define FM_INFO_RETURNS_STROKES 0x00010000
#define FM_INFO_RETURNS_BITMAPS 0x00020000
#define FM_INFO_DSIG 0x00040000
#define FM_INFO_RIGHT_HANDED 0x00080000
#define FM_INFO_INTEGRAL_SCALING 0x00100000
#define FM_INFO_90DEGREE_ROTATIONS 0x00200000
#define FM_INFO_OPTICALLY_FIXED_PITCH 0x00400000
#define FM_INFO_DO_NOT_ENUMERATE 0x00800000
#define FM_INFO_ISOTROPIC_SCALING_ONLY 0x01000000
#define FM_INFO_ANISOTROPIC_SCALING_ONLY 0x02000000
#define FM_INFO_TECH_CFF 0x04000000
#define FM_INFO_FAMILY_EQUIV 0x08000000
#define FM_INFO_DBCS_FIXED_PITCH 0x10000000
#define FM_INFO_NONNEGATIVE_AC 0x20000000
#define FM_INFO_IGNORE_TC_RA_ABLE 0x40000000
#define FM_INFO_TECH_TYPE1 0x80000000
#define LA_GEOMETRIC 0x00000001
#define LA_ALTERNATE 0x00000002
#define LA_STARTGAP 0x00000004
#define LA_STYLED 0x00000008
#define JOIN_ROUND (0)
#define JOIN_BEVEL (1)
#define JOIN_MITER (2)
#define ENDCAP_ROUND (0)
#define ENDCAP_SQUARE (1)
#define ENDCAP_BUTT (2)
#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001
#define SO_HORIZONTAL 0x00000002
#define SO_VERTICAL 0x00000004
#define SO_REVERSED 0x00000008
#define SO_ZERO_BEARINGS 0x00000010
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040
#define SO_DO_NOT_SUBSTITUTE_DEVICE_FONT 0x00000080
#define SO_GLYPHINDEX_TEXTOUT 0x00000100
#define SO_ESC_NOT_ORIENT 0x00000200
#define SO_DXDY 0x00000400
#define SO_CHARACTER_EXTRA 0x00000800
#define SO_BREAK_EXTRA 0x00001000
#define STYPE_BITMAP (0)
#define STYPE_DEVICE (1)
#define STYPE_DEVBITMAP (3)
#define BMF_TOPDOWN 0x0001
#define BMF_NOZEROINIT 0x0002
#define BMF_DONTCACHE 0x0004
#define BMF_USERMEM 0x0008
#define BMF_KMSECTION 0x0010
#define BMF_NOTSYSMEM 0x0020
#define BMF_WINDOW_BLT 0x0040
#define BMF_UMPDMEM 0x0080
#define BMF_RESERVED 0xFF00
#define XO_TRIVIAL 0x00000001
#define XO_TABLE 0x00000002
#define XO_TO_MONO 0x00000004
#define XO_FROM_CMYK 0x00000008
#define XO_DEVICE_ICM 0x00000010
#define XO_HOST_ICM 0x00000020
#define CT_RECTANGLES (0)
#define CD_RIGHTDOWN 0x00000000
#define CD_LEFTDOWN 0x00000001
#define CD_LEFTWARDS 0x00000001
#define CD_RIGHTUP 0x00000002
#define CD_UPWARDS 0x00000002
#define CD_LEFTUP 0x00000003
#define CD_ANY 0x00000004
#define FL_ZERO_MEMORY 0x00000001
#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_PLGBLT 0x00000004
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400
#define HOOK_MOVEPANNING 0x00000800
#define HOOK_SYNCHRONIZE 0x00001000
#define HOOK_STRETCHBLTROP 0x00002000
#define HOOK_SYNCHRONIZEACCESS 0x00004000
#define HOOK_TRANSPARENTBLT 0x00008000
#define HOOK_ALPHABLEND 0x00010000
#define HOOK_GRADIENTFILL 0x00020000
#define HOOK_FLAGS 0x0003b5ff
#define PAL_INDEXED 0x00000001
#define PAL_BITFIELDS 0x00000002
#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008
#define PAL_CMYK 0x00000010
#define XF_LTOL (0)
#define XF_INV_LTOL (1)
#define XF_LTOFX (2)
#define XF_INV_FXTOL (3)
#define XO_SRCPALETTE 1
#define XO_DESTPALETTE 2
#define XO_DESTDCPALETTE 3
#define XO_SRCBITFIELDS 4
#define XO_DESTBITFIELDS 5
#define ED_ABORTDOC 0x00000001
#define FO_HGLYPHS (0)
#define FO_GLYPHBITS (1)
#define FO_PATHOBJ (2)
#define DRVQUERY_USERMODE 0x00000001

#define PD_ALL (PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | PD_CLOSEFIGURE | PD_BEZIERS)

typedef struct _POINTE {
    FLOATL x;
    FLOATL y;
} POINTE, *PPOINTE;

typedef union _FLOAT_LONG {
    FLOATL e;
    LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

typedef struct _POINTFIX {
    FIX x;
    FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
    FIX xLeft;
    FIX yTop;
    FIX xRight;
    FIX yBottom;
} RECTFX, *PRECTFX;

typedef struct _POINTQF {
    LARGE_INTEGER x;
    LARGE_INTEGER y;
} POINTQF, *PPOINTQF;

typedef struct _BLENDOBJ {
    BLENDFUNCTION BlendFunction;
} BLENDOBJ, *PBLENDOBJ;

typedef struct _BRUSHOBJ {
    ULONG iSolidColor;
    PVOID pvRbrush;
    FLONG flColorType;
} BRUSHOBJ;

typedef struct _CIECHROMA {
    LDECI4 x;
    LDECI4 y;
    LDECI4 Y;
} CIECHROMA;

typedef struct _RUN {
    LONG iStart;
    LONG iStop;
} RUN, *PRUN;

typedef struct _CLIPLINE {
    POINTFIX ptfxA;
    POINTFIX ptfxB;
    LONG lStyleState;
    ULONG c;
    RUN arun[1];
} CLIPLINE, *PCLIPLINE;

typedef struct _CLIPOBJ {
    ULONG iUniq;
    RECTL rclBounds;
    BYTE iDComplexity;
    BYTE iFComplexity;
    BYTE iMode;
    BYTE fjOptions;
} CLIPOBJ;

typedef struct _COLORINFO {
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LDECI4 RedGamma;
    LDECI4 GreenGamma;
    LDECI4 BlueGamma;
    LDECI4 MagentaInCyanDye;
    LDECI4 YellowInCyanDye;
    LDECI4 CyanInMagentaDye;
    LDECI4 YellowInMagentaDye;
    LDECI4 CyanInYellowDye;
    LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _DEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HPALETTE hpalDefault;
    FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

typedef struct _DRVFN {
    ULONG iFunc;
    PFN pfn;
} DRVFN, *PDRVFN;

typedef struct _DRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;
    DRVFN *pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

typedef struct _ENUMRECTS {
    ULONG c;
    RECTL arcl[1];
} ENUMRECTS;

typedef struct _FD_XFORM {
    FLOATL eXX;
    FLOATL eXY;
    FLOATL eYX;
    FLOATL eYY;
} FD_XFORM, *PFD_XFORM;

typedef struct _FD_DEVICEMETRICS {
    FLONG flRealizedType;
    POINTE pteBase;
    POINTE pteSide;
    LONG lD;
    FIX fxMaxAscender;
    FIX fxMaxDescender;
    POINTL ptlUnderline1;
    POINTL ptlStrikeout;
    POINTL ptlULThickness;
    POINTL ptlSOThickness;
    ULONG cxMax;
    ULONG cyMax;
    ULONG cjGlyphMax;
    FD_XFORM fdxQuantized;
    LONG lNonLinearExtLeading;
    LONG lNonLinearIntLeading;
    LONG lNonLinearMaxCharWidth;
    LONG lNonLinearAvgCharWidth;
    LONG lMinA;
    LONG lMinC;
    LONG lMinD;
    LONG alReserved[1];
} FD_DEVICEMETRICS, *PFD_DEVICEMETRICS;

typedef struct _WCRUN {
    WCHAR wcLow;
    USHORT cGlyphs;
    HGLYPH *phg;
} WCRUN, *PWCRUN;

typedef struct _FD_GLYPHSET {
    ULONG cjThis;
    FLONG flAccel;
    ULONG cGlyphsSupported;
    ULONG cRuns;
    WCRUN awcrun[1];
} FD_GLYPHSET, *PFD_GLYPHSET;

typedef struct _FD_KERNINGPAIR {
    WCHAR wcFirst;
    WCHAR wcSecond;
    FWORD fwdKern;
} FD_KERNINGPAIR;

typedef struct _FLOATOBJ_XFORM {
    FLOATOBJ eM11;
    FLOATOBJ eM12;
    FLOATOBJ eM21;
    FLOATOBJ eM22;
    FLOATOBJ eDx;
    FLOATOBJ eDy;
} FLOATOBJ_XFORM, *PFLOATOBJ_XFORM, FAR *LPFLOATOBJ_XFORM;

typedef struct _FONTDIFF {
    BYTE jReserved1;
    BYTE jReserved2;
    BYTE jReserved3;
    BYTE bWeight;
    USHORT usWinWeight;
    FSHORT fsSelection;
    FWORD fwdAveCharWidth;
    FWORD fwdMaxCharInc;
    POINTL ptlCaret;
} FONTDIFF;

typedef struct _FONTSIM {
    PTRDIFF dpBold;
    PTRDIFF dpItalic;
    PTRDIFF dpBoldItalic;
} FONTSIM;

typedef struct _FONTINFO {
    ULONG cjThis;
    FLONG flCaps;
    ULONG cGlyphsSupported;
    ULONG cjMaxGlyph1;
    ULONG cjMaxGlyph4;
    ULONG cjMaxGlyph8;
    ULONG cjMaxGlyph32;
} FONTINFO, *PFONTINFO;

typedef struct _FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG_PTR iTTUniq;
    ULONG_PTR iFile;
    SIZE sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer;
    PVOID pvProducer;
} FONTOBJ;

typedef struct _GDIINFO {
    ULONG ulVersion;
    ULONG ulTechnology;
    ULONG ulHorzSize;
    ULONG ulVertSize;
    ULONG ulHorzRes;
    ULONG ulVertRes;
    ULONG cBitsPixel;
    ULONG cPlanes;
    ULONG ulNumColors;
    ULONG flRaster;
    ULONG ulLogPixelsX;
    ULONG ulLogPixelsY;
    ULONG flTextCaps;
    ULONG ulDACRed;
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;
    ULONG ulPrimaryOrder;
    ULONG ulHTPatternSize;
    ULONG ulHTOutputFormat;
    ULONG flHTFlags;
    ULONG ulVRefresh;
    ULONG ulBltAlignment;
    ULONG ulPanningHorzRes;
    ULONG ulPanningVertRes;
    ULONG xPanningAlignment;
    ULONG yPanningAlignment;
    ULONG cxHTPat;
    ULONG cyHTPat;
    LPBYTE pHTPatA;
    LPBYTE pHTPatB;
    LPBYTE pHTPatC;
    ULONG flShadeBlend;
    ULONG ulPhysicalPixelCharacteristics;
    ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

typedef struct _PATHDATA {
    FLONG flags;
    ULONG count;
    POINTFIX *pptfx;
} PATHDATA, *PPATHDATA;

typedef struct _PATHOBJ {
    FLONG fl;
    ULONG cCurves;
} PATHOBJ;

typedef struct _GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[1];
} GLYPHBITS;

typedef union _GLYPHDEF {
    GLYPHBITS *pgb;
    PATHOBJ *ppo;
} GLYPHDEF;

typedef struct _GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF *pgdf;
    POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef struct _GLYPHDATA {
    GLYPHDEF gdf;
    HGLYPH hg;
    FIX fxD;
    FIX fxA;
    FIX fxAB;
    FIX fxInkTop;
    FIX fxInkBottom;
    RECTL rclInk;
    POINTQF ptqD;
} GLYPHDATA;

typedef struct _IFIEXTRA {
    ULONG ulIdentifier;
    PTRDIFF dpFontSig;
    ULONG cig;
    PTRDIFF dpDesignVector;
    PTRDIFF dpAxesInfoW;
    ULONG aulReserved[1];
} IFIEXTRA, *PIFIEXTRA;

typedef struct _IFIMETRICS {
    ULONG cjThis;
    ULONG cjIfiExtra;
    PTRDIFF dpwszFamilyName;
    PTRDIFF dpwszStyleName;
    PTRDIFF dpwszFaceName;
    PTRDIFF dpwszUniqueName;
    PTRDIFF dpFontSim;
    LONG lEmbedId;
    LONG lItalicAngle;
    LONG lCharBias;
    PTRDIFF dpCharSets;
    BYTE jWinCharSet;
    BYTE jWinPitchAndFamily;
    USHORT usWinWeight;
    ULONG flInfo;
    USHORT fsSelection;
    USHORT fsType;
    FWORD fwdUnitsPerEm;
    FWORD fwdLowestPPEm;
    FWORD fwdWinAscender;
    FWORD fwdWinDescender;
    FWORD fwdMacAscender;
    FWORD fwdMacDescender;
    FWORD fwdMacLineGap;
    FWORD fwdTypoAscender;
    FWORD fwdTypoDescender;
    FWORD fwdTypoLineGap;
    FWORD fwdAveCharWidth;
    FWORD fwdMaxCharInc;
    FWORD fwdCapHeight;
    FWORD fwdXHeight;
    FWORD fwdSubscriptXSize;
    FWORD fwdSubscriptYSize;
    FWORD fwdSubscriptXOffset;
    FWORD fwdSubscriptYOffset;
    FWORD fwdSuperscriptXSize;
    FWORD fwdSuperscriptYSize;
    FWORD fwdSuperscriptXOffset;
    FWORD fwdSuperscriptYOffset;
    FWORD fwdUnderscoreSize;
    FWORD fwdUnderscorePosition;
    FWORD fwdStrikeoutSize;
    FWORD fwdStrikeoutPosition;
    BYTE chFirstChar;
    BYTE chLastChar;
    BYTE chDefaultChar;
    BYTE chBreakChar;
    WCHAR wcFirstChar;
    WCHAR wcLastChar;
    WCHAR wcDefaultChar;
    WCHAR wcBreakChar;
    POINTL ptlBaseline;
    POINTL ptlAspect;
    POINTL ptlCaret;
    RECTL rclFontBox;
    BYTE achVendId[4];
    ULONG cKerningPairs;
    ULONG ulPanoseCulture;
    PANOSE panose;
#if UINTPTR_MAX > 0xFFFFFFFFu  // as on 64-bit Windows
    PVOID Align;
#endif
} IFIMETRICS, *PIFIMETRICS;

typedef struct _LINEATTRS {
    FLONG fl;
    ULONG iJoin;
    ULONG iEndCap;
    FLOAT_LONG elWidth;
    FLOATL eMiterLimit;
    ULONG cstyle;
    PFLOAT_LONG pstyle;
    FLOAT_LONG elStyleState;
} LINEATTRS, *PLINEATTRS;

typedef struct _PALOBJ {
    ULONG ulReserved;
} PALOBJ;

typedef struct _STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS *pgp;
    LPWSTR pwszOrg;
} STROBJ;

typedef struct _SURFOBJ {
    DHSURF dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
} SURFOBJ;

typedef struct _XFORML {
    FLOATL eM11;
    FLOATL eM12;
    FLOATL eM21;
    FLOATL eM22;
    FLOATL eDx;
    FLOATL eDy;
} XFORML, *PXFORML;

typedef struct _XFORMOBJ {
    ULONG ulReserved;
} XFORMOBJ;

typedef struct _XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;
    USHORT iSrcType;
    USHORT iDstType;
    ULONG cEntries;
    ULONG *pulXlate;
} XLATEOBJ;

// Engine services.
WIN32KAPI PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj);

WIN32KAPI PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo);

WIN32KAPI ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ *pbo);

WIN32KAPI HANDLE APIENTRY BRUSHOBJ_hGetColorTransform(BRUSHOBJ *pbo);

WIN32KAPI WINBOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pv);

WIN32KAPI ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, WINBOOL bAll, ULONG iType, ULONG iDirection,
                                            ULONG cLimit);

WIN32KAPI PATHOBJ *APIENTRY CLIPOBJ_ppoGetPath(CLIPOBJ *pco);

WIN32KAPI PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag);

WIN32KAPI VOID APIENTRY EngFreeMem(PVOID Mem);

WIN32KAPI WINBOOL APIENTRY EngAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                         RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj);

WIN32KAPI WINBOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);

WIN32KAPI WINBOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                     XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                                     BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4);

WIN32KAPI WINBOOL APIENTRY EngCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                       RECTL *prclDest, POINTL *pptlSrc);

WIN32KAPI HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);

WIN32KAPI HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors, FLONG flRed,
                                             FLONG flGreen, FLONG flBlue);

WIN32KAPI PATHOBJ *APIENTRY EngCreatePath(VOID);

WIN32KAPI WINBOOL APIENTRY EngDeletePalette(HPALETTE hpal);

WIN32KAPI VOID APIENTRY EngDeletePath(PATHOBJ *ppo);

WIN32KAPI WINBOOL APIENTRY EngDeleteSurface(HSURF hsurf);

WIN32KAPI WINBOOL APIENTRY EngEraseSurface(SURFOBJ *pso, RECTL *prcl, ULONG iColor);

WIN32KAPI WINBOOL APIENTRY EngFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                                       POINTL *pptlBrushOrg, MIX mix, FLONG flOptions);

WIN32KAPI ULONG APIENTRY EngGetLastError(VOID);

WIN32KAPI WINBOOL APIENTRY EngGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex,
                                           ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL *prclExtents,
                                           POINTL *pptlDitherOrg, ULONG ulMode);

WIN32KAPI SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf);

WIN32KAPI WINBOOL APIENTRY EngMarkBandingSurface(HSURF hsurf);

WIN32KAPI VOID APIENTRY EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString,
                                               PULONG BytesInUnicodeString, PCHAR MultiByteString,
                                               ULONG BytesInMultiByteString);

WIN32KAPI WINBOOL APIENTRY EngPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix);

WIN32KAPI WINBOOL APIENTRY EngPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                                     XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlBrushOrg,
                                     POINTFIX *pptfx, RECTL *prcl, POINTL *pptl, ULONG iMode);

WIN32KAPI VOID APIENTRY EngSetLastError(ULONG iError);

WIN32KAPI WINBOOL APIENTRY EngStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                         XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                                         RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode);

WIN32KAPI WINBOOL APIENTRY EngStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                                BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                                POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions);

WIN32KAPI WINBOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                         BRUSHOBJ *pbo, POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix);

WIN32KAPI WINBOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco,
                                      RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                                      BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix);

WIN32KAPI WINBOOL APIENTRY EngTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                             RECTL *prclDst, RECTL *prclSrc, ULONG iTransColor,
                                             ULONG ulReserved);

WIN32KAPI VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString, ULONG MaxBytesInMultiByteString,
                                               PULONG BytesInMultiByteString, PWSTR UnicodeString,
                                               ULONG BytesInUnicodeString);

WIN32KAPI VOID APIENTRY EngUnlockSurface(SURFOBJ *pso);

WIN32KAPI ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ *pfo, HGLYPH *phg);

WIN32KAPI PBYTE APIENTRY FONTOBJ_pjOpenTypeTablePointer(FONTOBJ *pfo, ULONG ulTag, ULONG *pcjTable);

WIN32KAPI PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ *pfo, ULONG *pcjFile);

WIN32KAPI LPWSTR APIENTRY FONTOBJ_pwszFontFilePaths(FONTOBJ *pfo, ULONG *pcwc);

WIN32KAPI ULONG APIENTRY PALOBJ_cGetColors(PALOBJ *ppalo, ULONG iStart, ULONG cColors, ULONG *pulColors);

WIN32KAPI ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ *pfo, ULONG iMode, ULONG cGlyph, HGLYPH *phg,
                                            PVOID *ppvGlyph);

WIN32KAPI FD_GLYPHSET *APIENTRY FONTOBJ_pfdg(FONTOBJ *pfo);

WIN32KAPI IFIMETRICS *APIENTRY FONTOBJ_pifi(FONTOBJ *pfo);

WIN32KAPI XFORMOBJ *APIENTRY FONTOBJ_pxoGetXform(FONTOBJ *pfo);

WIN32KAPI VOID APIENTRY FONTOBJ_vGetInfo(FONTOBJ *pfo, ULONG cjSize, FONTINFO *pfi);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ *ppo);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bEnum(PATHOBJ *ppo, PATHDATA *ppd);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ *ppo, POINTFIX ptfx);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ *ppo, POINTFIX *pptfx, ULONG cptfx);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ *ppo, POINTFIX *pptfx, ULONG cptfx);

WIN32KAPI VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ *ppo);

WIN32KAPI VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ *ppo, PRECTFX prectfx);

WIN32KAPI VOID APIENTRY PATHOBJ_vEnumStartClipLines(PATHOBJ *ppo, CLIPOBJ *pco, SURFOBJ *pso, LINEATTRS *pla);

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bEnumClipLines(PATHOBJ *ppo, ULONG cb, CLIPLINE *pcl);

WIN32KAPI WINBOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos);

WIN32KAPI WINBOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos);

WIN32KAPI WINBOOL APIENTRY STROBJ_bGetAdvanceWidths(STROBJ *pso, ULONG iFirst, ULONG c, POINTQF *pptqD);

WIN32KAPI DWORD APIENTRY STROBJ_dwGetCodePage(STROBJ *pstro);

WIN32KAPI FIX APIENTRY STROBJ_fxBreakExtra(STROBJ *pstro);

WIN32KAPI FIX APIENTRY STROBJ_fxCharacterExtra(STROBJ *pstro);

WIN32KAPI VOID APIENTRY STROBJ_vEnumStart(STROBJ *pstro);

WIN32KAPI WINBOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ *pxo, ULONG iMode, ULONG cPoints, PVOID pvIn,
                                                PVOID pvOut);

WIN32KAPI ULONG APIENTRY XFORMOBJ_iGetFloatObjXform(XFORMOBJ *pxo, FLOATOBJ_XFORM *pxfo);

WIN32KAPI ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ *pxo, XFORML *pxform);

WIN32KAPI ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal);

WIN32KAPI ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ *pxlo, ULONG iColor);

WIN32KAPI ULONG *APIENTRY XLATEOBJ_piVector(XLATEOBJ *pxlo);

WIN32KAPI HANDLE APIENTRY XLATEOBJ_hGetColorTransform(XLATEOBJ *pxlo);

// Driver entry points and the types of the hooked functions.
typedef WINBOOL(APIENTRY *PFN_DrvAlphaBlend)(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                             RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj);

typedef WINBOOL(APIENTRY *PFN_DrvBitBlt)(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                         XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                                         BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4);

typedef VOID(APIENTRY *PFN_DrvCompletePDEV)(DHPDEV dhpdev, HDEV hdev);

typedef WINBOOL(APIENTRY *PFN_DrvCopyBits)(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                           RECTL *prclDest, POINTL *pptlSrc);

typedef VOID(APIENTRY *PFN_DrvDisableDriver)(VOID);

typedef VOID(APIENTRY *PFN_DrvDisablePDEV)(DHPDEV dhpdev);

typedef VOID(APIENTRY *PFN_DrvDisableSurface)(DHPDEV dhpdev);

typedef WINBOOL(APIENTRY *PFN_DrvEnableDriver)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);

typedef DHPDEV(APIENTRY *PFN_DrvEnablePDEV)(DEVMODEW *pdm, LPWSTR pwszLogAddress, ULONG cPat,
                                            HSURF *phsurfPatterns, ULONG cjCaps, GDIINFO *pdevcaps,
                                            ULONG cjDevInfo, DEVINFO *pdi, HDEV hdev, LPWSTR pwszDeviceName,
                                            HANDLE hDriver);

typedef HSURF(APIENTRY *PFN_DrvEnableSurface)(DHPDEV dhpdev);

typedef WINBOOL(APIENTRY *PFN_DrvEndDoc)(SURFOBJ *pso, FLONG fl);

typedef WINBOOL(APIENTRY *PFN_DrvFillPath)(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                                           POINTL *pptlBrushOrg, MIX mix, FLONG flOptions);

typedef WINBOOL(APIENTRY *PFN_DrvGradientFill)(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                               TRIVERTEX *pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh,
                                               RECTL *prclExtents, POINTL *pptlDitherOrg, ULONG ulMode);

typedef WINBOOL(APIENTRY *PFN_DrvNextBand)(SURFOBJ *pso, POINTL *pptl);

typedef WINBOOL(APIENTRY *PFN_DrvPaint)(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                                        MIX mix);

typedef WINBOOL(APIENTRY *PFN_DrvPlgBlt)(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                                         XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlBrushOrg,
                                         POINTFIX *pptfx, RECTL *prcl, POINTL *pptl, ULONG iMode);

typedef WINBOOL(APIENTRY *PFN_DrvQueryDriverInfo)(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);

typedef WINBOOL(APIENTRY *PFN_DrvResetPDEV)(DHPDEV dhpdevOld, DHPDEV dhpdevNew);

typedef WINBOOL(APIENTRY *PFN_DrvSendPage)(SURFOBJ *pso);

typedef WINBOOL(APIENTRY *PFN_DrvStartBanding)(SURFOBJ *pso, POINTL *pptl);

typedef WINBOOL(APIENTRY *PFN_DrvStartDoc)(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId);

typedef WINBOOL(APIENTRY *PFN_DrvStartPage)(SURFOBJ *pso);

typedef WINBOOL(APIENTRY *PFN_DrvStretchBlt)(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                                             CLIPOBJ *pco, XLATEOBJ *pxlo, COLORADJUSTMENT *pca,
                                             POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc,
                                             POINTL *pptlMask, ULONG iMode);

typedef WINBOOL(APIENTRY *PFN_DrvStrokeAndFillPath)(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                                    BRUSHOBJ *pboStroke, LINEATTRS *plineattrs,
                                                    BRUSHOBJ *pboFill, POINTL *pptlBrushOrg, MIX mixFill,
                                                    FLONG flOptions);

typedef WINBOOL(APIENTRY *PFN_DrvStrokePath)(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                             BRUSHOBJ *pbo, POINTL *pptlBrushOrg, LINEATTRS *plineattrs,
                                             MIX mix);

typedef WINBOOL(APIENTRY *PFN_DrvTextOut)(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco,
                                          RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                                          BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix);

typedef WINBOOL(APIENTRY *PFN_DrvTransparentBlt)(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco,
                                                 XLATEOBJ *pxlo, RECTL *prclDst, RECTL *prclSrc,
                                                 ULONG iTransColor, ULONG ulReserved);

// The driver's entry points (defined by the driver).
WINBOOL APIENTRY DrvAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                               RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj);

WINBOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                           RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo,
                           POINTL *pptlBrush, ROP4 rop4);

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);

WINBOOL APIENTRY DrvCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                             POINTL *pptlSrc);

VOID APIENTRY DrvDisableDriver(VOID);

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev);

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev);

WINBOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF *phsurfPatterns,
                              ULONG cjCaps, ULONG *pdevcaps, ULONG cjDevInfo, DEVINFO *pdi, HDEV hdev,
                              LPWSTR pwszDeviceName, HANDLE hDriver);

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);

WINBOOL APIENTRY DrvEndDoc(SURFOBJ *pso, FLONG fl);

WINBOOL APIENTRY DrvFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                             MIX mix, FLONG flOptions);

WINBOOL APIENTRY DrvGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex,
                                 ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL *prclExtents,
                                 POINTL *pptlDitherOrg, ULONG ulMode);

WINBOOL APIENTRY DrvNextBand(SURFOBJ *pso, POINTL *pptl);

WINBOOL APIENTRY DrvPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix);

WINBOOL APIENTRY DrvPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco, XLATEOBJ *pxlo,
                           COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx, RECTL *prcl,
                           POINTL *pptl, ULONG iMode);

WINBOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);

WINBOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);

WINBOOL APIENTRY DrvSendPage(SURFOBJ *pso);

WINBOOL APIENTRY DrvStartBanding(SURFOBJ *pso, POINTL *pptl);

WINBOOL APIENTRY DrvStartDoc(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId);

WINBOOL APIENTRY DrvStartPage(SURFOBJ *pso);

WINBOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                               XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest,
                               RECTL *prclSrc, POINTL *pptlMask, ULONG iMode);

WINBOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                      BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                      POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions);

WINBOOL APIENTRY DrvStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                               POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix);

WINBOOL APIENTRY DrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                            RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                            MIX mix);

WINBOOL APIENTRY DrvTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                   RECTL *prclDst, RECTL *prclSrc, ULONG iTransColor, ULONG ulReserved);

}  // extern "C"

#endif  // !_WIN32
