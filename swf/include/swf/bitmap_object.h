#pragma once
// A bitmap character: an image the movie shows through bitmap fills.

#include "image/image.h"
#include "swf/movie_objects.h"

namespace tessaly {

class BitmapObject : public MovieObject {
public:
    BitmapObject() : MovieObject(kTypeBitmap) {}

    void reset() override {
        MovieObject::reset();
        image.clear();
    }

    // Empty until the pixels are loaded (the document's second pass).
    Image image;
};

}  // namespace tessaly
