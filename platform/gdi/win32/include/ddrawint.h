#pragma once
// <winddi.h> includes the DirectDraw driver interface, which Debian's
// mingw-w64 headers do not ship. A printer driver uses none of it: winddi.h
// only names these types in the prototypes of the DirectDraw entry points, so
// incomplete declarations are enough. A toolchain that has the header gets
// its own.
#if __has_include_next(<ddrawint.h>)
#include_next <ddrawint.h>
#else
typedef struct _DD_SURFACE_LOCAL DD_SURFACE_LOCAL, *PDD_SURFACE_LOCAL;
typedef struct _DD_DIRECTDRAW_GLOBAL DD_DIRECTDRAW_GLOBAL, *PDD_DIRECTDRAW_GLOBAL;
typedef struct _DD_CALLBACKS DD_CALLBACKS, *PDD_CALLBACKS;
typedef struct _DD_SURFACECALLBACKS DD_SURFACECALLBACKS, *PDD_SURFACECALLBACKS;
typedef struct _DD_PALETTECALLBACKS DD_PALETTECALLBACKS, *PDD_PALETTECALLBACKS;
typedef struct _DD_HALINFO DD_HALINFO, *PDD_HALINFO;
typedef struct _VIDEOMEMORY VIDEOMEMORY, *LPVIDEOMEMORY;
#endif
