#pragma once
// Bitmap characters as SWF bitmap tags: lossless with alpha for images with
// an alpha plane, otherwise lossless, JPEG, or the smaller of the two. JPEG
// images of the movie's shared quality share one JPEGTables tag.

#include <cstdint>

#include "swf/bitmap_object.h"
#include "swf/dictionary.h"
#include "swf/swf_stream.h"

namespace tessaly {

// Encoding flags of a bitmap entry.
inline constexpr uint32_t kEncodeJpeg = 0x1;
inline constexpr uint32_t kEncodeLossless = 0x2;

// Writes the bitmap of the entry. Returns 1, or 0 (nothing written) when the
// entry has no pixels or an encoding fails.
[[nodiscard]] int defineBitmap(SwfStream& s, uint32_t id, const DictionaryEntry& entry);

}  // namespace tessaly
