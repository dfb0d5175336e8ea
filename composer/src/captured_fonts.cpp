#include "composer/captured_fonts.h"

#include "fontcapture/font_capture.h"

namespace tessaly {

namespace {

// Copies glyphs from the captured face into the font object on demand.
class CapturedGlyphs : public GlyphSource {
public:
    explicit CapturedGlyphs(std::unique_ptr<CapturedFont> face) : face_(std::move(face)) {}

    bool loadGlyph(FontObject& font, uint16_t code) override {
        if (!face_->addGlyph(code)) return false;
        const GlyphRecord* g = face_->findGlyph(code);
        return g && copyGlyph(font, *g);
    }

    // Copies a glyph the face already holds (the space, captured with the face).
    bool copyGlyph(FontObject& font, const GlyphRecord& g) {
        ShapeObject& shape = font.glyphShape();
        const auto first = uint32_t(shape.commands().size());
        const auto& commands = face_->outline().commands();
        bool started = false;
        for (uint32_t i = g.firstCommand; i < g.firstCommand + g.commandCount && i < commands.size(); ++i) {
            const OutlineCommand& c = commands[i];
            const auto& p = c.points;
            switch (c.kind) {
                case OutlineCommandKind::Move:
                    // Glyphs follow each other in one shape: each starts with its own move.
                    started ? shape.moveTo(p[0].x, p[0].y) : shape.moveToAlways(p[0].x, p[0].y);
                    break;
                case OutlineCommandKind::Line: shape.lineTo(p[0].x, p[0].y); break;
                case OutlineCommandKind::Quadratic:
                    shape.quadraticTo(p[0].x, p[0].y, p[1].x, p[1].y);
                    break;
                case OutlineCommandKind::Cubic:
                    shape.cubicTo(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
                    break;
                default: break;
            }
            started = true;
        }
        Bounds box;
        if (g.right > g.left || g.bottom > g.top) {
            box.addPoint(g.left, g.top);
            box.addPoint(g.right, g.bottom);
        }
        return font.addGlyph(g.code, g.advance, box, first) >= 0;
    }

    const CapturedFont& face() const { return *face_; }

private:
    std::unique_ptr<CapturedFont> face_;
};

}  // namespace

std::unique_ptr<FontObject> CapturedSystemFonts::makeFont(const std::string& name, int32_t style,
                                                          int32_t charset) {
    std::unique_ptr<CapturedFont> face = CapturedFont::capture(name, style, charset);
    if (!face) return nullptr;
    auto font = std::make_unique<FontObject>();
    font->setUp(name, style, 0, face->ascent(), face->descent(), face->leading());
    for (const KerningRecord& k : face->kerning()) font->addKerning(k.first, k.second, k.amount);
    auto source = std::make_unique<CapturedGlyphs>(std::move(face));
    // The capture starts with the space; the font keeps it too.
    if (const GlyphRecord* space = source->face().findGlyph(u' ')) source->copyGlyph(*font, *space);
    font->setGlyphSource(std::move(source));
    return font;
}

}  // namespace tessaly
