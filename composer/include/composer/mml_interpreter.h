#pragma once
// The markup interpreter: turns an MML document into characters in the
// dictionary and display-list records on the root movie clip, one root frame
// per call of InputFrame.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "composer/mml_reader.h"
#include "composer/mml_values.h"
#include "composer/system_fonts.h"
#include "swf/dictionary.h"
#include "swf/movie_objects.h"

namespace tessaly {

class MmlInterpreter {
public:
    MmlInterpreter() = default;
    MmlInterpreter(const MmlInterpreter&) = delete;
    MmlInterpreter& operator=(const MmlInterpreter&) = delete;

    // Creates the root clip and defines it in the dictionary; resets the
    // timeline state. 0 with the error text set on failure.
    [[nodiscard]] int InputOpen();
    // Loads a copy of the document and runs the first pass over its images.
    [[nodiscard]] int SetSource(const char* text);
    [[nodiscard]] int SetSource(std::string_view text);
    // Interprets elements until a root-level /Frame (1) or the end of the
    // document or /Media (0).
    [[nodiscard]] int InputFrame();
    void release();

    // Relative src paths are resolved against this directory; a '/' is
    // appended when missing.
    void setJobDirectory(const std::string& directory);
    const std::string& jobDirectory() const { return jobDirectory_; }

    CharacterDictionary* dictionary = nullptr;
    // Coordinate multiplier (1.0: twips pass through unchanged).
    double scale = 1.0;
    // Image settings, used by the Image element.
    double imageSizeFactor = 0;
    uint32_t defaultImageEncoding = 0x3;
    int defaultJpegQuality = 90;
    int defaultSmoothing = 0;
    int resampleMode = 2;
    uint32_t jobKey = 0;
    // Where fonts named by Text elements come from when the job does not embed them.
    SystemFontProvider* systemFonts = nullptr;

    // The message of the failing step; a failed first pass adds a line
    // naming the image and the reason (Image "a.png": bad data (...)).
    const std::string& errorText() const { return errorText_; }
    DictionaryEntry* rootEntry() const { return rootEntry_; }
    MovieClipObject* rootClip() const { return root_; }

private:
    struct PlacementInput {
        DictionaryEntry* character = nullptr;  // null: look it up by the id attribute
        int64_t depth = -1;
        int64_t clipDepth = -1;
        bool instanceAllowed = false;
        bool positionApplied = false;
    };

    std::vector<uint32_t>& placedDepths();
    void resetTimeline();
    void setError(const char* text) { errorText_ = text; }

    // Element handlers; a failing element is dropped.
    void place(const PlacementInput& in);
    void handleMove();
    void handleRemove();
    void handleShape();
    void handleMovieClipStart();
    void handleMovieClipEnd();
    void handleMaskStart();
    void handleMaskEnd();
    void handleMeta();
    void handleLabel();
    void handleNull();
    void handleText();
    void handleImage();
    // Registers every image of the document at the largest size it is used in.
    [[nodiscard]] int firstPass();
    // The path of a src attribute, resolved against the job directory.
    std::string resolvePath(const char* src) const;
    void handleFont();
    // Reads a Font element (the reader's current one) into a new font and the
    // character set it declares; null when it fails.
    std::unique_ptr<FontObject> readFont(MmlReader& reader, int32_t* charset);
    void endOfDocument();

    // Reads the matrix attributes of the current element (matrix, angle, pos, scale).
    MmlMatrix readMatrixValues();
    SwfMatrix readMatrix(bool positionApplied);
    // A depth attribute: all digits, or a name from the named depth table.
    bool lookupDepth(const char* text, uint32_t* depth) const;
    DictionaryEntry* characterById(const char* name) const;
    int32_t toTwips(double v) const;


    std::string jobDirectory_;
    MmlReader reader_;
    std::string errorText_;
    std::string firstPassFailure_;  // which image the first pass stopped at, and why
    DictionaryEntry* rootEntry_ = nullptr;
    MovieClipObject* root_ = nullptr;
    MovieClipObject* current_ = nullptr;
    std::unique_ptr<MovieClipObject> openClip_;  // the clip being built, until defined
    ElementRecord clipElement_;
    std::vector<uint32_t> rootDepths_, clipDepths_;
    struct OpenMask {
        uint32_t depth;
        ElementRecord element;
    };
    std::vector<OpenMask> masks_;
    struct NamedDepth {
        uint32_t depth;
        uint32_t hash;
        std::string name;  // matched ignoring case; the hash only skips the others quickly
    };
    std::vector<NamedDepth> namedDepths_;
    // The text placed last, while the elements after it are texts that can
    // join it: its entry (defined by it, not yet written), the clip it is in
    // and its position in twips.
    struct OpenText {
        DictionaryEntry* entry;
        MovieClipObject* clip;
        int32_t x, y;
    };
    std::optional<OpenText> openText_;

};

}  // namespace tessaly
