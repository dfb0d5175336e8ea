// Arbitrary bytes as the address list of files dropped on the window. Every
// name that comes out is an absolute path without a NUL, and no longer than
// the list it came from.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/dropped_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    for (const std::string& file : tessaly::app::filesFromUriList(list)) {
        if (file.empty() || file[0] != '/') __builtin_trap();
        if (file.find('\0') != std::string::npos) __builtin_trap();
        if (file.size() > size) __builtin_trap();
    }
    return 0;
}
