#pragma once
// The Image element of a bitmap drawn on the page: its file, position, size,
// alpha colour, matrix and the clip as a rectangle mask relative to it.

#include <cstdint>
#include <string>
#include <string_view>

#include "clip_view.h"
#include "platform/winddi.h"

namespace tessaly::pagesmith {

struct ImageElementOptions {
    bool width = false;   // write the width in size
    bool height = false;  // write the height in size
    bool alpha = false;   // write the alpha colour and the native-size flag
};

// Position and size are FIX 28.4 page coordinates of the band; the band's y
// (pixels) is added to the position. The alpha colour's top byte is the
// alpha, its low three bytes the colour 0x00RRGGBB. An empty matrix text is
// left out; a null clip means no mask.
struct ImageElement {
    ImageElementOptions options;
    std::string_view name;
    FIX x = 0, y = 0, width = 0, height = 0;
    const ClipView* clip = nullptr;
    std::string_view matrix;
    uint32_t alphaColour = 0;
};

void writeImageElement(std::string& out, const ImageElement& image, int32_t bandY);

}  // namespace tessaly::pagesmith
