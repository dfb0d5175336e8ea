#pragma once
// Converts one markup document, as it stands, into a movie: no composition
// and no settings. The frame size comes from the Media element (twips).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tessaly {

struct MarkupMovieOptions {
    // Directory against which relative src paths resolve ("" = the markup file's).
    std::string jobDirectory;
    // When set, the dictionary's diagnostic dump is printed here.
    FILE* dump = nullptr;
};

// Reads the markup file and builds the movie bytes. 1 on success; 0 with a
// one-line reason in *error.
[[nodiscard]] int convertMarkupFile(const std::string& markupPath, const MarkupMovieOptions& options,
                      std::vector<uint8_t>* movie, std::string* error);
// The same from markup text in memory.
[[nodiscard]] int convertMarkupText(std::string_view markup, const MarkupMovieOptions& options,
                      std::vector<uint8_t>* movie, std::string* error);

}  // namespace tessaly
