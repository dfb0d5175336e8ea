// tessaly-fontfile: captures a system font with the glyphs of a text and
// writes it as a font file in MML, the form a <Font src="..."/> element reads.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fontcapture/font_capture.h"
#include "support/atomic_file.h"

namespace {

const char kUsage[] =
    "Usage: tessaly-fontfile FACE [--bold] [--italic] [--charset N] [--name NAME]\n"
    "                        --chars TEXT -o FONTFILE.mml\n"
    "\n"
    "Captures the system font FACE with the glyphs of TEXT and writes it as a font\n"
    "file (plain markup) that a <Font src=\"FONTFILE.mml\"/> element reads.\n"
    "\n"
    "  --bold, --italic  the style to capture\n"
    "  --charset N       the character set to ask for (default -1: the face's own)\n"
    "  --name NAME       the font name written into the file (default FACE); texts\n"
    "                    select the font by this name\n"
    "  --chars TEXT      the characters whose glyphs the file holds (UTF-8; the\n"
    "                    space is always included)\n"
    "  -o FONTFILE.mml   the file to write (replaced only when all went well)\n"
    "  -h, --help        show this help\n";

int fail(const std::string& reason) {
    std::fprintf(stderr, "tessaly-fontfile: %s\n", reason.c_str());
    return 1;
}

// UTF-8 to UTF-16; false for malformed input or characters beyond U+FFFF
// (font files hold 16-bit codes).
bool decodeUtf8(std::string_view in, std::u16string* out) {
    size_t i = 0;
    while (i < in.size()) {
        const auto b = static_cast<unsigned char>(in[i]);
        uint32_t c = 0;
        size_t extra = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else {
            return false;
        }
        if (extra > in.size() - i - 1) return false;  // cut short
        for (size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(in[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            c = (c << 6) | (cont & 0x3F);
        }
        // Overlong forms and surrogates are not characters.
        if ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) || (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        out->push_back(static_cast<char16_t>(c));
        i += extra + 1;
    }
    return true;
}

bool parseInteger(const char* text, int32_t* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < -1 || v > 255) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string face, name, output;
    std::string chars;
    bool haveChars = false;
    int32_t style = 0;
    int32_t charSet = -1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--bold")) {
            style |= tessaly::kFontStyleBold;
        } else if (!std::strcmp(arg, "--italic")) {
            style |= tessaly::kFontStyleItalic;
        } else if (!std::strcmp(arg, "--charset") && i + 1 < argc) {
            if (!parseInteger(argv[++i], &charSet)) return fail("--charset takes -1 or 0 to 255");
        } else if (!std::strcmp(arg, "--name") && i + 1 < argc) {
            name = argv[++i];
        } else if (!std::strcmp(arg, "--chars") && i + 1 < argc) {
            chars = argv[++i];
            haveChars = true;
        } else if (!std::strcmp(arg, "-o") && i + 1 < argc) {
            output = argv[++i];
        } else if (arg[0] != '-' && face.empty()) {
            face = arg;
        } else {
            return fail(std::string("unknown or incomplete argument '") + arg + "' (see --help)");
        }
    }
    if (face.empty() || !haveChars || output.empty()) return fail("FACE, --chars and -o are needed (see --help)");
    if (face.size() >= tessaly::CapturedFont::kFaceNameSize) return fail("the face name is longer than 64 bytes");
    if (name.size() >= tessaly::CapturedFont::kFaceNameSize) return fail("--name is longer than 64 bytes");
    if (name.find_first_of("\"<>&") != std::string::npos) return fail("--name holds a markup character");

    std::u16string text;
    if (!decodeUtf8(chars, &text)) return fail("--chars is not UTF-8 text of 16-bit characters");

    std::unique_ptr<tessaly::CapturedFont> font = tessaly::CapturedFont::capture(face, style, charSet);
    if (!font) return fail("cannot capture the font '" + face + "'");
    if (const size_t missing = font->addGlyphs(text)) {
        return fail("the font '" + face + "' has no outline for " + std::to_string(missing) + " of the characters");
    }

    std::string mml = tessaly::fontFileMml(*font);
    if (!name.empty()) {
        // The name is the first attribute; the capture wrote the face name there.
        const std::string_view head = "<Font font=\"";
        const size_t end = mml.find('"', head.size());
        if (mml.compare(0, head.size(), head) != 0 || end == std::string::npos) {
            return fail("unexpected font file layout");
        }
        mml.replace(head.size(), end - head.size(), name);
    }
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(mml.data()), mml.size());
    if (!tessaly::writeFileAtomically(output, {bytes})) return fail(output + ": cannot write the font file");
    return 0;
}
