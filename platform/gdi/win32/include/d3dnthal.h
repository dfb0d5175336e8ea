#pragma once
// <winddi.h> includes the Direct3D driver interface, which Debian's mingw-w64
// headers do not ship and which a printer driver does not use (see
// ddrawint.h beside this file). A toolchain that has the header gets its own.
#if __has_include_next(<d3dnthal.h>)
#include_next <d3dnthal.h>
#endif
