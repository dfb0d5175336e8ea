#pragma once
// Texts as DefineText/DefineText2 tags and fonts as DefineFont2 tags.

#include <cstdint>

#include "swf/swf_stream.h"
#include "swf/text_objects.h"

namespace tessaly {

// DefineText2 when a colour has alpha, DefineText otherwise. An unresolved
// text is resolved first. Returns 1, or 0 (nothing written) when the text has
// no records, empty bounds, or characters without glyphs.
[[nodiscard]] int defineText(SwfStream& s, uint32_t id, TextObject& text);

// DefineFont2 with every glyph of the font, after dropping kerning pairs whose
// glyphs are missing or unused. Returns 1, or 0 (nothing written) when the
// font has no glyphs.
[[nodiscard]] int defineFont(SwfStream& s, uint32_t id, FontObject& font);

}  // namespace tessaly
