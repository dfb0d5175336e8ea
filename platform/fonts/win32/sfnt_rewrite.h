#pragma once
// Rewriting TrueType and OpenType fonts in memory before the system registers
// them: every face of the bytes (each face of a collection on its own) is
// rebuilt as one standalone font file, with a new naming table when a family
// name is given and a new character map when a glyph map is given. Windows
// registers a memory font under the names its 'name' table holds and maps
// characters through its 'cmap', so this is how a face gets the caller's
// family name and character map there.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::fonts {

// The rebuilt faces; empty when the bytes are not a complete TrueType or
// OpenType font or collection (tables past the end, no outlines, no glyphs),
// when a glyph of the map lies beyond the font's glyph count, or when the
// family name is longer than Windows keeps (31 characters) or holds a zero.
// An empty family keeps the font's own names; an empty map its own 'cmap'.
std::vector<std::vector<uint8_t>> rewriteFaces(std::span<const uint8_t> bytes, std::u16string_view family,
                                               std::span<const std::pair<char32_t, uint32_t>> glyphMap);

}  // namespace tessaly::fonts
