#pragma once
// Name-to-value table with placeholder expansion: "{name}" is replaced by the
// value of a variable and "{=name op number}" by simple arithmetic on it.
// Used to fill page, preview and list templates and the HTML templates.
//
// Names are at most 51 characters. The bucket of a name comes from its exact
// bytes while names within a bucket compare ignoring case, so in practice a
// name is found under the spelling with which it was set.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly {

class ByteBuffer;

class VariableTable {
public:
    static constexpr uint32_t kBuckets = 513;
    static constexpr size_t kMaxName = 51;

    VariableTable();

    // Inserts or replaces the value of a name. The bytes are stored as given
    // (callers usually include the terminating NUL); a NUL is kept after them
    // in any case. A value not longer than the old one is replaced in place.
    // 0 when memory is exhausted or the name is longer than 51 characters.
    [[nodiscard]] int set(std::string_view name, const void* bytes, size_t length);
    // Stores text with its terminating NUL.
    [[nodiscard]] int set(std::string_view name, std::string_view text);

    // The stored bytes (as many as were set), or nothing when the name is
    // unknown. Like text(), it points into the table: valid until the next set().
    std::optional<std::string_view> get(std::string_view name) const;
    // The value as text (up to its first NUL), or null when unknown.
    const char* text(std::string_view name) const;

    size_t count() const { return entries_.size(); }
    // Bytes used in the value store, abandoned values included.
    size_t storeSize() const { return values_.size(); }
    void clear();

    // Writes the template at the output's position (replacing whatever lay
    // beyond it), placeholders replaced, then a NUL; the position is left on
    // that NUL so a further append continues the text. Placeholders that are not valid, name unknown variables or
    // whose arithmetic fails are copied unchanged, or dropped when dropUnknown
    // is set. Afterwards every "\{" of the appended text becomes "{".
    // 0 when the output could not grow.
    [[nodiscard]] int expand(std::string_view templateText, ByteBuffer& output, bool dropUnknown) const;

private:
    struct Entry {
        uint32_t valueOffset = 0;
        uint32_t valueLength = 0;
        int32_t next = -1;
        char name[kMaxName + 1] = {};
    };

    int32_t find(std::string_view name) const;
    // The replacement for the content between braces; false when the
    // placeholder is not valid, unknown, or its arithmetic fails.
    bool evaluate(std::string_view content, char* number, std::string_view* out) const;

    std::array<int32_t, kBuckets> buckets_;
    std::vector<Entry> entries_;
    std::vector<char> values_;
};

}  // namespace tessaly
