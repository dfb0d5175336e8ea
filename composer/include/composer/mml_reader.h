#pragma once
// The MML markup reader: a forward-scanning cursor over one document held in
// memory. It moves from tag to tag by looking for '<', reads attributes on
// demand from the text of the current tag and never builds a tree; nesting
// exists only where a caller asks for it (the element stack and innerText).
//
// Scanning rules callers rely on:
// - A tag ends at the first '>' after its name; quotes do not protect a '>'
//   (writers escape it as &gt;). A tag without '>' is never found.
// - Only a space ends a name: "<Shape\n" is an element named "Shape\n".
// - Attribute names are matched ignoring case and must follow a space and
//   precede '=' (blanks allowed between). Quoted values run to the next '"',
//   unquoted ones to the first space or '>' not preceded by a backslash.
// - End tags are not matched by name when looking for an element's end.
//
// Returned values live in scratch buffers owned by the reader: a returned
// pointer stays valid until the next value request on the same reader
// (attribute*, innerText, or nextElement with an attribute filter). Copy what
// you keep. The document is treated as ending at its first NUL byte.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "composer/mml_values.h"

namespace tessaly {

struct ElementRecord {
    static constexpr size_t kNameSize = 64;  // 63 characters and the NUL

    bool hasContent = false;  // the start tag does not end in "/>"
    size_t tagOffset = 0;     // offset of the '<'
    size_t tagLength = 0;     // bytes from '<' through the first '>'
    size_t attrOffset = 0;    // just after the byte that ends the name
    char name[kNameSize] = {};  // as written, cut to 63; end tags keep their '/'

    size_t tagEnd() const { return tagOffset + tagLength; }
    bool isEndTag() const { return name[0] == '/'; }
};

class MmlReader {
public:
    MmlReader();
    ~MmlReader();
    MmlReader(const MmlReader&) = delete;
    MmlReader& operator=(const MmlReader&) = delete;
    MmlReader(MmlReader&&) noexcept;
    MmlReader& operator=(MmlReader&&) noexcept;

    // Copies the text (up to its first NUL) and clears the element stack.
    // 0 only when memory is exhausted (or text is null).
    [[nodiscard]] int loadText(const char* text);
    [[nodiscard]] int loadText(std::string_view text);
    // Reads the whole file; the text ends at its first NUL, as with loadText.
    // 0 when the file cannot be opened, sized or read completely.
    [[nodiscard]] int loadFile(const char* path);
    // Frees the document and the stack.
    void release();
    // Empties the element stack: the next search starts at the document's start.
    void rewind() { stack_.clear(); }

    const char* document() const { return doc_.data(); }
    size_t length() const { return length_; }
    bool loaded() const { return loaded_; }

    // Finds the next tag after the cursor (the end of the current start tag,
    // or the document's start when the stack is empty). With a name, only
    // start tags of that name (ignoring case) match; without one, every tag
    // does, end tags included. With both attrName and attrValue, a candidate
    // must also carry that attribute with that decoded value (ignoring case
    // when ignoreCase is set). On success the element replaces the top of the
    // stack; on failure the stack is unchanged. Returns 1 or 0.
    [[nodiscard]] int nextElement(const char* name = nullptr, const char* attrName = nullptr,
                    const char* attrValue = nullptr, bool ignoreCase = false);

    // Pushes a copy of the current element; 0 when there is none.
    [[nodiscard]] int push();
    // Pushes a remembered element, making it current again (its attributes
    // can be read; popping it restores the cursor). 0 when memory runs out.
    [[nodiscard]] int pushRecord(const ElementRecord& record);
    // Removes the top; 0 when the stack is empty.
    [[nodiscard]] int pop();
    // Exchanges the two top entries; 0 with fewer than two.
    [[nodiscard]] int swapTop();
    const ElementRecord* current() const { return stack_.empty() ? nullptr : &stack_.back(); }
    // The current element's name, or null.
    const char* currentName() const { return stack_.empty() ? nullptr : stack_.back().name; }
    size_t depth() const { return stack_.size(); }

    // The decoded value of the named attribute of the current element, or
    // null when there is no current element or no such attribute. A null name
    // asks for the text content: the bytes after the start tag up to the next
    // '<', decoded (null when no '<' follows).
    const char* attribute(const char* name);
    // As attribute(), with bytes 1-32 trimmed from both ends.
    const char* attributeTrimmed(const char* name);
    // As attribute(), decoded into UTF-16 (numeric entities of up to four
    // hex digits give one code unit).
    const char16_t* attributeWide(const char* name);
    // Length in units of the last value returned (it may hold NUL bytes
    // decoded from "&#x00;").
    size_t valueLength() const { return valueLength_; }

    // The raw bytes between the current start tag and its matching end tag,
    // not decoded; null when there is no current element or no matching end.
    const char* innerText();

    // Typed getters: -1 attribute absent, 0 empty or malformed, >0 success.
    // Real: trimmed, longest leading decimal number; 1.
    int attributeReal(const char* name, double* out);
    // Integer: trimmed, strict signed integer; 1.
    int attributeInteger(const char* name, int32_t* out);
    // Pair "a,b": each side trimmed and read like a real. 1 when the first
    // part is non-empty, plus 2 when a non-empty second part exists.
    int attributePair(const char* name, double* first, double* second);
    // Colour: trimmed, '#'/"0x" optional, 1 to 8 hex digits; 1.
    int attributeColor(const char* name, MmlColor* out);

private:
    // The raw (undecoded) value of an attribute of a record; false when absent.
    [[nodiscard]] bool findAttribute(const ElementRecord& element, std::string_view name, size_t* begin,
                       size_t* end) const;
    // Raw value for attribute(name) on the current element (text content for null).
    bool rawValue(const char* name, size_t* begin, size_t* end) const;
    const char* decodeNarrow(size_t begin, size_t end);
    // Scans the tag starting at the next '<' at or after `from` (any name).
    bool scanAnyTag(size_t from, ElementRecord* out, bool copyName) const;
    // The next start tag named `name` at or after `from`.
    bool scanNamedTag(size_t from, std::string_view name, ElementRecord* out) const;
    // Completes a record once the name has been delimited; false when no '>' follows.
    [[nodiscard]] bool finishTag(size_t lt, size_t nameBegin, size_t nameEnd, ElementRecord* out,
                   bool copyName) const;
    [[nodiscard]] bool valueMatches(const ElementRecord& element, const char* attrName, const char* attrValue,
                      bool ignoreCase);
    size_t cursor() const { return stack_.empty() ? 0 : stack_.back().tagEnd(); }

    std::vector<char> doc_;  // the document and its terminating NUL
    size_t length_ = 0;
    bool loaded_ = false;
    std::vector<ElementRecord> stack_;
    std::vector<char> scratch_;
    std::vector<char16_t> wideScratch_;
    size_t valueLength_ = 0;
};

}  // namespace tessaly
