// Whole images to bag files (the application side; the driver appends bands
// through BagWriter directly).

#include <cstring>

#include "image/bag_writer.h"
#include "image/image.h"

namespace tessaly {

int writeBagFile(std::string_view path, const Image& image, int level) {
    if (image.empty()) return 0;
    BagWriter writer;
    if (!writer.open(path)) return 0;
    int ok = 1;
    if (!image.isIndexed()) {
        ok = writer.appendBand(image.rgb(), image.rgbStride(), image.width(), image.height(),
                               BagPixelOrder::kRgb, level);
    } else {
        // Indexed: looked up row by row into a band of one image's worth.
        Image expanded;
        ok = expanded.createRgb(image.width(), image.height()) &&
             expanded.copyFrom(0, 0, image.width(), image.height(), image, 0, 0) &&
             writer.appendBand(expanded.rgb(), expanded.rgbStride(), image.width(),
                               image.height(), BagPixelOrder::kRgb, level);
    }
    const int closed = writer.close();
    return ok && closed ? 1 : 0;
}

}  // namespace tessaly
