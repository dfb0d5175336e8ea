// The job's font table: font lookup, capture and declaration.

#include "font_table.h"

#include <algorithm>

#include "job_writer.h"
#include "markup.h"
#include "support/entities.h"
#include "support/text.h"

namespace tessaly::pagesmith {

std::string ansiName(std::u16string_view name) {
    std::string out;
    const size_t length = std::min(name.size(), kMaxAnsiName);
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) out += markup::ansiByte(name[i]);
    return out;
}

int32_t styleCode(std::string_view styleName) {
    const std::string name(styleName);
    int32_t code = 0;
    if (findNoCase(name.c_str(), "bold")) code |= kFontStyleBold;
    if (findNoCase(name.c_str(), "italic") || findNoCase(name.c_str(), "oblique")) code |= kFontStyleItalic;
    return code;
}

void nameAttribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    escapeNarrow(value, out);
    out += '"';
}

int64_t declareFont(DriverDevice& device, std::u16string_view face, std::u16string_view style, int32_t charSet,
                    std::string& out) {
    const std::string faceName = ansiName(face);
    const std::string styleName = ansiName(style);
    const int32_t code = styleCode(styleName);
    // A font asked for with the default set is found again by that request:
    // the record keeps the set asked for beside the one the capture chose.
    for (const FontRecord& record : device.fonts) {
        if (record.requestedCharSet == charSet && record.style == code &&
            equalNoCase(record.face.c_str(), faceName.c_str())) {
            return record.id;
        }
    }
    std::unique_ptr<CapturedFont> captured = CapturedFont::capture(faceName, code, charSet);
    if (!captured) return -1;
    FontRecord record;
    record.face = faceName;
    record.style = code;
    record.requestedCharSet = charSet;
    record.font = std::move(captured);
    device.fonts.push_back(std::move(record));
    FontRecord& added = device.fonts.back();
    added.id = newId(device);
    added.font->setId(added.id);

    markup::startTagOpen(out, "Font");
    markup::textAttribute(out, "src", "f" + std::to_string(added.id) + ".mml");
    nameAttribute(out, "font", faceName);
    if (code != 0) nameAttribute(out, "style", styleName);
    markup::integerAttribute(out, "charSet", uint32_t(charSet));
    markup::startTagClose(out, true, true);
    return added.id;
}

void addFontGlyphs(DriverDevice& device, uint32_t id, std::u16string_view characters) {
    for (FontRecord& record : device.fonts) {
        if (record.id == id && record.font) {
            (void)record.font->addGlyphs(characters);
            return;
        }
    }
}

}  // namespace tessaly::pagesmith
