// tessaly-make-job: writes a job directory as the printer driver does, from a
// plain job index. Used for the sample jobs in examples/ and by tests.
//
// The job index is written scrambled as media.mml. Every file it refers to is
// made beside it: page images (Frame alt="altpageN.bag") and images
// (Image src="....bag") as bag rasters with a drawing of their own, and
// fonts (Font src="fN.mml" font="Face" style="...") captured from the system
// with the characters of every Text in that face, scrambled like the driver's.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "composer/mml_reader.h"
#include "fontcapture/font_capture.h"
#include "image/bag_writer.h"
#include "image/image.h"
#include "support/atomic_file.h"
#include "support/files.h"
#include "support/scrambler.h"
#include "support/text.h"

namespace fs = std::filesystem;
using namespace tessaly;

namespace {

const char kUsage[] =
    "Usage: tessaly-make-job --index INDEX.mml [--settings SETTINGS] -o JOB_DIR\n"
    "\n"
    "Writes a job directory: INDEX.mml scrambled as media.mml, SETTINGS as\n"
    "media.settings, and the page images, images and font files INDEX.mml names.\n";

int fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "tessaly-make-job: %s: %s\n", what.c_str(), reason.c_str());
    return 1;
}

bool writeScrambled(const fs::path& path, std::string bytes) {
    scramble(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), jobKey());
    return writeFileAtomically(path.string(),
                               {std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())});
}

// A picture of its own for every file name: soft bands of colour and a frame.
bool writePicture(const fs::path& path, uint32_t width, uint32_t height, bool page) {
    Image image;
    if (!image.createRgb(width, height, 0xFFFFFF)) return false;
    const uint32_t seed = uint32_t(std::hash<std::string>{}(path.filename().string()));
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image.rgbRow(y);
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = row + 3 * x;
            if (page) {
                // A page: grey text lines on white with a margin.
                const bool line = x > width / 10 && x < width * 9 / 10 && y > height / 10 &&
                                  (y / 6) % 3 == 0 && ((x + seed) / 37) % 7 != 0;
                if (line) p[0] = p[1] = p[2] = 120;
            } else {
                p[0] = uint8_t(128 + 110 * std::sin((x + seed % 50) / 13.0));
                p[1] = uint8_t(128 + 110 * std::cos(y / 17.0));
                p[2] = uint8_t((x * 255) / std::max<uint32_t>(1, width - 1));
            }
        }
    }
    return writeBagFile(path.string(), image) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string indexPath, settingsPath, out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--index" && i + 1 < argc) {
            indexPath = argv[++i];
        } else if (arg == "--settings" && i + 1 < argc) {
            settingsPath = argv[++i];
        } else if (arg == "-o" && i + 1 < argc) {
            out = argv[++i];
        } else {
            std::fprintf(stderr, "tessaly-make-job: unknown or incomplete argument '%s'\n%s", arg.c_str(), kUsage);
            return 1;
        }
    }
    if (indexPath.empty() || out.empty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    SizedBlock index;
    FileReadFailure why = FileReadFailure::none;
    if (!readWholeFile(indexPath, index, kAnyFileLength, &why)) {
        return fail(indexPath, std::string("cannot read the job index: ") + fileReadFailureText(why));
    }
    const std::string indexText(reinterpret_cast<const char*>(index.data.get()), index.length);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) return fail(out, "cannot create the job directory");
    const fs::path dir(out);

    MmlReader reader;
    if (!reader.loadText(indexText) || !reader.nextElement("Media")) return fail(indexPath, "no Media element");
    double docWidth = 12240, docHeight = 15840;
    reader.attributeReal("width", &docWidth);
    reader.attributeReal("height", &docHeight);

    // Fonts: the characters of every Text, per face and style.
    struct FontFile {
        std::string face;
        int32_t style = 0;
        std::u16string chars;
    };
    std::map<std::string, FontFile> fonts;  // by file name
    std::map<std::string, std::string> fontOfFace;  // "face/style" -> file name
    reader.rewind();
    // Attribute values live until the next request: copy them at once.
    auto text = [&reader](const char* name, bool trimmed) -> std::string {
        const char* v = trimmed ? reader.attributeTrimmed(name) : reader.attribute(name);
        return v ? v : "";
    };
    auto styleBits = [](const std::string& style) {
        return (containsNoCase(style, "bold") ? kFontStyleBold : 0) |
               (containsNoCase(style, "italic") || containsNoCase(style, "oblique") ? kFontStyleItalic : 0);
    };
    while (reader.nextElement("Font")) {
        const std::string src = text("src", true), face = text("font", true);
        if (src.empty() || face.empty()) continue;
        const int32_t bits = styleBits(text("style", false));
        fonts[src] = {face, bits, u" "};
        fontOfFace[face + "/" + std::to_string(bits)] = src;
    }
    std::set<std::string> pictures, pages;
    reader.rewind();
    while (reader.nextElement()) {
        const char* name = reader.currentName();
        if (equalNoCase(name, "Frame")) {
            if (const char* alt = reader.attributeTrimmed("alt"); alt && *alt) pages.insert(alt);
        } else if (equalNoCase(name, "Image")) {
            if (const char* src = reader.attributeTrimmed("src"); src && *src) pictures.insert(src);
        } else if (equalNoCase(name, "Text")) {
            std::string face = text("font", true);
            if (face.empty()) face = "Arial";
            auto it = fontOfFace.find(face + "/" + std::to_string(styleBits(text("style", false))));
            if (it == fontOfFace.end()) continue;
            if (const char16_t* chars = reader.attributeWide(nullptr)) {
                fonts[it->second].chars.append(chars, reader.valueLength());
            }
        }
    }

    // Page images at a quarter of the page's pixel size, other images 240 x 180.
    const auto pw = uint32_t(std::max(2.0, docWidth / 80)), ph = uint32_t(std::max(2.0, docHeight / 80));
    for (const std::string& p : pages) {
        if (!writePicture(dir / p, pw, ph, true)) return fail(p, "cannot write the page image");
    }
    for (const std::string& p : pictures) {
        if (fs::path(p).extension() != ".bag") continue;  // other files are the caller's
        if (!writePicture(dir / p, 240, 180, false)) return fail(p, "cannot write the image");
    }
    for (const auto& [file, font] : fonts) {
        std::unique_ptr<CapturedFont> face = CapturedFont::capture(font.face, font.style, -1);
        if (!face) return fail(font.face, "cannot capture the font");
        face->addGlyphs(font.chars);
        if (!writeScrambled(dir / file, fontFileMml(*face))) return fail(file, "cannot write the font file");
    }
    if (!settingsPath.empty()) {
        fs::copy_file(settingsPath, dir / "media.settings", fs::copy_options::overwrite_existing, ec);
        if (ec) return fail(settingsPath, "cannot copy the settings");
    }
    if (!writeScrambled(dir / "media.mml", indexText)) return fail("media.mml", "cannot write the job index");
    // The driver's last word on a finished job.
    const std::string status = "end:" + std::to_string(pages.empty() ? 0 : pages.size());
    if (!writeWholeFile((dir / "_status").string(), status.data(), status.size())) {
        return fail("_status", "cannot write the status file");
    }
    return 0;
}
