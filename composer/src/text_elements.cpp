// The Text and Font elements: texts in embedded or system fonts.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "composer/mml_interpreter.h"
#include "composer/mml_values.h"
#include "composer/path_builder.h"
#include "support/checksum.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/scrambler.h"
#include "support/text.h"

namespace tessaly {

namespace {

constexpr size_t kMaxFontName = 64;

int32_t styleBits(const char* style) {
    if (!style) return kStyleRegular;
    int32_t bits = 0;
    if (hasKeyword(style, "bold")) bits |= kStyleBold;
    // Printed text names an oblique face's style as the face does.
    if (hasKeyword(style, "italic") || hasKeyword(style, "oblique")) bits |= kStyleItalic;
    return bits;
}

// Fonts are shared by name (ignoring case), style and character set: the
// description holds all three, the key is its hash.
struct FontIdentity {
    std::string description;
    uint32_t key = 0;
};

FontIdentity fontIdentity(const std::string& name, int32_t style, int32_t charset) {
    FontIdentity id;
    id.description = name;
    for (char& c : id.description) c = foldCase(c);
    id.description.push_back('\0');
    for (uint32_t v : {uint32_t(style), uint32_t(charset)}) {
        for (int shift = 0; shift < 32; shift += 8) id.description.push_back(char(v >> shift));
    }
    uint32_t key = nameHash(name);
    key = crc32UpdateU32(key, uint32_t(style));
    id.key = crc32UpdateU32(key, uint32_t(charset));
    return id;
}

int32_t integerOr(MmlReader& reader, const char* name, int32_t fallback) {
    int32_t v = 0;
    return reader.attributeInteger(name, &v) == 1 ? v : fallback;
}

}  // namespace

std::unique_ptr<FontObject> MmlInterpreter::readFont(MmlReader& reader, int32_t* charset) {
    const char* nameText = reader.attributeTrimmed("font");
    if (!nameText || !*nameText) return nullptr;
    const std::string name = std::string(nameText).substr(0, kMaxFontName);
    auto font = std::make_unique<FontObject>();
    font->setUp(name, styleBits(reader.attribute("style")), 0, integerOr(reader, "ascent", 0),
                integerOr(reader, "descent", 0), integerOr(reader, "leading", 0));
    *charset = integerOr(reader, "charset", -1);

    const ElementRecord* element = reader.current();
    if (!element || !element->hasContent) return font;
    const PathBuilder glyphPath(1.0);
    bool ok = true;
    while (reader.nextElement()) {
        const char* child = reader.currentName();
        if (equalNoCase(child, "/Font")) break;
        if (!ok) continue;
        if (equalNoCase(child, "Glyph")) {
            int32_t code = 0;
            if (reader.attributeInteger("unicode", &code) != 1) {
                // The character itself; numeric entities may name any UTF-16 unit.
                const char16_t* c = reader.attributeWide("char");
                if (!c || reader.valueLength() == 0) {
                    ok = false;
                    continue;
                }
                code = c[0];
            }
            const int32_t advance = integerOr(reader, "advance", 0);
            ShapeObject& shape = font->glyphShape();
            const auto first = uint32_t(shape.commands().size());
            const bool hasOutline = reader.current()->hasContent;
            if (hasOutline && !glyphPath.build(reader, shape, "/Glyph", true)) {
                ok = false;
                continue;
            }
            // The glyph's box is the box of its own commands.
            Bounds box;
            int32_t penX = 0, penY = 0;
            for (size_t i = first; i < shape.commands().size(); ++i) {
                const ShapeCommand& cmd = shape.commands()[i];
                const int points = cmd.code == kCmdCubic ? 3 : cmd.code == kCmdQuadratic ? 2
                                   : (cmd.code == kCmdMove || cmd.code == kCmdLine) ? 1 : 0;
                if (points && cmd.code != kCmdMove) box.addPoint(penX, penY);
                for (int p = 0; p < points; ++p) {
                    if (cmd.code != kCmdMove) box.addPoint(cmd.args[2 * p], cmd.args[2 * p + 1]);
                }
                if (points) {
                    penX = cmd.args[2 * (points - 1)];
                    penY = cmd.args[2 * (points - 1) + 1];
                }
            }
            if (code < 0 || code > 0xFFFF || font->addGlyph(uint16_t(code), advance, box, first) < 0) {
                ok = false;
            }
        } else if (equalNoCase(child, "Kerning")) {
            int32_t a = 0, b = 0, delta = 0;
            if (reader.attributeInteger("unicode1", &a) == 1 &&
                reader.attributeInteger("unicode2", &b) == 1 &&
                reader.attributeInteger("delta", &delta) == 1 && a >= 0 && a <= 0xFFFF && b >= 0 &&
                b <= 0xFFFF) {
                font->addKerning(uint16_t(a), uint16_t(b), delta);
            }
        }
    }
    return ok ? std::move(font) : nullptr;
}

void MmlInterpreter::handleFont() {
    std::unique_ptr<FontObject> font;
    int32_t charset = -1;
    // The set the page asked for ("4294967295" is the driver's -1). Texts ask
    // for the font by that set, while the font file records the set the
    // system chose, so the declaration's set is the one that finds the font.
    std::optional<int32_t> declaredCharset;
    if (const char* text = reader_.attributeTrimmed("charset")) {
        uint32_t v = 0;
        if (parseUnsigned(text, &v)) declaredCharset = int32_t(v);
        else if (int32_t i = 0; parseInt(text, &i)) declaredCharset = i;
    }
    const char* srcAttr = reader_.attributeTrimmed("src");
    if (srcAttr && *srcAttr) {
        const std::string src = latin1ToUtf8(srcAttr);
        std::string path = src.front() == '/' ? src : jobDirectory_ + src;
        if (path.size() > 259 && src.front() != '/') path = src;
        SizedBlock file;
        const bool loaded = readWholeFile(path, file) == 1;
        // This element's own children, if any, are not the font.
        if (reader_.current()->hasContent) {
            while (reader_.nextElement() && !equalNoCase(reader_.currentName(), "/Font")) {
            }
        }
        if (!loaded) return;
        if (file.length > 0 && file.data[0] != '<' && jobKey) {
            unscramble(file.data.get(), file.length, jobKey);
        }
        MmlReader source;
        if (!source.loadText(std::string_view(reinterpret_cast<const char*>(file.data.get()),
                                              file.length)) ||
            !source.nextElement("Font")) {
            return;
        }
        font = readFont(source, &charset);
        if (declaredCharset) charset = *declaredCharset;
    } else {
        font = readFont(reader_, &charset);
    }
    if (!font) return;
    // The first definition of a font wins.
    std::unique_ptr<MovieObject> object = std::move(font);
    auto& f = static_cast<FontObject&>(*object);
    const FontIdentity identity = fontIdentity(f.name, f.style, charset);
    dictionary->addDescribed(kTypeFont, identity.key, identity.description, nullptr, object);
}

void MmlInterpreter::handleText() {
    const char* fontText = reader_.attributeTrimmed("font");
    const std::string fontName =
        std::string(fontText && *fontText ? fontText : "Arial").substr(0, kMaxFontName);
    double size = 16;
    reader_.attributeReal("size", &size);
    const uint32_t height = std::min<uint32_t>(clampToUint32(std::floor(size * scale + 0.5)), 65535);
    const int32_t style = styleBits(reader_.attribute("style"));
    const int32_t charset = integerOr(reader_, "charset", -1);
    MmlColor color;
    const bool hasColor = reader_.attributeColor("color", &color) == 1;
    const char* id = reader_.attributeTrimmed("id");
    const bool named = id && *id;

    // The text content, up to the next tag.
    const char16_t* wide = reader_.attributeWide(nullptr);
    if (!wide) return;
    const std::u16string chars(wide, reader_.valueLength());

    std::vector<TextPosition> positions;
    if (const char* charpos = reader_.attribute("charpos")) {
        for (const MmlPoint& p : parsePointList(charpos)) {
            if (positions.size() >= chars.size()) break;
            positions.push_back({clampToInt32(std::round(p.x)), clampToInt32(std::round(p.y))});
        }
    }

    // The font: an embedded or earlier one of that name, style and set, or the system's.
    const FontIdentity identity = fontIdentity(fontName, style, charset);
    DictionaryEntry* fontEntry =
        named ? nullptr : dictionary->findDescribed(kTypeFont, identity.key, identity.description);
    if (!fontEntry) {
        if (!systemFonts) return;
        std::unique_ptr<FontObject> font = systemFonts->makeFont(fontName, style, charset);
        if (!font) return;
        std::unique_ptr<MovieObject> object = std::move(font);
        const AddResult r = named ? dictionary->addUnique(kTypeFont, nullptr, object)
                                  : dictionary->addDescribed(kTypeFont, identity.key,
                                                             identity.description, nullptr, object);
        if (r.result != 1) return;
        fontEntry = r.entry;
    }
    auto* font = static_cast<FontObject*>(fontEntry->object.get());

    auto text = std::make_unique<TextObject>();
    text->font(fontEntry->id, font);
    text->color(hasColor ? color.argb() : 0, hasColor && color.hasAlpha);
    text->height(height);
    // Characters past the last position follow with the font's own advances.
    const size_t placed = positions.size();
    bool ok = placed == 0 || text->addPositionedText(std::u16string_view(chars).substr(0, placed),
                                                     positions.data(), false);
    if (ok && placed < chars.size()) {
        ok = text->addText(std::u16string_view(chars).substr(placed), nullptr, false);
    }
    if (!ok || !text->resolve(false) || text->bounds.empty()) return;

    // A text placed plainly (only a position) right after another such text
    // in the same clip joins it: one text character shows both, which saves
    // the definition and placement of each piece of a line that changes
    // fonts. The first text's entry is its own (not shared with an equal
    // text) and not yet written, so it can still grow.
    static constexpr std::array kPlacement = {"matrix", "angle", "scale", "alpha", "depth",
                                              "instance", "export", "flags"};
    const bool plain = !named && std::none_of(kPlacement.begin(), kPlacement.end(), [this](const char* a) {
        return reader_.attribute(a) != nullptr;
    });
    double px = 0, py = 0;
    if (reader_.attributePair("pos", &px, &py) != 3) px = py = 0;
    const int32_t x = clampToInt32(px * scale), y = clampToInt32(py * scale);
    if (plain && openText_ && openText_->clip == current_) {
        auto& open = static_cast<TextObject&>(*openText_->entry->object);
        // A translucent text joins only translucent ones: the opaque kind of
        // text character has no alpha.
        if (open.usesAlpha() == text->usesAlpha() &&
            open.appendText(*text, saturatingSub(x, openText_->x), saturatingSub(y, openText_->y))) {
            return;
        }
    }

    std::unique_ptr<MovieObject> object = std::move(text);
    const uint32_t textKey = static_cast<TextObject&>(*object).contentHash();
    const AddResult r = dictionary->add(kTypeText, textKey, nullptr, object);
    if (r.result != 1 && r.result != 2) return;
    PlacementInput in;
    in.character = r.entry;
    place(in);
    if (plain && r.result == 1) {
        openText_ = OpenText{r.entry, current_, x, y};
    } else {
        openText_.reset();
    }
}

}  // namespace tessaly
