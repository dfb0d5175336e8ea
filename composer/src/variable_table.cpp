#include "composer/variable_table.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "composer/mml_values.h"
#include "support/byte_buffer.h"
#include "support/checksum.h"
#include "support/text.h"

namespace tessaly {

namespace {
constexpr size_t kInitialEntries = 128;
constexpr size_t kInitialValues = 4096;
// Longest placeholder content looked at; longer ones are never valid.
constexpr size_t kMaxContent = 256;
constexpr size_t kNumberSize = 64;

bool isOperator(char c) { return c == '%' || c == '*' || c == '+' || c == '-' || c == '/'; }
bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool startsOperand(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

std::string_view untilNul(std::string_view bytes) {
    const size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}
}  // namespace

VariableTable::VariableTable() {
    buckets_.fill(-1);
    try {
        entries_.reserve(kInitialEntries);
        values_.reserve(kInitialValues);
    } catch (const std::bad_alloc&) {
        // set() reports the failure when it needs the room.
    }
}

void VariableTable::clear() {
    buckets_.fill(-1);
    entries_.clear();
    values_.clear();
}

int32_t VariableTable::find(std::string_view name) const {
    if (name.size() > kMaxName) return -1;
    for (int32_t i = buckets_[bucketHash(name, kBuckets)]; i >= 0; i = entries_[size_t(i)].next) {
        if (equalNoCase(std::string_view(entries_[size_t(i)].name), name)) return i;
    }
    return -1;
}

int VariableTable::set(std::string_view name, const void* bytes, size_t length) {
    if (name.size() > kMaxName || name.find('\0') != std::string_view::npos) return 0;
    if (length >= std::numeric_limits<uint32_t>::max() - values_.size() - 1) return 0;
    const auto* source = static_cast<const char*>(bytes);
    try {
        int32_t index = find(name);
        if (index >= 0 && length <= entries_[size_t(index)].valueLength) {
            Entry& e = entries_[size_t(index)];
            if (length) std::memmove(values_.data() + e.valueOffset, source, length);
            values_[e.valueOffset + length] = 0;
            e.valueLength = uint32_t(length);
            return 1;
        }
        // Room first, so a failure leaves the table as it was.
        if (index < 0 && entries_.size() == entries_.capacity()) entries_.reserve(entries_.empty() ? 16 : entries_.size() * 2);
        const size_t offset = values_.size();
        values_.resize(offset + length + 1);
        if (length) std::memcpy(values_.data() + offset, source, length);
        values_[offset + length] = 0;
        if (index < 0) {
            Entry e;
            std::memcpy(e.name, name.data(), name.size());
            e.name[name.size()] = 0;
            const uint32_t bucket = bucketHash(name, kBuckets);
            e.next = buckets_[bucket];
            index = int32_t(entries_.size());
            entries_.push_back(e);
            buckets_[bucket] = index;
        }
        entries_[size_t(index)].valueOffset = uint32_t(offset);
        entries_[size_t(index)].valueLength = uint32_t(length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int VariableTable::set(std::string_view name, std::string_view text) {
    // The value store keeps a NUL after every value, so text with its NUL is
    // text.size() + 1 bytes taken from a terminated copy.
    const size_t n = text.size();
    std::vector<char> copy;
    try {
        copy.assign(text.begin(), text.end());
        copy.push_back('\0');
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return set(name, copy.data(), n + 1);
}

std::optional<std::string_view> VariableTable::get(std::string_view name) const {
    const int32_t index = find(name);
    if (index < 0) return std::nullopt;
    const Entry& e = entries_[size_t(index)];
    return std::string_view(values_.data() + e.valueOffset, e.valueLength);
}

const char* VariableTable::text(std::string_view name) const {
    const int32_t index = find(name);
    return index < 0 ? nullptr : values_.data() + entries_[size_t(index)].valueOffset;
}

bool VariableTable::evaluate(std::string_view content, char* number, std::string_view* out) const {
    if (content.size() >= kMaxContent) return false;
    if (content.empty()) return false;
    if (content.front() != '=') {
        const char first = content.front();
        if (content.size() > kMaxName || !(isAsciiAlnum(first) || first == '_')) return false;
        const auto value = get(content);
        if (!value) return false;
        *out = untilNul(*value);
        return true;
    }
    const std::string_view text = content.substr(1);
    // The operator is the last of % * + - / from the end (not the first
    // byte); a + or - right after another of them is the operand's sign.
    size_t op = std::string_view::npos;
    for (size_t i = text.size(); i-- > 1;) {
        if (!isOperator(text[i])) continue;
        op = ((text[i] == '+' || text[i] == '-') && isOperator(text[i - 1])) ? i - 1 : i;
        break;
    }
    if (op == std::string_view::npos || op + 1 >= text.size() || !startsOperand(text[op + 1])) {
        const auto value = get(text);
        if (!value) return false;
        *out = untilNul(*value);
        return true;
    }
    const auto left = get(text.substr(0, op));
    if (!left) return false;
    double value = 0, operand = 0;
    if (!parseStrictReal(untilNul(*left), &value)) return false;
    std::string_view right = text.substr(op + 1);
    // The sign may be written as '+'; a strict real takes only '-'.
    if (!right.empty() && right.front() == '+') right.remove_prefix(1);
    if (!parseStrictReal(right, &operand)) return false;
    double result = 0;
    switch (text[op]) {
        case '+': result = value + operand; break;
        case '-': result = value - operand; break;
        case '*': result = value * operand; break;
        case '/':
            if (std::fabs(operand) < 0.00001) return false;
            result = value / operand;
            break;
        default:  // '%'
            if (std::fabs(operand) < 0.0001 || std::fabs(operand) > 10000) return false;
            result = value * operand * 0.01;
            break;
    }
    if (!std::isfinite(result)) return false;
    const int n = std::snprintf(number, kNumberSize, "%g", result);
    if (n <= 0 || size_t(n) >= kNumberSize) return false;
    for (int i = 0; i < n; ++i) {
        if (number[i] == ',') number[i] = '.';  // never a locale's decimal comma
    }
    *out = std::string_view(number, size_t(n));
    return true;
}

int VariableTable::expand(std::string_view tpl, ByteBuffer& output, bool dropUnknown) const {
    const uint32_t start = output.position();
    bool ok = true;
    auto emit = [&](std::string_view bytes) {
        if (!bytes.empty() && !output.write(bytes.data(), uint32_t(bytes.size()))) ok = false;
    };
    auto escaped = [&](size_t at) { return at > 0 && tpl[at - 1] == '\\'; };
    auto findUnescaped = [&](char c, size_t from) {
        for (size_t at = tpl.find(c, from); at != std::string_view::npos; at = tpl.find(c, at + 1)) {
            if (!escaped(at)) return at;
        }
        return std::string_view::npos;
    };

    char number[kNumberSize];
    size_t pos = 0;
    while (pos < tpl.size() && ok) {
        const size_t open = findUnescaped('{', pos);
        const size_t close = open == std::string_view::npos ? open : findUnescaped('}', open + 1);
        if (close == std::string_view::npos) break;
        emit(tpl.substr(pos, open - pos));
        std::string_view replacement;
        if (evaluate(tpl.substr(open + 1, close - open - 1), number, &replacement)) {
            emit(replacement);
        } else if (!dropUnknown) {
            emit(tpl.substr(open, close - open + 1));
        }
        pos = close + 1;
    }
    if (pos < tpl.size()) emit(tpl.substr(pos));
    if (!ok) {
        output.truncate(start);
        return 0;
    }

    // "\{" becomes "{" in what was appended.
    uint8_t* data = output.data();
    const uint32_t end = output.position();
    uint32_t w = start;
    for (uint32_t r = start; r < end; ++r) {
        if (data[r] == '\\' && r + 1 < end && data[r + 1] == '{') continue;
        data[w++] = data[r];
    }
    output.truncate(w);
    if (!output.writeU8(0)) {
        output.truncate(start);
        return 0;
    }
    output.seek(w);
    return 1;
}

}  // namespace tessaly
