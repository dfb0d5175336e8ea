#pragma once
// Fonts that text in markup names but the job does not embed come from the
// system: a font object whose glyphs are captured one by one as texts ask for them.

#include <cstdint>
#include <memory>
#include <string>

#include "swf/text_objects.h"

namespace tessaly {

class SystemFontProvider {
public:
    virtual ~SystemFontProvider() = default;
    // A font for the face, style (bit 0 bold, bit 1 italic) and character set
    // (-1: any), ready to load glyphs on demand; null when there is no such face.
    virtual std::unique_ptr<FontObject> makeFont(const std::string& name, int32_t style,
                                                 int32_t charset) = 0;
};

}  // namespace tessaly
