// Feeds arbitrary bytes to the template import as an interface movie file
// (plain or compressed): once into a stand-alone stream holding a few bytes
// of its own, then through the movie writer into a whole movie. A refused
// template must leave the stream exactly as it was; an accepted one must
// leave a stream of well-framed tags and a movie that reads back.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "swf/dictionary.h"
#include "swf/movie_objects.h"
#include "swf/movie_writer.h"
#include "swf/swf_file_reader.h"
#include "swf/swf_stream.h"
#include "swf/template_import.h"

namespace {

using namespace tessaly;

// One file per process, so parallel fuzzing jobs do not share it.
struct TempFile {
    std::string path = "/tmp/fuzz_template_import_" + std::to_string(::getpid()) + ".swf";
    ~TempFile() { std::remove(path.c_str()); }
};

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Walks the tag headers from `from` to the position; false when they do not
// end exactly there.
bool wellFramed(const SwfStream& s, uint32_t from) {
    const uint8_t* d = s.data();
    const uint64_t end = s.position();
    uint64_t p = from;
    while (p < end) {
        if (end - p < 2) return false;
        uint64_t length = (d[p] | d[p + 1] << 8) & 0x3F, header = 2;
        if (length == 0x3F) {
            if (end - p < 6) return false;
            length = d[p + 2] | d[p + 3] << 8 | d[p + 4] << 16 | uint64_t(d[p + 5]) << 24;
            header = 6;
        }
        p += header + length;
    }
    return p == end;
}

void importIntoStream(const std::string& path, uint32_t offset, bool drop) {
    SwfStream out;
    out.writeBytes("prefix", 6);
    TemplateImport r;
    if (!importTemplate(out, path, offset, drop, &r)) {
        if (out.position() != 6 || out.buffer().size() != 6 ||
            std::memcmp(out.data(), "prefix", 6) != 0) {
            std::abort();
        }
        return;
    }
    if (!wellFramed(out, 6)) std::abort();
    if (r.maxDepth > kMaxTemplateDepth) std::abort();
}

void buildMovie(const std::string& path) {
    CharacterDictionary dictionary;
    std::unique_ptr<MovieObject> clip = std::make_unique<MovieClipObject>();
    auto* root = static_cast<MovieClipObject*>(clip.get());
    root->addShowFrame();
    root->addShowFrame();
    root->addEnd();
    SwfMovieWriter writer;
    writer.dictionary = &dictionary;
    // Results are not checked: the target only asks that every input is handled safely.
    (void)writer.SetRootStoreObject(dictionary.add(kTypeMovieClip, 1, nullptr, clip).entry);
    if (!writer.OutputOpen()) return;
    uint32_t firstId = 0;
    if (!writer.useTemplate(path, 15000, &firstId)) {
        if (writer.templateInUse || writer.stream().position() != 0) std::abort();
        return;
    }
    (void)writer.writeAllFrames();
    (void)writer.close();
    uint32_t length = 0;
    const uint8_t* data = writer.getData(&length);
    SwfFileReader reader;
    if (!reader.readMemory(data, length) || !reader.parseHeader()) std::abort();
    while (reader.nextTag()) {
    }
    if (reader.tagTruncated()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFile file;
    if (!writeFile(file.path, data, size)) return 0;
    importIntoStream(file.path, 15000, true);
    importIntoStream(file.path, 0xFFFFFFFFu, false);
    buildMovie(file.path);
    return 0;
}
