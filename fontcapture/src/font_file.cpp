// The font file: the captured font as MML text.

#include <cstdio>

#include "fontcapture/font_capture.h"
#include "support/text.h"

namespace tessaly {

namespace {

void appendPoint(std::string& out, OutlinePoint p) {
    out += std::to_string(p.x);
    out += ',';
    out += std::to_string(p.y);
}

void appendCommand(std::string& out, const OutlineCommand& c) {
    switch (c.kind) {
    case OutlineCommandKind::Move:
        out += "<MoveTo pos=\"";
        appendPoint(out, c.points[0]);
        out += "\"/>\n";
        break;
    case OutlineCommandKind::Line:
        out += "<LinexTo path=\"";
        appendPoint(out, c.points[0]);
        out += "\"/>\n";
        break;
    case OutlineCommandKind::Quadratic:
        out += "<CurvexTo path=\"";
        appendPoint(out, c.points[0]);
        out += ';';
        appendPoint(out, c.points[1]);
        out += "\"/>\n";
        break;
    case OutlineCommandKind::Cubic:
        out += "<CurvexTo type=\"bezier3\" path=\"";
        appendPoint(out, c.points[0]);
        out += ';';
        appendPoint(out, c.points[1]);
        out += ';';
        appendPoint(out, c.points[2]);
        out += "\"/>\n";
        break;
    case OutlineCommandKind::LineStyle:
    case OutlineCommandKind::FillStyle:
        break;  // glyph outlines carry no styles
    }
}

}  // namespace

void appendEscapedCharacter(uint16_t code, std::string& out) {
    char buffer[16];
    if (code >= 256) {
        std::snprintf(buffer, sizeof buffer, "&#x%04x;", static_cast<unsigned>(code));
        out += buffer;
        return;
    }
    switch (code) {
    case '"': out += "&quot;"; return;
    case '&': out += "&amp;"; return;
    case '\'': out += "&apos;"; return;
    case '<': out += "&lt;"; return;
    case '>': out += "&gt;"; return;
    default: break;
    }
    if (code < 32) {
        std::snprintf(buffer, sizeof buffer, "&#x%02x;", static_cast<unsigned>(code));
        out += buffer;
        return;
    }
    out += static_cast<char>(code);
}

std::string fontFileMml(const CapturedFont& font) {
    std::string out = "<Font font=\"";
    // The face name is escaped like any attribute value, so that a name
    // holding a quote or '<' cannot break the element; readers decode it.
    for (const char* p = font.faceName(); *p; ++p) appendEscapedCharacter(static_cast<unsigned char>(*p), out);
    const bool bold = font.style() & kFontStyleBold;
    const bool italic = font.style() & kFontStyleItalic;
    if (bold || italic) {
        out += "\" style=\"";
        if (bold) out += "bold";
        if (italic) out += ",italic";
    }
    if (font.charSet() != -1) out += "\" charSet=\"" + std::to_string(font.charSet());
    out += formatNarrow("\" numGlyph=\"%zu\" numKerning=\"%zu\" ascent=\"%d\" descent=\"%d\" leading=\"%d\">\n",
                        font.glyphs().size(), font.kerning().size(), static_cast<int>(font.ascent()),
                        static_cast<int>(font.descent()), static_cast<int>(font.leading()));

    const auto& commands = font.outline().commands();
    for (const GlyphRecord& g : font.glyphs()) {
        out += formatNarrow("<Glyph unicode=\"%u\" char=\"", static_cast<unsigned>(g.code));
        appendEscapedCharacter(g.code, out);
        out += formatNarrow("\" advance=\"%d\">\n", static_cast<int>(g.advance));
        const size_t end = std::min<size_t>(commands.size(), size_t(g.firstCommand) + g.commandCount);
        for (size_t i = g.firstCommand; i < end; ++i) appendCommand(out, commands[i]);
        out += "</Glyph>\n";
    }
    for (const KerningRecord& k : font.kerning()) {
        out += formatNarrow("<Kerning unicode1=\"%u\" unicode2=\"%u\" delta=\"%d\"/>\n", static_cast<unsigned>(k.first),
                            static_cast<unsigned>(k.second), static_cast<int>(k.amount));
    }
    out += "</Font>\n";
    return out;
}

}  // namespace tessaly
