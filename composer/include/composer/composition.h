#pragma once
// Composition: the job index, as the driver wrote it, becomes the markup of
// the finished movie. Every page becomes a clip of its own inside a page
// holder framed by a page layout, optionally with a preview clip; list clips
// of all pages or previews can follow the last page; and a viewer interface
// movie can open the movie, with variables describing the document.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "composer/settings.h"
#include "swf/dictionary.h"
#include "swf/movie_writer.h"

namespace tessaly {

// One page of a job: its size (twips) and the file name of its page image.
struct PageRecord {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string imageFile;
};

// What composition needs from the job and its settings.
struct CompositionInput {
    std::string_view jobIndex;
    std::vector<PageRecord> pages;
    uint32_t docWidth = 0, docHeight = 0;  // twips
    double scale = 1.0;
    uint32_t mechanics = 0;  // normalised mechanics flags (kMech...)
    // The named page layout's markup; the built-in layout when absent.
    std::optional<std::string> layoutMarkup;
    float previewImageSize = 16.0f;  // percent of the page size
    int32_t previewJpegQuality = 0;
    int32_t previewZlib = 0;
    int32_t previewSmoothing = 0;
    int32_t previewMonochrome = 0;  // -1 gray, 0 colour, above 0 black-and-white threshold
    // The interface movie's path, resolved; empty for none.
    std::string interfacePath;
};

struct CompositionResult {
    uint32_t docPixelWidth = 1, docPixelHeight = 1;
    bool interfaceIncluded = false;
};

// Composes into `markup`. With an interface, its movie is included into the
// writer first (after OutputOpen). 0 with the message in *error on failure.
[[nodiscard]] int composeMovie(const CompositionInput& in, SwfMovieWriter& writer, CharacterDictionary& dictionary,
                 std::string* markup, CompositionResult* result, std::string* error);

// The built-in page layout: a white page and a thin black border.
extern const char kBuiltInPageLayout[];

}  // namespace tessaly
