#pragma once
// Builds a whole SWF movie from its XML source: header, shapes, sprites,
// buttons, text fields, placements, frame labels, exports and actions (the
// action text goes through the ActionAssembler). The source form is
// described in tools/tessaly-swfbuild/README.md.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "swf/swf_stream.h"
#include "swfbuild/xml_reader.h"

namespace tessaly {

class MovieBuilder {
public:
    // Sources larger than this are refused (includes count one by one).
    static constexpr size_t kMaxSourceBytes = 16u << 20;
    static constexpr int kMaxIncludeDepth = 16;

    // Builds the movie from the source file at path. 1 with the movie's bytes
    // in `movie`; 0 with errorText() as "file:line: what is wrong".
    [[nodiscard]] int buildFile(const std::string& path, std::vector<uint8_t>& movie);
    // The same from source text; includes and action files are looked up
    // beside `fileName`.
    [[nodiscard]] int build(std::string_view text, const std::string& fileName,
                            std::vector<uint8_t>& movie);
    const std::string& errorText() const { return error_; }

private:
    struct Context;  // the file being read

    bool fail(const Context& c, int line, const std::string& text);
    bool body(const Context& c, const XmlElement& parent, bool library);
    bool include(const Context& c, const XmlElement& el);
    bool shape(const Context& c, const XmlElement& el);
    bool sprite(const Context& c, const XmlElement& el);
    bool button(const Context& c, const XmlElement& el);
    bool text(const Context& c, const XmlElement& el);
    bool font(const Context& c, const XmlElement& el);
    bool exportAsset(const Context& c, const XmlElement& el);
    bool frame(const Context& c, const XmlElement& el, bool root);
    bool place(const Context& c, const XmlElement& el);
    bool actions(const Context& c, const XmlElement& el, std::vector<uint8_t>& code);
    // A new character id for the definition's "id" attribute.
    bool defineId(const Context& c, const XmlElement& el, uint32_t& id);
    // The id of the character named by the "use" attribute.
    bool useId(const Context& c, const XmlElement& el, uint32_t& id);

    std::string error_;
    SwfStream stream_;
    uint8_t version_ = 8;
    std::map<std::string, uint32_t> ids_;
    std::map<std::string, uint32_t> deviceFonts_;
    std::set<uint32_t> sprites_;
    std::set<uint32_t> fonts_;  // embedded fonts
    uint32_t nextId_ = 1;
    int includeDepth_ = 0;
};

}  // namespace tessaly
