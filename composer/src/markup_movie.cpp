#include "composer/markup_movie.h"

#include "composer/captured_fonts.h"
#include "composer/mml_interpreter.h"
#include "composer/mml_reader.h"
#include "support/files.h"
#include "support/paths.h"
#include "swf/dictionary.h"
#include "swf/movie_writer.h"

namespace tessaly {

namespace {

constexpr int32_t kDefaultWidth = 600 * 20;  // twips
constexpr int32_t kDefaultHeight = 400 * 20;
// Frame sizes beyond this do not fit the header's bit fields sensibly.
constexpr int32_t kMaxFrameSize = 0x3FFFFFFF;

// The frame size from the Media element's width and height.
void mediaSize(std::string_view markup, int32_t* width, int32_t* height) {
    *width = kDefaultWidth;
    *height = kDefaultHeight;
    MmlReader reader;
    if (!reader.loadText(markup) || !reader.nextElement("Media")) return;
    double v = 0;
    if (reader.attributeReal("width", &v) == 1 && v >= 1 && v <= kMaxFrameSize) *width = int32_t(v);
    if (reader.attributeReal("height", &v) == 1 && v >= 1 && v <= kMaxFrameSize) *height = int32_t(v);
}

}  // namespace

int convertMarkupText(std::string_view markup, const MarkupMovieOptions& options,
                      std::vector<uint8_t>* movie, std::string* error) {
    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    CapturedSystemFonts systemFonts;
    interpreter.dictionary = &dictionary;
    interpreter.systemFonts = &systemFonts;
    interpreter.setJobDirectory(options.jobDirectory);
    if (!interpreter.InputOpen() || !interpreter.SetSource(markup)) {
        *error = interpreter.errorText();
        return 0;
    }

    SwfMovieWriter writer;
    writer.dictionary = &dictionary;
    if (!writer.SetRootStoreObject(interpreter.rootEntry()) || !writer.OutputOpen()) {
        *error = "Error doing OutputOpen";
        return 0;
    }
    mediaSize(markup, &writer.frameWidth, &writer.frameHeight);
    writer.frameRate = 12.0;
    writer.version = 5;

    // One frame of markup, then that frame of the movie.
    int more = 1;
    while (more) {
        more = interpreter.InputFrame();
        const int r = more ? writer.OutputFrame() : writer.writeAllFrames();
        if (r < 0 || (!more && r == 0)) {
            *error = "Error doing OutputFrame\n" + writer.errorText;
            return 0;
        }
    }
    if (!writer.close()) {
        *error = "Error saving the movie\n" + writer.errorText;
        return 0;
    }
    if (options.dump) dictionary.dump(options.dump);

    uint32_t length = 0;
    const uint8_t* data = writer.getData(&length);
    try {
        movie->assign(data, data + length);
    } catch (const std::bad_alloc&) {
        *error = "Out of memory";
        return 0;
    }
    return 1;
}

int convertMarkupFile(const std::string& markupPath, const MarkupMovieOptions& options,
                      std::vector<uint8_t>* movie, std::string* error) {
    SizedBlock text;
    FileReadFailure why = FileReadFailure::none;
    if (!readWholeFile(markupPath, text, kAnyFileLength, &why)) {
        *error = std::string("cannot read the markup file: ") + fileReadFailureText(why);
        return 0;
    }
    MarkupMovieOptions local = options;
    if (local.jobDirectory.empty()) {
        local.jobDirectory = directoryPart(markupPath).value_or("./");
    }
    return convertMarkupText(
        std::string_view(reinterpret_cast<const char*>(text.data.get()), text.length), local,
        movie, error);
}

}  // namespace tessaly
