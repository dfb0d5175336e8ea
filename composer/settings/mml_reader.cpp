#include "composer/mml_reader.h"

#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

#include "support/entities.h"
#include "support/files.h"
#include "support/text.h"

namespace tessaly {

namespace {
constexpr size_t kInitialStack = 5;
constexpr size_t kScratchStep = 8192;

// foldCase as a table: the tag and attribute scans fold every byte they compare.
constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (unsigned u = 0; u < 256; ++u) {
        const bool upper = (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
        table[u] = static_cast<unsigned char>(upper ? u + 0x20 : u);
    }
    return table;
}
constexpr auto kFold = makeFoldTable();

inline unsigned char fold(char c) { return kFold[static_cast<unsigned char>(c)]; }

// The first c at or after `from` in a NUL-terminated document of `length`
// bytes, or length. Tags and values are short, so a plain loop beats a call.
inline size_t findByte(const char* d, size_t from, size_t length, char c) {
    while (from < length && d[from] != c) ++from;
    return from;
}

inline bool equalFolded(const char* text, std::string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        if (fold(text[i]) != fold(name[i])) return false;
    }
    return true;
}

size_t roundUp(size_t n) { return (n / kScratchStep + 1) * kScratchStep; }
}  // namespace

MmlReader::MmlReader() {
    try {
        doc_.assign(1, '\0');
        stack_.reserve(kInitialStack);
        scratch_.resize(kScratchStep);
    } catch (const std::bad_alloc&) {
        // Every operation checks for room again before it uses a buffer.
    }
}

MmlReader::~MmlReader() = default;
MmlReader::MmlReader(MmlReader&&) noexcept = default;
MmlReader& MmlReader::operator=(MmlReader&&) noexcept = default;

int MmlReader::loadText(const char* text) {
    if (!text) return 0;
    return loadText(std::string_view(text));
}

int MmlReader::loadText(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    try {
        std::vector<char> copy(text.size() + 1);
        if (!text.empty()) std::memcpy(copy.data(), text.data(), text.size());
        copy[text.size()] = 0;
        doc_.swap(copy);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    length_ = text.size();
    loaded_ = true;
    stack_.clear();
    return 1;
}

int MmlReader::loadFile(const char* path) {
    if (!path) return 0;
    SizedBlock file;
    if (!readWholeFile(path, file)) return 0;
    // The text ends at its first zero byte, as it would in memory.
    const auto* text = reinterpret_cast<const char*>(file.data.get());
    try {
        std::vector<char> data(text, text + file.length + 1);
        length_ = std::strlen(data.data());
        doc_.swap(data);
    } catch (const std::bad_alloc&) {
        return 0;  // too large to hold
    }
    loaded_ = true;
    stack_.clear();
    return 1;
}

void MmlReader::release() {
    std::vector<char>(1, '\0').swap(doc_);
    length_ = 0;
    loaded_ = false;
    stack_.clear();
}

// ---- Tag scanning ----

bool MmlReader::finishTag(size_t lt, size_t nameBegin, size_t nameEnd, ElementRecord* out,
                          bool copyName) const {
    const char* d = doc_.data();
    const void* gt = std::memchr(d + nameEnd, '>', length_ - nameEnd);
    if (!gt) return false;
    const size_t gtOffset = size_t(static_cast<const char*>(gt) - d);
    out->tagOffset = lt;
    out->tagLength = gtOffset - lt + 1;
    out->attrOffset = nameEnd + 1;
    out->hasContent = d[gtOffset - 1] != '/';
    if (copyName) {
        size_t n = nameEnd - nameBegin;
        if (n > ElementRecord::kNameSize - 1) n = ElementRecord::kNameSize - 1;
        std::memcpy(out->name, d + nameBegin, n);
        out->name[n] = 0;
    }
    return true;
}

bool MmlReader::scanAnyTag(size_t from, ElementRecord* out, bool copyName) const {
    if (from >= length_) return false;
    const char* d = doc_.data();
    const void* hit = std::memchr(d + from, '<', length_ - from);
    if (!hit) return false;
    const size_t lt = size_t(static_cast<const char*>(hit) - d);
    size_t q = lt + 1;
    if (d[q] == '/') ++q;
    // The document's NUL sits at length_, so this loop stops there at the latest.
    for (;;) {
        const char c = d[q];
        if (c == ' ' || c == '/' || c == '>') break;
        if (c == 0) return false;
        ++q;
    }
    return finishTag(lt, lt + 1, q, out, copyName);
}

bool MmlReader::scanNamedTag(size_t from, std::string_view name, ElementRecord* out) const {
    const char* d = doc_.data();
    while (from < length_) {
        const void* hit = std::memchr(d + from, '<', length_ - from);
        if (!hit) return false;
        const size_t lt = size_t(static_cast<const char*>(hit) - d);
        const size_t nameEnd = lt + 1 + name.size();
        if (nameEnd >= length_) return false;  // too close to the end to hold the name and a '>'
        const char after = d[nameEnd];
        if ((after == ' ' || after == '/' || after == '>') && equalFolded(d + lt + 1, name)) {
            return finishTag(lt, lt + 1, nameEnd, out, true);
        }
        from = lt + 1;
    }
    return false;
}

bool MmlReader::valueMatches(const ElementRecord& element, const char* attrName,
                             const char* attrValue, bool ignoreCase) {
    size_t begin = 0, end = 0;
    if (!findAttribute(element, attrName, &begin, &end)) return false;
    const char* value = decodeNarrow(begin, end);
    if (!value) return false;
    const std::string_view decoded(value, valueLength_);
    return ignoreCase ? equalNoCase(decoded, std::string_view(attrValue)) : decoded == attrValue;
}

int MmlReader::nextElement(const char* name, const char* attrName, const char* attrValue,
                           bool ignoreCase) {
    const bool filter = attrName && attrValue;
    ElementRecord found;
    size_t from = cursor();
    for (;;) {
        const bool ok = name ? scanNamedTag(from, name, &found) : scanAnyTag(from, &found, true);
        if (!ok) return 0;
        if (!filter || valueMatches(found, attrName, attrValue, ignoreCase)) break;
        from = found.tagEnd();
    }
    if (stack_.empty()) {
        try {
            stack_.push_back(found);
        } catch (const std::bad_alloc&) {
            return 0;
        }
    } else {
        stack_.back() = found;
    }
    return 1;
}

// ---- Element stack ----

int MmlReader::push() {
    if (stack_.empty()) return 0;
    try {
        const ElementRecord top = stack_.back();
        stack_.push_back(top);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int MmlReader::pushRecord(const ElementRecord& record) {
    // Only records this document could have produced: a '<' ... '>' span with
    // the attribute search starting inside it.
    if (record.tagLength < 2 || record.tagEnd() > length_ || record.tagEnd() < record.tagOffset ||
        record.attrOffset <= record.tagOffset + 1 || record.attrOffset > record.tagEnd() ||
        doc_[record.tagOffset] != '<' || doc_[record.tagEnd() - 1] != '>') {
        return 0;
    }
    try {
        stack_.push_back(record);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int MmlReader::pop() {
    if (stack_.empty()) return 0;
    stack_.pop_back();
    return 1;
}

int MmlReader::swapTop() {
    const size_t n = stack_.size();
    if (n < 2) return 0;
    std::swap(stack_[n - 1], stack_[n - 2]);
    return 1;
}

// ---- Attributes ----

bool MmlReader::findAttribute(const ElementRecord& element, std::string_view name, size_t* begin,
                              size_t* end) const {
    const char* d = doc_.data();
    const size_t m = name.size();
    // The name has to end at least two bytes before the tag's end, leaving
    // room for '=' and the closing '>'.
    const size_t tagEnd = element.tagEnd();
    if (tagEnd > length_ || element.attrOffset + m + 2 > tagEnd) return false;
    const size_t lastStart = tagEnd - 2 - m;
    // A match must follow a space and start with the name's first letter.
    const unsigned char first = m ? fold(name[0]) : 0;
    for (size_t p = element.attrOffset; p <= lastStart; ++p) {
        if (d[p - 1] != ' ') continue;
        if (m && (fold(d[p]) != first || !equalFolded(d + p + 1, name.substr(1)))) continue;
        size_t q = p + m;
        while (isBlank(d[q])) ++q;  // stops at the tag's '>' at the latest
        if (d[q] != '=') continue;
        ++q;
        while (isBlank(d[q])) ++q;
        if (d[q] == '"') {
            ++q;
            *begin = q;
            *end = findByte(d, q, length_, '"');
            return true;
        }
        size_t r = q;
        while (r < length_) {
            const char c = d[r];
            if ((c == ' ' || c == '>') && d[r - 1] != '\\') break;
            ++r;
        }
        *begin = q;
        *end = r;
        if (r < length_ && d[r] == '>' && r > q && d[r - 1] == '/') *end = r - 1;
        return true;
    }
    return false;
}

bool MmlReader::rawValue(const char* name, size_t* begin, size_t* end) const {
    if (stack_.empty()) return false;
    const ElementRecord& top = stack_.back();
    if (name) return findAttribute(top, name, begin, end);
    const size_t from = top.tagEnd();
    if (from >= length_) return false;
    const void* lt = std::memchr(doc_.data() + from, '<', length_ - from);
    if (!lt) return false;
    *begin = from;
    *end = size_t(static_cast<const char*>(lt) - doc_.data());
    return true;
}

const char* MmlReader::decodeNarrow(size_t begin, size_t end) {
    const size_t n = end - begin;
    try {
        if (scratch_.size() < n + 1) scratch_.resize(roundUp(n + 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    char* out = scratch_.data();
    if (n) std::memcpy(out, doc_.data() + begin, n);
    out[n] = 0;
    // Most values hold no entity at all.
    valueLength_ = (n && std::memchr(out, '&', n)) ? unescapeNarrow(out, n) : n;
    return out;
}

const char* MmlReader::attribute(const char* name) {
    size_t begin = 0, end = 0;
    if (!rawValue(name, &begin, &end)) return nullptr;
    return decodeNarrow(begin, end);
}

const char* MmlReader::attributeTrimmed(const char* name) {
    char* value = const_cast<char*>(attribute(name));
    if (!value) return nullptr;
    size_t n = valueLength_;
    while (n > 0 && isBlank(value[n - 1])) --n;
    size_t start = 0;
    while (start < n && isBlank(value[start])) ++start;
    if (start) std::memmove(value, value + start, n - start);
    value[n - start] = 0;
    valueLength_ = n - start;
    return value;
}

const char16_t* MmlReader::attributeWide(const char* name) {
    size_t begin = 0, end = 0;
    if (!rawValue(name, &begin, &end)) return nullptr;
    const size_t n = end - begin;
    try {
        if (wideScratch_.size() < n + 1) wideScratch_.resize(roundUp(n + 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    valueLength_ = unescapeToWide(doc_.data() + begin, n, wideScratch_.data());
    return wideScratch_.data();
}

const char* MmlReader::innerText() {
    if (stack_.empty()) return nullptr;
    const size_t start = stack_.back().tagEnd();
    const char* d = doc_.data();
    size_t open = 1;
    size_t from = start;
    ElementRecord tag;
    while (scanAnyTag(from, &tag, false)) {
        if (d[tag.tagOffset + 1] == '/') {
            if (open == 1) {
                const size_t n = tag.tagOffset - start;
                try {
                    if (scratch_.size() < n + 1) scratch_.resize(roundUp(n + 1));
                } catch (const std::bad_alloc&) {
                    return nullptr;
                }
                if (n) std::memcpy(scratch_.data(), d + start, n);
                scratch_[n] = 0;
                valueLength_ = n;
                return scratch_.data();
            }
            --open;
        } else if (tag.hasContent) {
            ++open;
        }
        from = tag.tagEnd();
    }
    return nullptr;
}

// ---- Typed getters ----

int MmlReader::attributeReal(const char* name, double* out) {
    const char* value = attributeTrimmed(name);
    if (!value) return -1;
    double v = 0;
    if (!parseLenientReal(std::string_view(value, valueLength_), &v)) return 0;
    *out = v;
    return 1;
}

int MmlReader::attributeInteger(const char* name, int32_t* out) {
    const char* value = attributeTrimmed(name);
    if (!value) return -1;
    return parseStrictInteger(std::string_view(value, valueLength_), out);
}

int MmlReader::attributePair(const char* name, double* first, double* second) {
    const char* value = attribute(name);
    if (!value) return -1;
    const std::string_view text(value, valueLength_);
    const size_t comma = text.find(',');
    const std::string_view a = trim(text.substr(0, comma));
    int result = 0;
    double v = 0;
    if (!a.empty()) {
        parseLenientReal(a, &v);
        *first = v;
        result |= 1;
    }
    if (comma != std::string_view::npos) {
        const std::string_view b = trim(text.substr(comma + 1));
        if (!b.empty()) {
            parseLenientReal(b, &v);
            *second = v;
            result |= 2;
        }
    }
    return result;
}

int MmlReader::attributeColor(const char* name, MmlColor* out) {
    const char* value = attributeTrimmed(name);
    if (!value) return -1;
    return parseColor(std::string_view(value, valueLength_), out);
}

}  // namespace tessaly
