#pragma once
// Turns the root movie clip of a character dictionary into one SWF movie:
// frame by frame, each character defined once before its first use, then the
// End tag, the fonts moved into the frames that first use them, and the
// header put in front.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "support/byte_buffer.h"
#include "swf/dictionary.h"
#include "swf/swf_stream.h"
#include "swf/text_objects.h"

namespace tessaly {

// The output side that the conversion drives.
class MovieOutput {
public:
    virtual ~MovieOutput() = default;

    // Stores the root entry; 1 when the entry has an object.
    [[nodiscard]] virtual int SetRootStoreObject(DictionaryEntry* root);
    // Prepares a new movie; 1 on success, 0 without a dictionary, a root movie
    // clip, or memory.
    [[nodiscard]] virtual int OutputOpen() = 0;
    // 1 a frame was written, 0 no further frame, -1 a character could not be
    // defined or the movie could not be held in memory (errorText says which).
    [[nodiscard]] virtual int OutputFrame() = 0;
    // OutputFrame until the clip ends: 1, or 0 when a frame failed.
    [[nodiscard]] virtual int writeAllFrames();
    // Finishes the movie: 1, or 0 when any part of it could not be written
    // (errorText says why); the data is then incomplete and must not be saved.
    [[nodiscard]] virtual int close() = 0;
    virtual const uint8_t* getData(uint32_t* length) const = 0;

    CharacterDictionary* dictionary = nullptr;
    DictionaryEntry* rootEntry = nullptr;
    int32_t frameWidth = 12000;  // twips
    int32_t frameHeight = 8000;
    double frameRate = 12.0;
    uint32_t backgroundColor = 0xEEEEEE;
    bool releaseBitmaps = false;
    // Why the last failing operation failed; empty after success.
    std::string errorText;

protected:
    void setDefaults();
};

class SwfMovieWriter : public MovieOutput {
public:
    [[nodiscard]] int SetRootStoreObject(DictionaryEntry* root) override;
    [[nodiscard]] int OutputOpen() override;
    [[nodiscard]] int OutputFrame() override;
    [[nodiscard]] int close() override;
    const uint8_t* getData(uint32_t* length) const override;

    // Defines a character and, first, everything it depends on; 1 or 0.
    [[nodiscard]] int defineCharacter(uint32_t id);

    uint8_t version = 5;
    bool debugging = false;
    uint8_t jpegDefaultQuality = SwfStream::kNoJpegQuality;

    SwfStream& stream() { return stream_; }
    // The byte offset in the movie body at which each frame's tags begin.
    const ByteBuffer& frameOffsets() const { return frameOffsets_; }
    // The frame in which a character was defined, or -1.
    int64_t definitionFrame(uint32_t id) const;
    uint16_t framesWritten() const { return stream_.frameCount(); }

    // Template import: when a movie is built on an existing one, its frames
    // come first and the root clip's frames are numbered after them.
    bool templateInUse = false;
    uint32_t templateFrameCount = 0;
    uint32_t templateEndFrame = 0;
    // The template was a compressed ("CWS") movie.
    bool compressedTemplate = false;

    // Builds the movie on the SWF file at path, right after OutputOpen and
    // before the first frame: the template's tags are copied into the stream
    // with every depth moved up by depthOffset, its last ShowFrame dropped so
    // that the root clip's first frame continues the template's last frame.
    // Frame rate, frame size, version, background colour (when the template
    // sets one) and the compressed flag come from the template; the frame
    // counter starts at the template's frame count - 1. *firstFreeId receives
    // the largest character id the template uses + 100, the first id the
    // caller may give its own characters.
    // 1, or 0 when the template cannot be imported (the stream and the
    // movie's settings stay as they were) or frames were already written.
    [[nodiscard]] int useTemplate(const std::string& path, uint32_t depthOffset,
                                  uint32_t* firstFreeId);

private:
    [[nodiscard]] int writeNextFrame();
    [[nodiscard]] int defineByType(DictionaryEntry& entry);
    [[nodiscard]] int defineSprite(uint32_t id, const MovieClipObject& clip);
    // True (and errorText set) when a write to the movie or its tables was dropped.
    [[nodiscard]] bool outOfMemory();
    // Keeps the first failure's text.
    void fail(const std::string& text);
    void writePlace(const ControlRecord& r);
    void writeRemove(const ControlRecord& r);
    void recordFrameOffset();
    void writeHeader();
    // Writes every font with glyphs and moves it into the frame that first used it.
    [[nodiscard]] int writeFonts();

    SwfStream stream_;
    MovieClipObject* root_ = nullptr;
    ByteBuffer frameOffsets_{200, 200, 2.0f};
    std::unordered_map<uint32_t, uint32_t> definitions_;  // id -> frame index
    ByteBuffer scratch_{200, 200, 2.0f};
    bool ended_ = false;
};

}  // namespace tessaly
