#include "swf/text_objects.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "support/checksum.h"
#include "support/numbers.h"

namespace tessaly {

// ---------------------------------------------------------------------------
// Fonts

void FontObject::reset() {
    MovieObject::reset();
    name.clear();
    style = kStyleRegular;
    size = ascent = descent = leading = 0;
    wideCodes = prepared = false;
    glyphs_.clear();
    byCode_.clear();
    shape_.reset();
    kerning_.clear();
    kerningIndex_.clear();
    source_.reset();
}

void FontObject::setUp(const std::string& fontName, int32_t fontStyle, int32_t fontSize,
                       int32_t fontAscent, int32_t fontDescent, int32_t fontLeading) {
    reset();
    name = fontName.substr(0, kMaxName);
    style = fontStyle;
    size = fontSize;
    ascent = fontAscent;
    descent = fontDescent;
    leading = fontLeading;
}

int32_t FontObject::addGlyph(uint16_t code, int32_t advance, const Bounds& box,
                             uint32_t firstCommand) {
    if (byCode_.count(code)) return -1;
    FontGlyph g;
    g.advance = advance;
    g.code = code;
    g.firstCommand = firstCommand;
    const auto total = uint32_t(shape_.commands().size());
    g.commandCount = firstCommand <= total ? total - firstCommand : 0;
    if (!box.empty()) {
        g.xMin = box.xMin;
        g.xMax = box.xMax;
        g.yMin = box.yMin;
        g.yMax = box.yMax;
    }
    try {
        glyphs_.push_back(g);
        byCode_.emplace(code, uint32_t(glyphs_.size() - 1));
    } catch (const std::bad_alloc&) {
        markIncomplete();
        if (glyphs_.size() > byCode_.size()) glyphs_.pop_back();
        return -1;
    }
    return int32_t(glyphs_.size() - 1);
}

bool FontObject::addKerning(uint16_t first, uint16_t second, int32_t adjustment) {
    try {
        auto [it, added] = kerningIndex_.emplace(pairKey(first, second), uint32_t(kerning_.size()));
        if (!added) {
            kerning_[it->second].adjustment = adjustment;
            return true;
        }
        kerning_.push_back({adjustment, first, second});
    } catch (const std::bad_alloc&) {
        markIncomplete();
        kerningIndex_.erase(pairKey(first, second));
        return false;
    }
    return true;
}

int32_t FontObject::findGlyph(uint16_t code) const {
    auto it = byCode_.find(code);
    return it == byCode_.end() ? -1 : int32_t(it->second);
}

int32_t FontObject::glyphIndex(uint16_t code, bool fallback) {
    int32_t index = findGlyph(code);
    if (index < 0 && source_ && source_->loadGlyph(*this, code)) index = findGlyph(code);
    if (index < 0 && fallback && !glyphs_.empty()) index = 0;
    return index;
}

int32_t FontObject::kerning(uint16_t first, uint16_t second) const {
    auto it = kerningIndex_.find(pairKey(first, second));
    return it == kerningIndex_.end() ? kNoKerning : kerning_[it->second].adjustment;
}

void FontObject::markUsed(uint32_t glyph) {
    if (glyph >= glyphs_.size()) return;
    ++glyphs_[glyph].useCount;
    if (glyphs_[glyph].code >= 256) wideCodes = true;
}

void FontObject::prune(bool dropUnusedGlyphs, bool dropDanglingKerning) {
    if (dropUnusedGlyphs) {
        std::erase_if(glyphs_, [](const FontGlyph& g) { return g.useCount == 0; });
        byCode_.clear();
        for (uint32_t i = 0; i < glyphs_.size(); ++i) byCode_.emplace(glyphs_[i].code, i);
    }
    if (dropDanglingKerning) {
        auto used = [this](uint16_t code) {
            const int32_t i = findGlyph(code);
            return i >= 0 && glyphs_[size_t(i)].useCount > 0;
        };
        std::erase_if(kerning_, [&](const FontKerning& k) { return !used(k.first) || !used(k.second); });
        kerningIndex_.clear();
        for (uint32_t i = 0; i < kerning_.size(); ++i) {
            kerningIndex_.emplace(pairKey(kerning_[i].first, kerning_[i].second), i);
        }
    }
    prepared = true;
}

void FontObject::dump(FILE* out, int indent) const {
    indentLine(out, indent);
    std::fprintf(out, "Font name=\"%s\" %s %s\n", name.c_str(),
                 style == kStyleBold ? "Bold" : style == kStyleItalic ? "Italic" : "Regular",
                 wideCodes ? "(U)" : "(A)");
    indentLine(out, indent);
    std::fprintf(out, "numGlyphs=%u\n", unsigned(glyphs_.size()));
    unsigned i = 0;
    for (const auto& g : glyphs_) {
        std::fprintf(out,
                     "%u code=%u/&#x%x; (%c) shapePos=%u shapeSize=%u advance=%i bounds=(%i %i %i %i) "
                     "used=%u\n",
                     i++, unsigned(g.code), unsigned(g.code), int(g.code & 0xFF), g.firstCommand,
                     g.commandCount, g.advance, g.xMin, g.yMin, g.xMax, g.yMax, g.useCount);
    }
}

// ---------------------------------------------------------------------------
// Texts

void TextObject::reset() {
    MovieObject::reset();
    records_.clear();
    records_.reserve(80);
    penX_ = penY_ = 0;
    color_ = 0;
    fontRecord_ = -1;
    height_ = kDefaultHeight;
    usesAlpha_ = resolved_ = false;
    largestGlyph_ = largestAdvance_ = 0;
}

int TextObject::collectDependencies(ByteBuffer& list) const {
    int added = 0;
    for (const auto& r : records_) {
        if (r.code == kTextFont) added += list.pushU32Unique(r.fontId);
    }
    return added;
}

bool TextObject::append(TextRecord&& record) {
    try {
        records_.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return false;
    }
    return true;
}

const TextRecord* TextObject::currentFont() const {
    return fontRecord_ >= 0 ? &records_[size_t(fontRecord_)] : nullptr;
}

int TextObject::moveTo(int32_t x, int32_t y) {
    if (x == penX_ && y == penY_) return 1;
    TextRecord r;
    r.code = kTextMove;
    r.x = x;
    r.y = y;
    if (!append(std::move(r))) return 0;
    penX_ = x;
    penY_ = y;
    return 1;
}

int TextObject::color(uint32_t argb, bool hasAlpha) {
    if (!hasAlpha) argb |= 0xFF000000u;
    if (hasAlpha && (argb >> 24) != 0xFF) usesAlpha_ = true;
    if (argb == color_) return 1;
    TextRecord r;
    r.code = kTextColor;
    r.color = argb;
    if (!append(std::move(r))) return 0;
    color_ = argb;
    return 1;
}

int TextObject::font(uint32_t fontId, FontObject* fontObject) {
    const TextRecord* last = currentFont();
    if (last && last->fontId == fontId) return 1;
    TextRecord r;
    r.code = kTextFont;
    r.fontId = fontId;
    r.font = fontObject;
    if (!append(std::move(r))) return 0;
    fontRecord_ = int32_t(records_.size() - 1);
    return 1;
}

int TextObject::height(uint32_t twips) {
    TextRecord r;
    r.code = kTextHeight;
    r.height = twips;
    if (!append(std::move(r))) return 0;
    height_ = twips;
    return 1;
}

namespace {
// Advances round as value + 0.5, truncated; bounds round to the nearest twip.
int32_t roundHalfUp(double v) { return clampToInt32(v + 0.5); }
int32_t nearest(double v) { return roundToInt32(v); }

// A glyph's box scaled to the text height and moved to the pen.
// The pen is whole, so rounding the sum equals adding the rounded offset.
void addGlyphBox(Bounds& box, const FontGlyph& g, double scale, int32_t x, int32_t y) {
    box.addPoint(nearest(x + g.xMin * scale), nearest(y + g.yMin * scale));
    box.addPoint(nearest(x + g.xMax * scale), nearest(y + g.yMax * scale));
}
}  // namespace

int TextObject::addText(std::u16string_view text, const int32_t* advances, bool fallback) {
    const TextRecord* f = currentFont();
    if (!f || !f->font) return 0;
    FontObject& fontObject = *f->font;
    const double scale = height_ / 1024.0;
    TextRecord r;
    r.code = kTextChars;
    Bounds box = bounds;
    int32_t pen = penX_;
    std::vector<uint32_t> used;
    try {
        for (size_t i = 0; i < text.size(); ++i) {
            const int32_t index = fontObject.glyphIndex(text[i], fallback);
            if (index < 0) continue;  // no glyph: no code, advance or bounds
            const FontGlyph g = fontObject.glyphs()[size_t(index)];
            addGlyphBox(box, g, scale, pen, penY_);
            int32_t advance;
            if (advances) {
                advance = advances[i];
            } else {
                double units = g.advance;
                if (i + 1 < text.size()) {
                    const int32_t k = fontObject.kerning(text[i], text[i + 1]);
                    if (k != FontObject::kNoKerning) units += k;
                }
                advance = roundHalfUp(units * scale);
            }
            r.chars.push_back(text[i]);
            r.advances.push_back(advance);
            used.push_back(uint32_t(index));
            pen = saturatingAdd(pen, advance);
        }
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return 0;
    }
    if (r.chars.empty()) return 1;
    if (!append(std::move(r))) return 0;
    for (uint32_t index : used) fontObject.markUsed(index);
    bounds = box;
    penX_ = pen;
    resolved_ = false;
    return 1;
}

int TextObject::addPositionedText(std::u16string_view text, const TextPosition* positions,
                                  bool fallback) {
    const TextRecord* f = currentFont();
    if (!f || !f->font) return 0;
    FontObject& fontObject = *f->font;
    const double scale = height_ / 1024.0;

    // The characters that have glyphs, with their positions.
    struct Placed {
        char16_t code;
        uint32_t glyph;
        TextPosition at;
    };
    std::vector<Placed> placed;
    try {
        for (size_t i = 0; i < text.size(); ++i) {
            const int32_t index = fontObject.glyphIndex(text[i], fallback);
            if (index >= 0) placed.push_back({text[i], uint32_t(index), positions[i]});
        }
    } catch (const std::bad_alloc&) {
        markIncomplete();
        return 0;
    }

    size_t i = 0;
    while (i < placed.size()) {
        const int32_t y = placed[i].at.y;
        if (!moveTo(placed[i].at.x, y)) return 0;
        TextRecord r;
        r.code = kTextChars;
        for (bool joins = true; joins; ++i) {
            const FontGlyph g = fontObject.glyphs()[placed[i].glyph];
            addGlyphBox(bounds, g, scale, penX_, penY_);
            // The next character on the line joins the run when it lies
            // within an em of where the glyph's own advance ends; it is
            // reached by its advance. A character that ends a line, or comes
            // before a wider gap (a tab, a column), keeps its own advance and
            // the next run starts with a move of its own: one wide advance
            // would widen the advance field of every glyph of the text.
            const int32_t own = roundHalfUp(g.advance * scale);
            joins = i + 1 < placed.size() && placed[i + 1].at.y == y &&
                    std::abs(int64_t(placed[i + 1].at.x) - penX_ - own) <= int64_t(height_);
            const int32_t advance = joins ? saturatingSub(placed[i + 1].at.x, penX_) : own;
            try {
                r.chars.push_back(placed[i].code);
                r.advances.push_back(advance);
            } catch (const std::bad_alloc&) {
                markIncomplete();
                return 0;
            }
            fontObject.markUsed(placed[i].glyph);
            penX_ = saturatingAdd(penX_, advance);
        }
        if (!append(std::move(r))) return 0;
    }
    resolved_ = false;
    return 1;
}

bool TextObject::sameContent(const MovieObject& other) const {
    if (other.type() != kTypeText) return false;
    const auto& o = static_cast<const TextObject&>(other);
    auto sameRecord = [](const TextRecord& a, const TextRecord& b) {
        return a.code == b.code && a.x == b.x && a.y == b.y && a.color == b.color &&
               a.fontId == b.fontId && a.height == b.height && a.chars == b.chars &&
               a.advances == b.advances;
    };
    return std::equal(records_.begin(), records_.end(), o.records_.begin(), o.records_.end(),
                      sameRecord) &&
           usesAlpha_ == o.usesAlpha_ && bounds == o.bounds;
}

uint32_t TextObject::contentHash() const {
    uint32_t reg = crc32UpdateU32(0xFFFFFFFFu, uint32_t(records_.size()));
    auto feed = [&reg](uint32_t v) { reg = crc32UpdateU32(reg, v); };
    for (const auto& r : records_) {
        feed(r.code);
        switch (r.code) {
            case kTextMove: feed(uint32_t(r.x)); feed(uint32_t(r.y)); break;
            case kTextColor: feed(r.color); break;
            case kTextFont: feed(r.fontId); break;
            case kTextHeight: feed(r.height); break;
            case kTextChars:
                feed(uint32_t(r.chars.size()));
                for (size_t i = 0; i < r.chars.size(); ++i) {
                    feed(r.chars[i]);
                    feed(uint32_t(r.advances[i]));
                }
                break;
            default: break;
        }
    }
    return reg;
}

int TextObject::resolve(bool fallback) {
    FontObject* current = nullptr;
    uint32_t largestGlyph = 0, largestAdvance = 0;
    for (auto& r : records_) {
        if (r.code == kTextFont) {
            current = r.font;
        } else if (r.code == kTextChars) {
            if (!current) return 0;
            std::vector<uint32_t> glyphs;
            glyphs.reserve(r.chars.size());
            for (size_t i = 0; i < r.chars.size(); ++i) {
                const int32_t index = current->glyphIndex(r.chars[i], fallback);
                if (index < 0) return 0;
                glyphs.push_back(uint32_t(index));
                largestGlyph = std::max(largestGlyph, uint32_t(index));
                const int64_t a = r.advances[i];
                largestAdvance = std::max(largestAdvance, uint32_t(std::min<int64_t>(a < 0 ? -a : a, INT32_MAX)));
            }
            r.glyphs = std::move(glyphs);
        }
    }
    largestGlyph_ = largestGlyph;
    largestAdvance_ = largestAdvance;
    resolved_ = true;
    return 1;
}

int TextObject::appendText(const TextObject& other, int32_t dx, int32_t dy) {
    if (!resolved_ || !other.resolved_ || !currentFont() || other.bounds.empty()) return 0;
    // Text records move the pen with 16-bit offsets: the joined text must
    // stay within their reach.
    constexpr int32_t kReach = 32000;
    Bounds joined = bounds;
    joined.addPoint(saturatingAdd(other.bounds.xMin, dx), saturatingAdd(other.bounds.yMin, dy));
    joined.addPoint(saturatingAdd(other.bounds.xMax, dx), saturatingAdd(other.bounds.yMax, dy));
    if (joined.xMin < -kReach || joined.xMax > kReach || joined.yMin < -kReach || joined.yMax > kReach) {
        return 0;
    }

    const size_t oldSize = records_.size();
    const int32_t oldPenX = penX_, oldPenY = penY_, oldFontRecord = fontRecord_;
    const uint32_t oldColor = color_, oldHeight = height_;
    try {
        // The other text's pen starts at its origin.
        const TextRecord* pendingFont = nullptr;
        uint32_t pendingHeight = height_;
        auto moveTo = [this](int32_t x, int32_t y) {
            if (x == penX_ && y == penY_) return;
            TextRecord r;
            r.code = kTextMove;
            r.x = x;
            r.y = y;
            records_.push_back(std::move(r));
            penX_ = x;
            penY_ = y;
        };
        moveTo(dx, dy);
        for (const TextRecord& r : other.records_) {
            switch (r.code) {
                case kTextMove: moveTo(saturatingAdd(r.x, dx), saturatingAdd(r.y, dy)); break;
                case kTextColor:
                    if (r.color != color_) {
                        records_.push_back(r);
                        color_ = r.color;
                    }
                    break;
                case kTextFont: pendingFont = &r; break;
                case kTextHeight: pendingHeight = r.height; break;
                case kTextChars: {
                    // A height reaches the movie only with a font, so a new
                    // height repeats the font.
                    const TextRecord* current = currentFont();
                    const bool newFont = pendingFont && (!current || current->fontId != pendingFont->fontId);
                    if (newFont || pendingHeight != height_) {
                        records_.push_back(newFont ? *pendingFont : *current);
                        fontRecord_ = int32_t(records_.size() - 1);
                        TextRecord h;
                        h.code = kTextHeight;
                        h.height = pendingHeight;
                        records_.push_back(std::move(h));
                        height_ = pendingHeight;
                    }
                    pendingFont = nullptr;
                    records_.push_back(r);
                    for (int32_t a : r.advances) penX_ = saturatingAdd(penX_, a);
                    break;
                }
                default: break;
            }
        }
    } catch (const std::bad_alloc&) {
        records_.resize(oldSize);
        penX_ = oldPenX;
        penY_ = oldPenY;
        fontRecord_ = oldFontRecord;
        color_ = oldColor;
        height_ = oldHeight;
        return 0;
    }
    bounds = joined;
    usesAlpha_ = usesAlpha_ || other.usesAlpha_;
    largestGlyph_ = std::max(largestGlyph_, other.largestGlyph_);
    largestAdvance_ = std::max(largestAdvance_, other.largestAdvance_);
    return 1;
}

void TextObject::dump(FILE* out, int indent) const {
    indentLine(out, indent);
    std::fprintf(out, "Text numCommand=%u\n", unsigned(records_.size()));
    unsigned i = 0;
    for (const auto& r : records_) {
        indentLine(out, indent + 1);
        std::fprintf(out, "%u ", i++);
        switch (r.code) {
            case kTextMove: std::fprintf(out, "MOVE %i,%i", r.x, r.y); break;
            case kTextColor: std::fprintf(out, "COLOR %x", r.color); break;
            case kTextFont:
                std::fprintf(out, "FONT id=%u font=\"%s\"", r.fontId,
                             r.font ? r.font->name.c_str() : "(NULL font)");
                break;
            case kTextHeight: std::fprintf(out, "HEIGHT %u", r.height); break;
            case kTextChars:
                std::fprintf(out, "TEXT len=%u\n", unsigned(r.chars.size()));
                indentLine(out, indent + 2);
                for (char16_t c : r.chars) {
                    if (c < 256) {
                        std::fputc(int(c), out);
                    } else {
                        std::fprintf(out, "&#x%x;", unsigned(c));
                    }
                }
                std::fputc('\n', out);
                indentLine(out, indent + 2);
                if (r.glyphs.empty()) {
                    std::fputs("text.glyph is NULL", out);
                } else {
                    for (uint32_t g : r.glyphs) std::fprintf(out, "%u,", g);
                }
                std::fputc('\n', out);
                indentLine(out, indent + 2);
                for (int32_t a : r.advances) std::fprintf(out, "%i,", a);
                break;
            default: break;
        }
        std::fputc('\n', out);
    }
}

}  // namespace tessaly
