#pragma once
// The job index (media.mml): the document size from the Media element and
// one page record per Frame. Page content is read later, from the composed markup.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "composer/composition.h"

namespace tessaly {

struct JobIndex {
    std::string text;  // the whole index, unscrambled
    std::vector<PageRecord> pages;
    uint32_t docWidth = 0, docHeight = 0;  // twips
    bool uniform = true;                   // every page has the document size
};

// Reads the index text into *index. 0 when the Media element or its size is
// missing.
[[nodiscard]] int readJobIndex(std::string text, JobIndex* index);

// Reads media.mml (unscrambling it when its first byte is not '<') into *index.
// 0 when the file cannot be read or the index is corrupt.
[[nodiscard]] int loadJobIndex(const std::string& path, uint32_t jobKey, JobIndex* index);

// The movie variables a finished movie gets in front of its tags.
struct MovieVariable {
    std::string name;
    std::string value;
    bool number = false;  // pushed as a number (0 when the value is not a strict real)
};

// Writes the final movie: the temporary movie's header, one DoAction tag per
// variable, then the rest of the temporary movie, with the length field
// grown to match; compressed afterwards when asked and smaller. 1 or 0.
[[nodiscard]] int writeFinishedMovie(const std::string& temporaryPath, const std::string& moviePath,
                       const std::vector<MovieVariable>& variables, bool compress);

}  // namespace tessaly
