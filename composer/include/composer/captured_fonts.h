#pragma once
// System fonts for markup text: each face is captured through the platform's
// font services and its glyphs are outlined as texts ask for them.

#include "composer/system_fonts.h"

namespace tessaly {

class CapturedSystemFonts : public SystemFontProvider {
public:
    std::unique_ptr<FontObject> makeFont(const std::string& name, int32_t style,
                                         int32_t charset) override;
};

}  // namespace tessaly
