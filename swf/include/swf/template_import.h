#pragma once
// Copies the tags of an existing SWF movie (an interface movie the document is
// wrapped in) into a movie being written: every depth the template uses is
// moved up by an offset so the template stays clear of the movie's own
// depths, its background colour is taken out and reported instead of copied,
// and its last ShowFrame can be dropped so the movie's first frame continues
// the template's last one. Character ids are kept as they are.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly {

class SwfFileReader;
class SwfStream;

// What an import reports about the template.
struct TemplateImport {
    uint8_t version = 0;
    // ShowFrame tags copied, the dropped last one included.
    uint32_t frameCount = 0;
    double frameRate = 0.0;  // u16 8.8 fixed / 256
    int32_t xmin = 0;
    int32_t xmax = 0;
    int32_t ymin = 0;
    int32_t ymax = 0;
    // Set from the template's SetBackgroundColor tag (the last one wins).
    bool hasBackground = false;
    uint32_t backgroundColor = 0;  // 0xRRGGBB
    // The template file was a "CWS" movie.
    bool compressed = false;
    // The largest depth (clip depths included) written after the offset; 0 when none.
    uint32_t maxDepth = 0;
    // The largest character id placed (PlaceObject, PlaceObject2 with a character).
    uint32_t maxPlacedId = 0;
    // The largest character id defined by a top-level definition tag, placed
    // or not (library symbols exported for scripts are often never placed).
    uint32_t maxDefinedId = 0;
};

// Depths never exceed this after the offset is added: a depth that would not
// fit the 16-bit field stays at the top instead of wrapping round to the
// movie's own low depths.
inline constexpr uint32_t kMaxTemplateDepth = 0xFFFF;

// Reads the movie at path (decompressing a "CWS" file) and copies its tags
// into stream at the current position, up to its End tag, which is not
// copied:
// - PlaceObject, PlaceObject2, RemoveObject, RemoveObject2 are copied as they
//   stand, then their depth (and a PlaceObject2 clip depth) is rewritten as
//   depth + depthOffset;
// - SetBackgroundColor is not copied, its colour is reported;
// - every other tag is copied with a fresh header, its body unchanged.
// With dropLastShowFrame, the position ends where the last ShowFrame began,
// so the next tags written overwrite it.
//
// 1 and *result on success. 0 when the file cannot be read, is not an SWF
// movie, does not inflate, ends before its End tag, or holds a placement or
// removal tag too short for the fields its flags announce (its depths could
// not be moved, so the template is refused rather than copied half-shifted);
// the stream position is then back where it was and nothing of the template
// stays in the stream.
[[nodiscard]] int importTemplate(SwfStream& stream, const std::string& path, uint32_t depthOffset,
                   bool dropLastShowFrame, TemplateImport* result);

// The same from a movie already in memory (copied; "CWS" data is inflated).
[[nodiscard]] int importTemplateData(SwfStream& stream, const void* bytes, size_t length, uint32_t depthOffset,
                       bool dropLastShowFrame, TemplateImport* result);

}  // namespace tessaly
