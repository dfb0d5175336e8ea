// Arbitrary bytes as an embedded font: the bytes stand inline in a page as
// the font's markup, followed by a Text that asks for that font by the name,
// style and character set the bytes declare, so the text is laid out and
// encoded with whatever glyphs, outlines, advances and kerning they hold.
//
// The page goes through the interpreter and the movie writer as
// convertMarkupText runs them, but without system fonts: a font the bytes
// fail to define would otherwise be captured from the system on every run
// (a fontconfig match and a whole face's kerning pairs, about a tenth of a
// second under the sanitizers), and the fuzzer would spend its time there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "composer/mml_interpreter.h"
#include "swf/dictionary.h"
#include "swf/movie_writer.h"

namespace {

// The raw value of the first `name="..."` in the text (empty when none).
std::string_view rawAttribute(std::string_view text, std::string_view name) {
    const std::string pattern = std::string(name) + "=\"";
    const size_t at = text.find(pattern);
    if (at == std::string_view::npos) return {};
    const size_t start = at + pattern.size();
    const size_t end = text.find('"', start);
    if (end == std::string_view::npos) return {};
    return text.substr(start, end - start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaly;
    const std::string_view font(reinterpret_cast<const char*>(data), size);
    // Only the opening tag names the font; glyph attributes come later.
    const std::string_view head = font.substr(0, font.find('>'));

    std::string page = "<Media width=\"8000\" height=\"2000\"><Frame>\n";
    page += font;
    page += "\n<Text font=\"";
    page += rawAttribute(head, "font");
    page += "\" style=\"";
    page += rawAttribute(head, "style");
    page += "\" charset=\"";
    const std::string_view charset = rawAttribute(head, "charSet");
    page += charset.empty() ? "-1" : charset;
    // Two lines of the same characters: one laid out by the font's advances
    // and kerning, one at explicit positions (a few past the string's end).
    page += "\" size=\"600\" pos=\"100,800\">HAVo! Type</Text>\n<Text font=\"";
    page += rawAttribute(head, "font");
    page += "\" style=\"";
    page += rawAttribute(head, "style");
    page += "\" charset=\"";
    page += charset.empty() ? "-1" : charset;
    page += "\" size=\"4000\" pos=\"100,1800\" charpos=\"0,0;300,-20;600,20;-900,0;1200,0;0,0;0,0\">"
            "HAVo!</Text>\n</Frame></Media>\n";

    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    interpreter.dictionary = &dictionary;
    // Relative src paths resolve into a directory that holds nothing.
    interpreter.setJobDirectory("/nonexistent-tessaly-fuzz/");
    if (!interpreter.InputOpen() || !interpreter.SetSource(page)) return 0;
    SwfMovieWriter writer;
    writer.dictionary = &dictionary;
    // Results are not checked: the target only asks that every input is handled safely.
    (void)writer.SetRootStoreObject(interpreter.rootEntry());
    if (!writer.OutputOpen()) return 0;
    writer.frameWidth = 8000;
    writer.frameHeight = 2000;
    int more = 1;
    while (more) {
        more = interpreter.InputFrame();
        const int r = more ? writer.OutputFrame() : writer.writeAllFrames();
        if (r < 0 || (!more && r == 0)) return 0;
    }
    (void)writer.close();
    uint32_t length = 0;
    const uint8_t* bytes = writer.getData(&length);
    // A finished movie holds at least its header, whose length field is the movie's.
    if (!bytes || length < 8 ||
        (uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 | uint32_t(bytes[6]) << 16 | uint32_t(bytes[7]) << 24) != length) {
        __builtin_trap();
    }
    return 0;
}
