// The CUPS backend's reading of a job: the option string, its mapping onto
// the driver's paper, orientation and resolution, and the title as a
// document name.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cups_backend/job_options.h"
#include "pagesmith/printer_devmode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto options = tessaly::cups::parseOptions(text);
    if (options.size() > tessaly::cups::kMaxOptions) std::abort();
    const tessaly::cups::JobRequest request = tessaly::cups::mapOptions(options);
    if (request.dpi < 0 || request.dpi > 2400) std::abort();
    if (!request.paperName.empty()) {
        bool inTable = false;
        for (const auto& row : tessaly::pagesmith::kPaperTable) inTable |= request.paperName == row.name;
        if (!inTable) std::abort();
    }
    const std::string name = tessaly::cups::documentName(text, "Untitled", 255);
    if (name.size() > 255 || name.empty()) std::abort();
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
    return 0;
}
