// Small engine services: the thread's last error, engine memory, and the
// conversion between UTF-16 and the ANSI code page (Windows-1252).

#include <cstdlib>
#include <cstring>

#include "platform/winddi.h"

namespace {

thread_local ULONG lastError = 0;

// Characters of Windows-1252's bytes 0x80 to 0x9F; 0 marks the five bytes
// the code page leaves undefined, which map to the same C1 code point.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toAnsi(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        const char16_t mapped = kHighControls[i] ? kHighControls[i] : static_cast<char16_t>(0x80 + i);
        if (mapped == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

char16_t fromAnsi(unsigned char b) {
    if (b < 0x80 || b >= 0xA0) return b;
    const char16_t mapped = kHighControls[b - 0x80];
    return mapped ? mapped : static_cast<char16_t>(b);
}

// Engine allocations carry their size in front, so EngFreeMem needs
// nothing else; the header keeps the block 16-byte aligned.
struct alignas(16) BlockHeader {
    size_t size;
};

}  // namespace

extern "C" {

WIN32KAPI VOID APIENTRY EngSetLastError(ULONG iError) { lastError = iError; }

WIN32KAPI ULONG APIENTRY EngGetLastError(VOID) { return lastError; }

WIN32KAPI PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG /*Tag*/) {
    auto* block = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + (MemSize ? MemSize : 1)));
    if (!block) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    block->size = MemSize;
    if (Flags & FL_ZERO_MEMORY) std::memset(block + 1, 0, MemSize);
    return block + 1;
}

WIN32KAPI VOID APIENTRY EngFreeMem(PVOID Mem) {
    if (Mem) std::free(static_cast<BlockHeader*>(Mem) - 1);
}

WIN32KAPI VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString, ULONG MaxBytesInMultiByteString,
                                               PULONG BytesInMultiByteString, PWSTR UnicodeString,
                                               ULONG BytesInUnicodeString) {
    ULONG n = BytesInUnicodeString / 2;
    if (!MultiByteString || !UnicodeString) n = 0;
    if (n > MaxBytesInMultiByteString) n = MaxBytesInMultiByteString;
    for (ULONG i = 0; i < n; ++i) MultiByteString[i] = toAnsi(UnicodeString[i]);
    if (BytesInMultiByteString) *BytesInMultiByteString = n;
}

WIN32KAPI VOID APIENTRY EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString,
                                               PULONG BytesInUnicodeString, PCHAR MultiByteString,
                                               ULONG BytesInMultiByteString) {
    ULONG n = BytesInMultiByteString;
    if (!UnicodeString || !MultiByteString) n = 0;
    if (n > MaxBytesInUnicodeString / 2) n = MaxBytesInUnicodeString / 2;
    for (ULONG i = 0; i < n; ++i) UnicodeString[i] = fromAnsi(static_cast<unsigned char>(MultiByteString[i]));
    if (BytesInUnicodeString) *BytesInUnicodeString = n * 2;
}

}  // extern "C"
