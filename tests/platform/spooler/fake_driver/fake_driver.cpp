// Drivers that fail at one step of loading, for the spool host's error lines.
// FAKE_KERNEL_MODE: DrvQueryDriverInfo answers "not user mode".
// FAKE_REFUSE_ENABLE: DrvEnableDriver fails with ERROR_BAD_DRIVER_LEVEL.
// FAKE_NO_EXPORTS: none of the three entry points.
#include "platform/winddi.h"

#ifndef FAKE_NO_EXPORTS
extern "C" {

__attribute__((visibility("default"))) WINBOOL APIENTRY DrvQueryDriverInfo(DWORD, PVOID buffer, DWORD size,
                                                                           PDWORD needed) {
    *needed = 4;
    if (!buffer || size < 4) return FALSE;
#ifdef FAKE_KERNEL_MODE
    *static_cast<DWORD*>(buffer) = 0;
#else
    *static_cast<DWORD*>(buffer) = 1;
#endif
    return TRUE;
}

__attribute__((visibility("default"))) WINBOOL APIENTRY DrvEnableDriver(ULONG, ULONG, DRVENABLEDATA*) {
    EngSetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
}

__attribute__((visibility("default"))) VOID APIENTRY DrvDisableDriver(VOID) {}
}
#else
extern "C" __attribute__((visibility("default"))) int fakeDriverNothing() { return 0; }
#endif
