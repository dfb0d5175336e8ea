#include "composer/conversion_job.h"

#include <cmath>
#include <filesystem>
#include <span>

#include "composer/captured_fonts.h"
#include "composer/composition.h"
#include "composer/mml_interpreter.h"
#include "composer/mml_reader.h"
#include "support/atomic_file.h"
#include "support/paths.h"
#include "support/scrambler.h"
#include "support/text.h"
#include "swf/dictionary.h"
#include "swf/movie_writer.h"

namespace tessaly {

namespace {

constexpr const char* kMediaCorrupted =
    "The media source is corrupted. Please check for sufficient free disk space and try again";
constexpr size_t kMaxJobDirectory = 251;

// The Media element's colour, when it names one.
bool mediaColor(const std::string& index, uint32_t* color) {
    MmlReader reader;
    MmlColor c;
    if (!reader.loadText(index) || !reader.nextElement("Media") || reader.attributeColor("color", &c) != 1) {
        return false;
    }
    *color = c.rgb();
    return true;
}

// A step's message, followed by what the failing part said about the first
// fault (kept, never replaced by the vaguer step message).
std::string withDetail(const char* step, const std::string& detail) {
    std::string text = step;
    if (!detail.empty()) {
        text += detail;
        if (text.back() != '\n') text += '\n';
    }
    return text;
}

}  // namespace

int ConversionJob::setBaseDirectory(const std::string& directory) {
    settings_.setBaseDirectory(directory);
    return 1;
}

int ConversionJob::openJob(const std::string& jobDirectory) {
    index_ = JobIndex{};
    errorText_.clear();
    outputFile_.clear();
    std::string dir = jobDirectory;
    backslashesToSlashes(dir);
    // Settings paths that are not absolute are taken from the base directory,
    // so the job directory is made absolute first.
    if (!dir.empty() && !isAbsolutePath(dir)) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
        if (!ec) dir = absolute.string();
    }
    if (dir.size() > kMaxJobDirectory) dir.resize(kMaxJobDirectory);
    if (dir.empty()) {
        errorText_ = kMediaCorrupted;
        return 0;
    }
    if (dir.back() != '/') dir += '/';
    jobDirectory_ = dir;
    if (!loadJobIndex(dir + "media.mml", jobKey(), &index_)) {
        errorText_ = kMediaCorrupted;
        return 0;
    }
    if (!settings_.loadSettings(dir + "media.settings")) {
        errorText_ = settings_.errorText;
        return 0;
    }
    return 1;
}

int ConversionJob::convert(const std::string& outputPath) {
    outputFile_.clear();
    settings_.mergeInterfaceMechanics();

    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    CapturedSystemFonts systemFonts;
    SwfMovieWriter writer;
    interpreter.jobKey = jobKey();
    interpreter.scale = 1.0;
    interpreter.dictionary = &dictionary;
    interpreter.systemFonts = &systemFonts;
    interpreter.setJobDirectory(jobDirectory_);
    const int32_t imageSize = settings_.imageSize;
    interpreter.imageSizeFactor = imageSize >= 1 && imageSize <= 100 ? imageSize * 0.01 : 0;
    interpreter.defaultImageEncoding = settings_.imageZlib ? 0x2 : 0;
    if (settings_.imageJpegQuality > 0) {
        interpreter.defaultImageEncoding |= 0x1;
        interpreter.defaultJpegQuality = std::min(settings_.imageJpegQuality, 100);
    }
    interpreter.defaultSmoothing = 0;
    interpreter.resampleMode = 1;
    writer.dictionary = &dictionary;

    settings_.normalizeMechanics();
    const uint32_t flags = settings_.mechanics;

    if (!interpreter.InputOpen()) {
        errorText_ = withDetail("Error doing InputOpen\n", interpreter.errorText());
        return 0;
    }
    if (!writer.SetRootStoreObject(interpreter.rootEntry())) {
        errorText_ = "Error doing Output.SetRootStoreObject\n";
        return 0;
    }
    if (!writer.OutputOpen()) {
        errorText_ = "Error doing OutputOpen\n";
        return 0;
    }
    if (settings_.imageJpegQuality > 0) writer.jpegDefaultQuality = uint8_t(std::min(settings_.imageJpegQuality, 100));
    writer.debugging = (flags & kMechDebug) != 0;

    // Composition.
    CompositionInput in;
    in.jobIndex = index_.text;
    in.pages = index_.pages;
    in.docWidth = index_.docWidth;
    in.docHeight = index_.docHeight;
    in.mechanics = flags;
    std::string layout;
    if (settings_.pageLayout(settings_.layoutNameText(), layout)) in.layoutMarkup = layout;
    in.previewImageSize = settings_.previewImageSize;
    in.previewJpegQuality = settings_.previewJpegQuality;
    in.previewZlib = settings_.previewZlib;
    in.previewSmoothing = int32_t(settings_.previewSmoothing);
    in.previewMonochrome = settings_.previewMonochrome;
    if (settings_.interfaceSettings.hasSource()) {
        std::string path = settings_.interfaceSettings.source;
        if (!isAbsolutePath(path)) path = settings_.baseDirectory() + path;
        normaliseSeparators(path);
        in.interfacePath = path;
    }
    std::string composed;
    CompositionResult composition;
    if (!composeMovie(in, writer, dictionary, &composed, &composition, &errorText_)) return 0;
    docPixelWidth = float(composition.docPixelWidth);
    docPixelHeight = float(composition.docPixelHeight);

    if (!interpreter.SetSource(composed)) {
        errorText_ = withDetail("Error doing SetSource\n", interpreter.errorText());
        return 0;
    }

    // One page of markup, then that frame of the movie, until both are done.
    for (;;) {
        if (pageCounter_) pageCounter_->store(uint32_t(writer.framesWritten()) + 1, std::memory_order_relaxed);
        const int input = interpreter.InputFrame();
        if (input < 0) {
            errorText_ = withDetail("Error doing InputFrame\n", interpreter.errorText());
            return 0;
        }
        const int output = writer.OutputFrame();
        if (output < 0) {
            errorText_ = withDetail("Error doing OutputFrame\n", writer.errorText);
            return 0;
        }
        if (input == 0 && output == 0) break;
    }

    // The header: the document's own, or the interface's.
    const auto twips = [](uint32_t v) { return int32_t(std::min<double>(std::max(1.0, std::floor(v * 1.0)), 0x3FFFFFFF)); };
    if (!composition.interfaceIncluded) {
        writer.frameRate = 12.0;
        writer.version = 5;
        writer.frameWidth = twips(index_.docWidth);
        writer.frameHeight = twips(index_.docHeight);
        uint32_t color;
        if (mediaColor(index_.text, &color)) writer.backgroundColor = color;
        compressed = false;
    } else {
        if (flags & kMechNativeSize) {
            writer.frameWidth = twips(index_.docWidth);
            writer.frameHeight = twips(index_.docHeight);
        }
        compressed = writer.compressedTemplate;
    }
    backgroundColor = writer.backgroundColor;
    version = writer.version;

    interpreter.release();
    if (!writer.close()) {
        // The movie lacks bytes; nothing of it is saved.
        errorText_ = withDetail("Error saving to outputFilename\n", writer.errorText);
        return 0;
    }
    uint32_t length = 0;
    const uint8_t* data = writer.getData(&length);
    if (!writeFileAtomically(outputPath, {std::span<const uint8_t>(data, length)})) {
        errorText_ = "Error saving to outputFilename";
        return 0;
    }
    outputFile_ = outputPath;
    return 1;
}

int ConversionJob::finishMovie(const InterfaceSettings& interfaceSettings, const std::string& temporaryPath,
                               const std::string& moviePath, bool compress) {
    std::vector<MovieVariable> variables;
    for (size_t i = 0; i < interfaceSettings.params.size(); ++i) {
        std::string value;
        if (!interfaceSettings.effectiveParamValue(i, value)) continue;
        const InterfaceParam& param = interfaceSettings.params[i];
        variables.push_back({param.varName, value, param.isNumber()});
    }
    return writeFinishedMovie(temporaryPath, moviePath, variables, compress);
}

}  // namespace tessaly
