#include "composer/job_index.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "composer/mml_reader.h"
#include "composer/mml_values.h"
#include "support/atomic_file.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/scrambler.h"
#include "swf/swf_compress.h"
#include "swf/swf_file_reader.h"
#include "swf/swf_stream.h"

namespace tessaly {

namespace {

// floor of a size attribute, at least 1; 0 when absent or empty.
uint32_t sizeAttribute(MmlReader& reader, const char* name) {
    double v = 0;
    if (reader.attributeReal(name, &v) != 1) return 0;
    return std::max<uint32_t>(1, clampToUint32(std::floor(v)));
}

}  // namespace

int readJobIndex(std::string text, JobIndex* index) {
    *index = JobIndex{};
    MmlReader reader;
    if (!reader.loadText(text) || !reader.nextElement("Media")) return 0;
    double w = 0, h = 0;
    if (reader.attributeReal("width", &w) != 1 || reader.attributeReal("height", &h) != 1) return 0;
    index->docWidth = std::max<uint32_t>(1, clampToUint32(std::floor(w)));
    index->docHeight = std::max<uint32_t>(1, clampToUint32(std::floor(h)));

    uint32_t maxWidth = index->docWidth, maxHeight = index->docHeight;
    while (reader.nextElement("Frame")) {
        PageRecord page;
        page.width = sizeAttribute(reader, "width");
        page.height = sizeAttribute(reader, "height");
        if (!page.width) page.width = index->docWidth;
        if (!page.height) page.height = index->docHeight;
        if (const char* alt = reader.attribute("alt")) page.imageFile = std::string(alt).substr(0, 31);
        if (page.width != index->docWidth || page.height != index->docHeight) index->uniform = false;
        maxWidth = std::max(maxWidth, page.width);
        maxHeight = std::max(maxHeight, page.height);
        index->pages.push_back(std::move(page));
    }
    if (!index->uniform) {
        index->docWidth = maxWidth;
        index->docHeight = maxHeight;
    }
    index->text = std::move(text);
    return 1;
}

int loadJobIndex(const std::string& path, uint32_t jobKey, JobIndex* index) {
    SizedBlock file;
    if (!readWholeFile(path, file)) return 0;
    if (file.length > 0 && file.data[0] != '<') unscramble(file.data.get(), file.length, jobKey);
    return readJobIndex(std::string(reinterpret_cast<const char*>(file.data.get()), file.length), index);
}

int writeFinishedMovie(const std::string& temporaryPath, const std::string& moviePath,
                       const std::vector<MovieVariable>& variables, bool compress) {
    SizedBlock movie;
    if (!readWholeFile(temporaryPath, movie) || movie.length < 14) return 0;
    const uint8_t* bytes = movie.data.get();
    if (bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S') return 0;
    SwfFileReader reader;
    if (!reader.readMemory(bytes, movie.length) || !reader.parseHeader()) return 0;
    const uint32_t headerLength = reader.headerLength();

    SwfStream actions;
    for (const MovieVariable& v : variables) {
        if (v.number) {
            double number = 0;
            if (!parseStrictReal(v.value, &number)) number = 0;
            actions.writeSetVariable(v.name, float(number));
        } else {
            actions.writeSetVariable(v.name, v.value);
        }
    }
    std::vector<uint8_t> header(bytes, bytes + headerLength);
    const uint32_t length = uint32_t(header[4] | header[5] << 8 | header[6] << 16 | uint32_t(header[7]) << 24) +
                            actions.position();
    for (int i = 0; i < 4; ++i) header[4 + i] = uint8_t(length >> (8 * i));
    if (!writeFileAtomically(moviePath,
                             {std::span<const uint8_t>(header),
                              std::span<const uint8_t>(actions.data(), actions.position()),
                              std::span<const uint8_t>(bytes + headerLength, movie.length - headerLength)})) {
        return 0;
    }
    return !compress || compressSwfFile(moviePath, 9) >= 0 ? 1 : 0;
}

}  // namespace tessaly
