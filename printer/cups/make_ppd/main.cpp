// tessaly-make-ppd: writes the printer queue's PPD (made from the driver's
// paper table) to the file named, or to standard output.

#include <cstdio>
#include <string>

#include "cups_backend/job_options.h"

int main(int argc, char** argv) {
    const std::string ppd = tessaly::cups::makePpd(argc > 2 ? argv[2] : "Tessaly Driver");
    if (argc < 2) return std::fwrite(ppd.data(), 1, ppd.size(), stdout) == ppd.size() ? 0 : 1;
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(ppd.data(), 1, ppd.size(), out) == ppd.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
