#pragma once
// The basic Windows types and handle declarations that the platform layers
// share, in the global namespace and with the Windows names, so that code
// written against them also compiles against the real Windows headers.
// Sizes follow Windows: LONG and DWORD are 32 bits, WCHAR is a UTF-16 unit.

#ifndef _WIN32

#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef char CHAR;
typedef char16_t WCHAR;
typedef int16_t SHORT;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef const WCHAR* LPCWSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef WINAPI
#define WINAPI
#endif
#ifndef CALLBACK
#define CALLBACK
#endif

#define TESSALY_DECLARE_HANDLE(name) \
    struct name##__ {                \
        int unused;                  \
    };                               \
    typedef struct name##__* name

TESSALY_DECLARE_HANDLE(HDC);
TESSALY_DECLARE_HANDLE(HFONT);
typedef void* HGDIOBJ;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

// The printer and display device mode; only pointers to it pass through here.
struct _devicemodeW;
typedef struct _devicemodeW DEVMODEW;

#endif  // !_WIN32
