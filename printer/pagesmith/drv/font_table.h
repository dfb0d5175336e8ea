#pragma once
// The fonts of a job's text: each font that printed text uses is captured
// once (glyph outlines at a 1024-unit em, metrics, kerning pairs), declared
// by a <Font> element in the page stream, and written as its font file
// "f<id>.mml" when the document ends.

#include <cstdint>
#include <string>
#include <string_view>

#include "device.h"

namespace tessaly::pagesmith {

// Face and style names longer than this (in ANSI bytes) are cut.
inline constexpr size_t kMaxAnsiName = 128;

// The ANSI form of a UTF-16 name, cut to kMaxAnsiName bytes.
std::string ansiName(std::u16string_view name);
// Style code of a style name: bit 0 "bold", bit 1 "italic" or "oblique"
// (without case): an oblique face is its family's italic.
int32_t styleCode(std::string_view styleName);

// An attribute holding a name, its markup characters as entities so that a
// quote or '<' in a face name cannot break the element.
void nameAttribute(std::string& out, std::string_view name, std::string_view value);

// Finds the job's font of that face (without case), style and requested
// character set (-1 for the default set), or captures it: then it takes a new
// id and its <Font> declaration is appended to `out`. The id, or -1 when the
// font cannot be captured. Throws bad_alloc.
int64_t declareFont(DriverDevice& device, std::u16string_view face, std::u16string_view style,
                    int32_t charSet, std::string& out);

// Makes sure the font of that id has a glyph for every character; characters
// that cannot be outlined are left out.
void addFontGlyphs(DriverDevice& device, uint32_t id, std::u16string_view characters);

}  // namespace tessaly::pagesmith
