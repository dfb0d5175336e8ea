#include "swfbuild/xml_reader.h"

#include <cstdint>

#include "support/text.h"

namespace tessaly {

const std::string* XmlElement::attribute(std::string_view key) const {
    for (const auto& [k, v] : attributes)
        if (k == key) return &v;
    return nullptr;
}

namespace {

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (unsigned char)c >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

class Parser {
public:
    explicit Parser(std::string_view t) : t_(t) {}

    bool document(XmlElement& root) {
        skipMisc();
        if (!startsWith("<") || pos_ + 1 >= t_.size() || !isNameStart(t_[pos_ + 1]))
            return fail("the document has no root element");
        if (!element(root, 1)) return false;
        skipMisc();
        if (pos_ < t_.size()) return fail("text after the root element");
        return true;
    }

    std::string error;
    int errorLine = 0;

private:
    bool fail(std::string text) {
        if (error.empty()) {
            error = std::move(text);
            errorLine = line_;
        }
        return false;
    }
    bool startsWith(std::string_view s) const { return t_.substr(pos_, s.size()) == s; }
    void advance(size_t n) {
        for (size_t i = 0; i < n && pos_ < t_.size(); ++i)
            if (t_[pos_++] == '\n') ++line_;
    }
    void skipSpace() {
        while (pos_ < t_.size() && isSpace(t_[pos_])) advance(1);
    }
    // Skips up to and past `end`; false when it never comes.
    bool skipPast(std::string_view end, const char* what) {
        const size_t at = t_.find(end, pos_);
        if (at == std::string_view::npos) return fail(std::string("unterminated ") + what);
        advance(at + end.size() - pos_);
        return true;
    }
    // Space, comments, processing instructions and a document type line.
    bool skipMisc() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                if (!skipPast("-->", "comment")) return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>", "processing instruction")) return false;
            } else if (startsWith("<!DOCTYPE")) {
                if (!skipPast(">", "document type")) return false;
            } else {
                return true;
            }
        }
    }
    bool name(std::string& out) {
        if (pos_ >= t_.size() || !isNameStart(t_[pos_])) return fail("a name was expected");
        const size_t start = pos_;
        while (pos_ < t_.size() && isNameChar(t_[pos_])) ++pos_;
        out = std::string(t_.substr(start, pos_ - start));
        return true;
    }
    // Decodes the entity at pos_ ('&') into out.
    bool entity(std::string& out) {
        const size_t end = t_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) return fail("'&' that starts no entity (write &amp;)");
        const std::string_view e = t_.substr(pos_ + 1, end - pos_ - 1);
        if (e == "lt") out += '<';
        else if (e == "gt") out += '>';
        else if (e == "amp") out += '&';
        else if (e == "quot") out += '"';
        else if (e == "apos") out += '\'';
        else if (e.size() >= 2 && e[0] == '#') {
            const bool hex = e[1] == 'x' || e[1] == 'X';
            const std::string_view digits = e.substr(hex ? 2 : 1);
            uint32_t cp = 0;
            if (digits.empty()) return fail("empty character reference");
            for (char c : digits) {
                int v;
                if (c >= '0' && c <= '9') v = c - '0';
                else if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
                else return fail("bad character reference &" + std::string(e) + ";");
                cp = cp * (hex ? 16 : 10) + uint32_t(v);
                if (cp > 0x10FFFF) return fail("character reference out of range");
            }
            if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return fail("character reference out of range");
            appendUtf8(out, cp);
        } else {
            return fail("unknown entity &" + std::string(e) + ";");
        }
        advance(end + 1 - pos_);
        return true;
    }
    bool element(XmlElement& el, int depth) {
        if (depth > XmlReader::kMaxDepth) return fail("elements are nested too deeply");
        el.line = line_;
        advance(1);  // '<'
        if (!name(el.name)) return false;
        for (;;) {
            const size_t before = pos_;
            skipSpace();
            if (pos_ >= t_.size()) return fail("unterminated start tag <" + el.name + ">");
            if (startsWith("/>")) {
                advance(2);
                return true;
            }
            if (t_[pos_] == '>') {
                advance(1);
                break;
            }
            if (before == pos_) return fail("space is needed between attributes of <" + el.name + ">");
            std::string key;
            if (!name(key)) return false;
            skipSpace();
            if (pos_ >= t_.size() || t_[pos_] != '=') return fail("attribute '" + key + "' has no value");
            advance(1);
            skipSpace();
            if (pos_ >= t_.size() || (t_[pos_] != '"' && t_[pos_] != '\''))
                return fail("the value of '" + key + "' is not quoted");
            const char quote = t_[pos_];
            advance(1);
            std::string value;
            for (;;) {
                if (pos_ >= t_.size()) return fail("unterminated value of '" + key + "'");
                const char c = t_[pos_];
                if (c == quote) {
                    advance(1);
                    break;
                }
                if (c == '<') return fail("'<' inside the value of '" + key + "'");
                if (c == '&') {
                    if (!entity(value)) return false;
                } else {
                    value += c;
                    advance(1);
                }
            }
            if (el.attribute(key)) return fail("attribute '" + key + "' given twice");
            el.attributes.emplace_back(std::move(key), std::move(value));
        }
        // Content.
        for (;;) {
            if (pos_ >= t_.size()) return fail("<" + el.name + "> is not closed");
            if (startsWith("</")) {
                advance(2);
                std::string closing;
                if (!name(closing)) return false;
                if (closing != el.name)
                    return fail("</" + closing + "> closes <" + el.name + "> (opened on line " +
                                std::to_string(el.line) + ")");
                skipSpace();
                if (pos_ >= t_.size() || t_[pos_] != '>') return fail("unterminated end tag");
                advance(1);
                return true;
            }
            if (startsWith("<!--")) {
                if (!skipPast("-->", "comment")) return false;
            } else if (startsWith("<![CDATA[")) {
                advance(9);
                if (el.textLine == 0) el.textLine = line_;
                const size_t end = t_.find("]]>", pos_);
                if (end == std::string_view::npos) return fail("unterminated CDATA section");
                el.text += t_.substr(pos_, end - pos_);
                advance(end + 3 - pos_);
            } else if (startsWith("<?")) {
                if (!skipPast("?>", "processing instruction")) return false;
            } else if (t_[pos_] == '<') {
                el.children.emplace_back();
                if (!element(el.children.back(), depth + 1)) return false;
            } else {
                if (el.textLine == 0 && !isSpace(t_[pos_])) el.textLine = line_;
                if (t_[pos_] == '&') {
                    if (!entity(el.text)) return false;
                } else {
                    // Keep the lines of the text, so that line numbers in it hold.
                    if (el.textLine == 0 && t_[pos_] == '\n') el.text.clear();
                    else el.text += t_[pos_];
                    advance(1);
                }
            }
        }
    }

    std::string_view t_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

int XmlReader::parse(std::string_view text, XmlElement& root) {
    error_.clear();
    root = XmlElement{};
    Parser p(text);
    if (!p.document(root)) {
        error_ = "line " + std::to_string(p.errorLine) + ": " + p.error;
        root = XmlElement{};
        return 0;
    }
    return 1;
}

}  // namespace tessaly
