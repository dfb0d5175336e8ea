#include "image_element.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "markup.h"

namespace tessaly::pagesmith {

namespace {

double pixels(FIX v) { return double(v) / 16.0; }

// The clip as maskRectex text, or nothing when it hides no part of the image.
bool maskText(const ImageElement& image, std::string& text) {
    const ClipView* clip = image.clip;
    if (!clip) return false;
    if (clip->complexity == DC_RECT) {
        const RECTL& c = clip->bounds;
        const bool bothSizes = image.options.width && image.options.height;
        const auto fix = [](LONG v) { return int64_t(v) * 16; };
        if (bothSizes && fix(c.left) == image.x && fix(c.top) == image.y &&
            fix(c.right) == int64_t(image.x) + image.width && fix(c.bottom) == int64_t(image.y) + image.height) {
            return false;
        }
        const double x = pixels(image.x), y = pixels(image.y);
        text = markup::realText(c.left - x) + "," + markup::realText(c.top - y) + "," +
               markup::realText(c.right - x) + "," + markup::realText(c.bottom - y);
        return true;
    }
    if (clip->complexity == DC_COMPLEX && clip->rectangleList) {
        // The most negative position has no opposite in a FIX; the nearest is
        // a sixteenth of a pixel off, far outside any page.
        const auto opposite = [](FIX v) { return FIX(std::min<int64_t>(-int64_t(v), INT32_MAX)); };
        clip->rectangleList(text, opposite(image.x), opposite(image.y));
        return true;
    }
    return false;
}

}  // namespace

void writeImageElement(std::string& out, const ImageElement& image, int32_t bandY) {
    markup::startTagOpen(out, "Image");
    markup::textAttribute(out, "src", image.name);
    const double y = pixels(image.y) + bandY;
    markup::textAttribute(out, "pos", markup::realText(pixels(image.x)) + "," + markup::realText(y));
    const ImageElementOptions& o = image.options;
    if (o.width || o.height) {
        std::string size;
        if (o.width) size += markup::realText(pixels(image.width));
        size += ",";
        if (o.height) size += markup::realText(pixels(image.height));
        markup::textAttribute(out, "size", size);
    }
    if (o.alpha) {
        char fx[40];
        std::snprintf(fx, sizeof fx, "alphaColor(%u,#%06X)", image.alphaColour >> 24,
                      image.alphaColour & 0xFFFFFFu);
        markup::textAttribute(out, "fx", fx);
        markup::textAttribute(out, "flags", "nativesize");
    }
    if (!image.matrix.empty()) markup::textAttribute(out, "matrix", image.matrix);
    std::string mask;
    if (maskText(image, mask)) markup::textAttribute(out, "maskRectex", mask);
    markup::startTagClose(out, true, true);
}

}  // namespace tessaly::pagesmith
