#include "swf/text_encoder.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/numbers.h"
#include "support/text.h"
#include "swf/shape_encoder.h"

namespace tessaly {

namespace {

constexpr uint32_t kMaxGlyphsPerRecord = 127;
// Glyph shapes reaching this far from the offset table need 32-bit offsets.
constexpr uint32_t kWideOffsetLimit = 0xFFFD;

// One style record for the run of style records before a TEXT record.
void writeStyleRecord(SwfStream& s, const TextRecord* font, const TextRecord* color,
                      const TextRecord* move, int32_t* penX, int32_t* penY, uint32_t height,
                      bool alpha) {
    uint8_t flags = 0x80;
    const bool moveX = move && move->x != *penX;
    const bool moveY = move && move->y != *penY;
    if (font) flags |= 0x08;
    if (color) flags |= 0x04;
    if (moveY) flags |= 0x02;
    if (moveX) flags |= 0x01;
    s.writeU8(flags);
    if (font) s.writeId(font->fontId);
    if (color) {
        if (alpha) {
            s.writeRgba(color->color);
        } else {
            s.writeRgb(color->color & 0xFFFFFF);
        }
    }
    if (moveX) s.writeU16(uint16_t(int16_t(std::clamp(move->x, -32768, 32767))));
    if (moveY) s.writeU16(uint16_t(int16_t(std::clamp(move->y, -32768, 32767))));
    if (font) s.writeU16(uint16_t(std::min<uint32_t>(height, 0xFFFF)));
    if (move) {
        *penX = move->x;
        *penY = move->y;
    }
}

}  // namespace

int defineText(SwfStream& s, uint32_t id, TextObject& text) {
    if (text.records().empty() || text.bounds.empty()) return 0;
    if (!text.resolved() && !text.resolve(false)) return 0;
    const bool alpha = text.usesAlpha();
    s.beginTag(alpha ? SwfTag::DefineText2 : SwfTag::DefineText);
    s.writeId(id);
    const Bounds& b = text.bounds;
    s.writeRect(saturatingSub(b.xMin, 1), saturatingAdd(b.xMax, 1), saturatingSub(b.yMin, 1),
                saturatingAdd(b.yMax, 1));
    s.writeMatrix(nullptr);
    const unsigned glyphBits = SwfStream::bitsNeeded(text.largestGlyphIndex());
    const unsigned advanceBits = SwfStream::bitsNeeded(text.largestAdvance()) + 1;
    s.writeU8(uint8_t(glyphBits));
    s.writeU8(uint8_t(advanceBits));

    int32_t penX = 0, penY = 0;
    uint32_t height = TextObject::kDefaultHeight;
    const TextRecord *font = nullptr, *color = nullptr, *move = nullptr;
    for (const TextRecord& r : text.records()) {
        switch (r.code) {
            case kTextMove: move = &r; break;
            case kTextColor: color = &r; break;
            case kTextFont: font = &r; break;
            case kTextHeight: height = r.height; break;
            case kTextChars: {
                writeStyleRecord(s, font, color, move, &penX, &penY, height, alpha);
                font = color = move = nullptr;
                const size_t n = r.chars.size();
                for (size_t first = 0; first < n; first += kMaxGlyphsPerRecord) {
                    if (first) s.writeU8(0x80);  // an empty style record between glyph records
                    const auto count = uint32_t(std::min<size_t>(kMaxGlyphsPerRecord, n - first));
                    s.resetBits();
                    s.writeBits(0, 1);
                    s.writeBits(count, 7);
                    for (size_t i = first; i < first + count; ++i) {
                        s.writeBits(r.glyphs[i], glyphBits);
                        s.writeSignedBits(r.advances[i], advanceBits);
                        penX = saturatingAdd(penX, r.advances[i]);
                    }
                    s.flushBits();
                }
                break;
            }
            default: break;
        }
    }
    s.writeU8(0);
    s.endTag();
    return 1;
}

namespace {

// The outline of one glyph: a fill-1 style change with the first move, then
// the edges; pen and bounds start afresh.
void writeGlyphShape(SwfStream& s, const FontObject& font, const FontGlyph& g) {
    const auto& commands = font.glyphShape().commands();
    const size_t first = std::min<size_t>(g.firstCommand, commands.size());
    const size_t end = std::min<size_t>(size_t(g.firstCommand) + g.commandCount, commands.size());
    s.setPen(0, 0);
    s.resetBounds();
    s.resetBits();
    s.writeBits(1, 4);  // NumFillBits
    s.writeBits(0, 4);  // NumLineBits
    StyleChange start;
    start.line = true;
    start.fill1 = true;
    start.fill1Index = 1;
    size_t i = first;
    if (i < end && commands[i].code == kCmdMove) {
        start.move = true;
        start.x = commands[i].args[0];
        start.y = commands[i].args[1];
        ++i;
    }
    writeStyleChange(s, start, 1, 0);
    for (; i < end; ++i) {
        const int32_t* a = commands[i].args;
        switch (commands[i].code) {
            case kCmdMove: {
                StyleChange move;
                move.move = true;
                move.x = a[0];
                move.y = a[1];
                writeStyleChange(s, move, 1, 0);
                break;
            }
            case kCmdLine: writeStraightEdge(s, a[0], a[1]); break;
            case kCmdQuadratic: writeCurvedEdge(s, a[0], a[1], a[2], a[3]); break;
            case kCmdCubic:
                writeCubic(s, float(a[0]), float(a[1]), float(a[2]), float(a[3]), float(a[4]),
                           float(a[5]), kGlyphCurveTolerance);
                break;
            default: break;
        }
    }
    writeShapeEnd(s);
}

// Writes the tag body from the flags byte on; false when the glyph shapes
// outgrow 16-bit offsets.
bool writeFontBody(SwfStream& s, uint32_t id, const FontObject& font, const std::string& name,
                   bool wideOffsets) {
    const auto& glyphs = font.glyphs();
    const bool tmpName = containsNoCase(font.name, ".tmp");
    uint8_t flags = 0x80;
    if (wideOffsets) flags |= 0x08;
    flags |= font.wideCodes ? 0x24 : 0x10;
    if (font.style & kStyleItalic) flags |= 0x02;
    if (font.style & kStyleBold) flags |= 0x01;
    s.writeId(id);
    s.writeU8(flags);
    s.writeU8(0);  // language
    s.writeU8(uint8_t(name.size()));
    s.writeBytes(name.data(), uint32_t(name.size()));
    s.writeU16(uint16_t(std::min<size_t>(glyphs.size(), 0xFFFF)));

    // The offset table is filled in once the shapes are written.
    const uint32_t table = s.position();
    const uint32_t entry = wideOffsets ? 4 : 2;
    for (size_t i = 0; i <= glyphs.size(); ++i) wideOffsets ? s.writeU32(0) : s.writeU16(0);
    std::vector<uint32_t> offsets;
    offsets.reserve(glyphs.size() + 1);
    for (const FontGlyph& g : glyphs) {
        offsets.push_back(s.position() - table);
        writeGlyphShape(s, font, g);
    }
    const uint32_t codeTable = s.position() - table;
    if (!wideOffsets && codeTable >= kWideOffsetLimit) return false;
    offsets.push_back(codeTable);
    const uint32_t end = s.position();
    for (size_t i = 0; i < offsets.size(); ++i) {
        s.seek(table + uint32_t(i) * entry);
        wideOffsets ? s.writeU32(offsets[i]) : s.writeU16(uint16_t(offsets[i]));
    }
    s.seek(end);

    for (const FontGlyph& g : glyphs) {
        uint16_t code = g.code;
        if (tmpName && code > 255) code = code == 0xF020 ? 0x0020 : uint16_t(0xF120 - code);
        font.wideCodes ? s.writeU16(code) : s.writeU8(uint8_t(code));
    }
    s.writeU16(uint16_t(font.ascent));
    s.writeU16(uint16_t(font.descent));
    s.writeU16(uint16_t(font.leading));
    for (const FontGlyph& g : glyphs) s.writeU16(uint16_t(int16_t(std::clamp(g.advance, -32768, 32767))));
    for (size_t i = 0; i < glyphs.size(); ++i) {
        s.writeU8(0x08);  // an empty RECT: Nbits 1, four zero values
        s.writeU8(0x00);
    }
    s.writeU16(0);  // no kerning records
    return true;
}

}  // namespace

int defineFont(SwfStream& s, uint32_t id, FontObject& font) {
    if (font.glyphs().empty()) return 0;
    font.prune(false, true);
    std::string name = font.name.substr(0, 255);
    if (containsNoCase(font.name, ".tmp")) name = std::to_string(std::min<uint32_t>(id, SwfStream::kMaxId));

    s.beginTag(SwfTag::DefineFont2);
    const uint32_t bodyStart = s.position();
    if (!writeFontBody(s, id, font, name, false)) {
        s.buffer().truncate(bodyStart);
        writeFontBody(s, id, font, name, true);
    }
    s.endTag();
    return 1;
}

}  // namespace tessaly
