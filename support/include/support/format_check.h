#pragma once
// Lets the compiler check printf-style formats against their arguments. The
// formats are C99's (%zu, %lld): mingw-w64 builds use the C99 printf of its
// own run-time (__USE_MINGW_ANSI_STDIO), not the system's older one, and its
// compiler calls that format gnu_printf.

#if defined(__MINGW32__)
#define TESSALY_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define TESSALY_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#endif
