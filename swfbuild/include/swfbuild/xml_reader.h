#pragma once
// A small XML reader for the movie sources: elements, attributes, text,
// comments, CDATA sections, the five named entities and numeric character
// references (written out as UTF-8). No namespaces, no DTDs.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

struct XmlElement {
    std::string name;
    int line = 0;  // where the start tag begins
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlElement> children;
    std::string text;  // the text directly inside, pieces joined
    int textLine = 0;  // where that text begins (0 when there is none)

    // The attribute's value, or null.
    const std::string* attribute(std::string_view key) const;
};

class XmlReader {
public:
    // Elements nested deeper than this are refused.
    static constexpr int kMaxDepth = 64;

    // Parses a whole document into its root element. 1 on success; 0 with
    // errorText() as "line N: what is wrong".
    [[nodiscard]] int parse(std::string_view text, XmlElement& root);
    const std::string& errorText() const { return error_; }

private:
    std::string error_;
};

}  // namespace tessaly
