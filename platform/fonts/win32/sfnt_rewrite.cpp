// Font files are rebuilt table by table: the tables of one face are copied
// (the signature, which no longer matches, is dropped), the naming table and
// character map are replaced when asked, and the directory, table checksums
// and the whole-file checksum in 'head' are computed anew.

#include "sfnt_rewrite.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>
#include <string>

namespace tessaly::fonts {
namespace {

constexpr uint32_t tag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
           uint32_t(uint8_t(t[3]));
}

constexpr size_t kMaxTables = 512;
constexpr size_t kMaxCollectionFaces = 256;
// Windows keeps LF_FACESIZE - 1 characters of a requested face name.
constexpr size_t kMaxFamilyLength = 31;

uint16_t u16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }
uint32_t u32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}
void set16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = uint8_t(v >> 8);
    out[at + 1] = uint8_t(v);
}
void set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    set16(out, at, v >> 16);
    set16(out, at + 2, v & 0xFFFF);
}

struct Table {
    uint32_t tag = 0;
    std::vector<uint8_t> data;
};

struct Face {
    uint32_t version = 0;
    std::vector<Table> tables;

    const Table* find(uint32_t t) const {
        for (const Table& table : tables)
            if (table.tag == t) return &table;
        return nullptr;
    }
    Table* find(uint32_t t) { return const_cast<Table*>(std::as_const(*this).find(t)); }
};

// One face whose directory starts at `at`; false when a table lies outside
// the bytes, a tag repeats or a table the system needs is missing.
bool readFace(std::span<const uint8_t> bytes, size_t at, Face& face) {
    if (at > bytes.size() || bytes.size() - at < 12) return false;
    face.version = u32(bytes, at);
    if (face.version != 0x00010000 && face.version != tag("true") && face.version != tag("OTTO")) return false;
    const size_t count = u16(bytes, at + 4);
    if (count == 0 || count > kMaxTables || (bytes.size() - at - 12) / 16 < count) return false;
    for (size_t i = 0; i < count; ++i) {
        const size_t record = at + 12 + 16 * i;
        Table table;
        table.tag = u32(bytes, record);
        const uint64_t offset = u32(bytes, record + 8);
        const uint64_t length = u32(bytes, record + 12);
        if (offset + length > bytes.size()) return false;
        if (face.find(table.tag)) return false;
        if (table.tag == tag("DSIG")) continue;
        table.data.assign(bytes.begin() + static_cast<ptrdiff_t>(offset),
                          bytes.begin() + static_cast<ptrdiff_t>(offset + length));
        face.tables.push_back(std::move(table));
    }
    const Table* head = face.find(tag("head"));
    const Table* maxp = face.find(tag("maxp"));
    if (!head || head->data.size() < 54 || u32(head->data, 12) != 0x5F0F3CF5 || u16(head->data, 18) == 0) return false;
    if (!maxp || maxp->data.size() < 6 || u16(maxp->data, 4) == 0) return false;
    const bool quadratic = face.find(tag("glyf")) && face.find(tag("loca"));
    const bool cubic = face.find(tag("CFF ")) || face.find(tag("CFF2"));
    return quadratic || cubic;
}

// Whether the font's own map is a symbol map only (Windows names such fonts
// in the symbol encoding).
bool symbolOnly(const Face& face) {
    const Table* cmap = face.find(tag("cmap"));
    if (!cmap || cmap->data.size() < 4) return false;
    const std::span<const uint8_t> c(cmap->data);
    const size_t count = std::min<size_t>(u16(c, 2), (c.size() - 4) / 8);
    bool symbol = false;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t platform = u16(c, 4 + 8 * i);
        const uint16_t encoding = u16(c, 6 + 8 * i);
        if (platform == 3 && encoding == 0) symbol = true;
        if ((platform == 3 && (encoding == 1 || encoding == 10)) || platform == 0) return false;
    }
    return symbol;
}

// The font's own style name (name 2), English Windows record first.
std::u16string styleName(const Face& face) {
    const Table* name = face.find(tag("name"));
    if (!name || name->data.size() < 6) return u"Regular";
    const std::span<const uint8_t> n(name->data);
    const size_t count = std::min<size_t>(u16(n, 2), (n.size() - 6) / 12);
    const size_t strings = u16(n, 4);
    std::u16string best;
    int bestRank = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t r = 6 + 12 * i;
        const uint16_t platform = u16(n, r), encoding = u16(n, r + 2), language = u16(n, r + 4);
        if (u16(n, r + 6) != 2) continue;
        const size_t length = u16(n, r + 8), offset = strings + u16(n, r + 10);
        if (offset > n.size() || n.size() - offset < length) continue;
        int rank = 0;
        if (platform == 3 && language == 0x0409) rank = 4;
        else if (platform == 3 || platform == 0) rank = 3;
        else if (platform == 1 && encoding == 0) rank = 2;
        if (rank <= bestRank) continue;
        std::u16string text;
        if (rank == 2) {
            for (size_t k = 0; k < length; ++k) text.push_back(char16_t(n[offset + k]));
        } else {
            for (size_t k = 0; k + 1 < length; k += 2) text.push_back(char16_t(u16(n, offset + k)));
        }
        if (text.empty()) continue;
        best = std::move(text);
        bestRank = rank;
    }
    return best.empty() ? u"Regular" : best;
}

std::vector<uint8_t> nameTable(std::u16string_view family, const std::u16string& style, bool symbol) {
    std::u16string full(family);
    if (style != u"Regular" && style != u"Normal") full += u" " + style;
    // The PostScript name: printable ASCII without the delimiters.
    std::u16string postscript;
    const auto appendPostScript = [&](std::u16string_view text) {
        for (char16_t c : text)
            if (c > 32 && c < 127 && std::u16string_view(u"[](){}<>/%").find(c) == std::u16string_view::npos)
                postscript += c;
    };
    appendPostScript(family);
    postscript += u'-';
    appendPostScript(style);
    if (postscript.size() > 63) postscript.resize(63);
    const std::pair<uint16_t, std::u16string> names[] = {
        {1, std::u16string(family)}, {2, style}, {3, full}, {4, full}, {6, postscript}};
    std::vector<uint8_t> out;
    const size_t count = std::size(names);
    put16(out, 0);
    put16(out, count);
    put16(out, 6 + 12 * count);
    std::vector<uint8_t> strings;
    for (const auto& [id, text] : names) {
        put16(out, 3);
        put16(out, symbol ? 0 : 1);
        put16(out, 0x0409);
        put16(out, id);
        put16(out, text.size() * 2);
        put16(out, strings.size());
        for (char16_t c : text) put16(strings, c);
    }
    out.insert(out.end(), strings.begin(), strings.end());
    return out;
}

// Format 4 over the map's characters below U+FFFF; empty when it does not
// fit the format's 16-bit length.
std::vector<uint8_t> format4(const std::map<char32_t, uint32_t>& map) {
    struct Segment {
        uint32_t start = 0, end = 0;
        bool constantDelta = true;
        size_t firstGlyph = 0;  // into glyphs, when the delta is not constant
    };
    std::vector<Segment> segments;
    std::vector<uint16_t> glyphs;
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    for (const auto& [code, glyph] : map)
        if (code < 0xFFFF) entries.emplace_back(code, glyph);
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        bool constant = true;
        while (j < entries.size() && entries[j].first == entries[j - 1].first + 1) {
            constant = constant && entries[j].second - entries[j].first == entries[i].second - entries[i].first;
            ++j;
        }
        Segment segment{entries[i].first, entries[j - 1].first, constant, glyphs.size()};
        if (!constant)
            for (size_t k = i; k < j; ++k) glyphs.push_back(uint16_t(entries[k].second));
        segments.push_back(segment);
        i = j;
    }
    segments.push_back(Segment{0xFFFF, 0xFFFF, true, 0});
    const size_t count = segments.size();
    const size_t length = 16 + 8 * count + 2 * glyphs.size();
    if (length > 0xFFFF) return {};
    std::vector<uint8_t> out;
    put16(out, 4);
    put16(out, length);
    put16(out, 0);
    put16(out, 2 * count);
    size_t power = 1, log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    put16(out, 2 * power);
    put16(out, log);
    put16(out, 2 * count - 2 * power);
    for (const Segment& s : segments) put16(out, s.end);
    put16(out, 0);
    for (const Segment& s : segments) put16(out, s.start);
    for (const Segment& s : segments) {
        const auto found = map.find(s.start);
        put16(out, s.constantDelta && found != map.end() ? (found->second - s.start) & 0xFFFF : s.start == 0xFFFF);
    }
    for (size_t i = 0; i < count; ++i) {
        const Segment& s = segments[i];
        put16(out, s.constantDelta ? 0 : 2 * (count - i) + 2 * s.firstGlyph);
    }
    for (uint16_t g : glyphs) put16(out, g);
    return out;
}

std::vector<uint8_t> format12(const std::map<char32_t, uint32_t>& map) {
    std::vector<std::array<uint32_t, 3>> groups;
    for (const auto& [code, glyph] : map) {
        if (!groups.empty() && groups.back()[1] + 1 == code && groups.back()[2] + (code - groups.back()[0]) == glyph)
            groups.back()[1] = code;
        else
            groups.push_back({uint32_t(code), uint32_t(code), glyph});
    }
    std::vector<uint8_t> out;
    put16(out, 12);
    put16(out, 0);
    put32(out, 16 + 12 * groups.size());
    put32(out, 0);
    put32(out, groups.size());
    for (const auto& g : groups)
        for (uint32_t v : g) put32(out, v);
    return out;
}

std::vector<uint8_t> cmapTable(const std::map<char32_t, uint32_t>& map) {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> subtables;
    std::vector<uint8_t> bmp = format4(map);
    const bool bmpFits = !bmp.empty();
    if (bmpFits) subtables.emplace_back(1, std::move(bmp));
    if (!bmpFits || map.rbegin()->first >= 0xFFFF) subtables.emplace_back(10, format12(map));
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, subtables.size());
    size_t offset = 4 + 8 * subtables.size();
    for (const auto& [encoding, data] : subtables) {
        put16(out, 3);
        put16(out, encoding);
        put32(out, offset);
        offset += data.size();
    }
    for (const auto& subtable : subtables) out.insert(out.end(), subtable.second.begin(), subtable.second.end());
    return out;
}

uint32_t checksum(const std::vector<uint8_t>& data, size_t from, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < length ? data[from + i + k] : 0);
        sum += word;
    }
    return sum;
}

std::vector<uint8_t> writeFace(Face& face) {
    std::sort(face.tables.begin(), face.tables.end(), [](const Table& a, const Table& b) { return a.tag < b.tag; });
    const size_t count = face.tables.size();
    std::vector<uint8_t> out;
    put32(out, face.version);
    put16(out, count);
    size_t power = 1, log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    put16(out, 16 * power);
    put16(out, log);
    put16(out, 16 * count - 16 * power);
    const size_t directory = out.size();
    out.resize(directory + 16 * count);
    size_t headAt = 0;
    for (size_t i = 0; i < count; ++i) {
        Table& table = face.tables[i];
        if (table.tag == tag("head")) set32(table.data, 8, 0);
        const size_t at = out.size();
        if (table.tag == tag("head")) headAt = at;
        out.insert(out.end(), table.data.begin(), table.data.end());
        out.resize((out.size() + 3) & ~size_t{3});
        set32(out, directory + 16 * i, table.tag);
        set32(out, directory + 16 * i + 4, checksum(out, at, table.data.size()));
        set32(out, directory + 16 * i + 8, at);
        set32(out, directory + 16 * i + 12, table.data.size());
    }
    set32(out, headAt + 8, 0xB1B0AFBA - checksum(out, 0, out.size()));
    return out;
}

}  // namespace

std::vector<std::vector<uint8_t>> rewriteFaces(std::span<const uint8_t> bytes, std::u16string_view family,
                                               std::span<const std::pair<char32_t, uint32_t>> glyphMap) {
    try {
        if (family.size() > kMaxFamilyLength || family.find(u'\0') != std::u16string_view::npos) return {};
        std::vector<size_t> starts;
        if (bytes.size() >= 12 && u32(bytes, 0) == tag("ttcf")) {
            const size_t count = u32(bytes, 8);
            if (count == 0 || count > kMaxCollectionFaces || (bytes.size() - 12) / 4 < count) return {};
            for (size_t i = 0; i < count; ++i) starts.push_back(u32(bytes, 12 + 4 * i));
        } else {
            starts.push_back(0);
        }
        // The first mapping of a character counts.
        std::map<char32_t, uint32_t> map;
        for (const auto& [character, glyph] : glyphMap)
            if (character <= 0x10FFFF && (character < 0xD800 || character > 0xDFFF)) map.emplace(character, glyph);
        if (!glyphMap.empty() && map.empty()) return {};

        std::vector<std::vector<uint8_t>> faces;
        for (size_t start : starts) {
            Face face;
            if (!readFace(bytes, start, face)) return {};
            const uint32_t glyphCount = u16(face.find(tag("maxp"))->data, 4);
            for (const auto& entry : map)
                if (entry.second >= glyphCount) return {};
            if (starts.size() == 1 && family.empty() && map.empty()) {
                // Nothing to change: the system gets the bytes as they are.
                faces.emplace_back(bytes.begin(), bytes.end());
                continue;
            }
            const bool symbol = map.empty() && symbolOnly(face);
            if (!family.empty()) {
                std::vector<uint8_t> name = nameTable(family, styleName(face), symbol);
                if (Table* old = face.find(tag("name"))) old->data = std::move(name);
                else face.tables.push_back(Table{tag("name"), std::move(name)});
            }
            if (!map.empty()) {
                std::vector<uint8_t> cmap = cmapTable(map);
                if (Table* old = face.find(tag("cmap"))) old->data = std::move(cmap);
                else face.tables.push_back(Table{tag("cmap"), std::move(cmap)});
                // The first and last character the font claims.
                if (Table* os2 = face.find(tag("OS/2")); os2 && os2->data.size() >= 68) {
                    set16(os2->data, 64, std::min<uint32_t>(map.begin()->first, 0xFFFF));
                    set16(os2->data, 66, std::min<uint32_t>(map.rbegin()->first, 0xFFFF));
                }
            }
            faces.push_back(writeFace(face));
        }
        return faces;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace tessaly::fonts
