// Feeds arbitrary bytes to the image loader as a PNG file (the type sniff
// sees them too), then probes them and runs the cheap operations a loaded
// image goes through on its way to a bitmap.

#include "image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzImageLoader(data, size);
}
