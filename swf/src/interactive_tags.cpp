#include "swf/interactive_tags.h"

#include <algorithm>

namespace tessaly {

namespace {

void writeCode(SwfStream& s, const std::vector<uint8_t>& code) {
    s.writeBytes(code.data(), uint32_t(code.size()));
    s.writeU8(0);  // ActionEnd
}

}  // namespace

int writeDefineButton2(SwfStream& s, const ButtonRecord& button) {
    for (size_t i = 0; i + 1 < button.actions.size(); ++i) {
        // The offset to the next condition action covers its own field, the
        // conditions, the code and the end byte.
        if (button.actions[i].code.size() + 5 > 0xFFFF) return 0;
    }
    s.beginTag(SwfTag::DefineButton2);
    s.writeId(button.id);
    s.writeU8(button.trackAsMenu ? 1 : 0);
    const uint32_t offsetField = s.position();
    s.writeU16(0);
    for (const ButtonLayer& layer : button.layers) {
        s.writeU8(layer.states & 0x0F);
        s.writeId(layer.characterId);
        s.writeId(layer.depth);
        s.writeMatrix(layer.matrix.isIdentity() ? nullptr : &layer.matrix);
        s.writeCxform(layer.cxform.isIdentity() ? nullptr : &layer.cxform, true);
    }
    s.writeU8(0);  // end of the layers
    if (!button.actions.empty()) {
        // The first condition action's offset counts from the offset field.
        const uint32_t first = s.position() - offsetField;
        const uint32_t end = s.position();
        s.seek(offsetField);
        s.writeU16(uint16_t(first));
        s.seek(end);
    }
    for (size_t i = 0; i < button.actions.size(); ++i) {
        const ButtonAction& a = button.actions[i];
        const bool last = i + 1 == button.actions.size();
        s.writeU16(last ? 0 : uint16_t(a.code.size() + 5));
        s.writeU8(uint8_t(a.conditions >> 8));
        s.writeU8(uint8_t(a.conditions & 0xFF));
        writeCode(s, a.code);
    }
    s.endTag();
    return 1;
}

void writeDefineEditText(SwfStream& s, const EditTextRecord& f) {
    const bool hasFont = f.fontId != 0;
    const bool hasMaxLength = f.maxLength != 0;
    uint8_t first = 0, second = 0;
    if (f.hasText) first |= 0x80;
    if (f.wordWrap) first |= 0x40;
    if (f.multiline) first |= 0x20;
    if (f.password) first |= 0x10;
    if (f.readOnly) first |= 0x08;
    if (f.hasColor) first |= 0x04;
    if (hasMaxLength) first |= 0x02;
    if (hasFont) first |= 0x01;
    if (f.autoSize) second |= 0x40;
    if (f.hasLayout) second |= 0x20;
    if (f.noSelect) second |= 0x10;
    if (f.border) second |= 0x08;
    if (f.html) second |= 0x02;
    if (f.useOutlines) second |= 0x01;

    s.beginTag(SwfTag::DefineEditText);
    s.writeId(f.id);
    s.writeRect(f.bounds.xmin, f.bounds.xmax, f.bounds.ymin, f.bounds.ymax);
    s.writeU8(first);
    s.writeU8(second);
    if (hasFont) {
        s.writeId(f.fontId);
        s.writeU16(f.fontHeight);
    }
    if (f.hasColor) s.writeRgba(f.color);
    if (hasMaxLength) s.writeU16(f.maxLength);
    if (f.hasLayout) {
        s.writeU8(uint8_t(f.align));
        s.writeU16(f.leftMargin);
        s.writeU16(f.rightMargin);
        s.writeU16(f.indent);
        s.writeU16(uint16_t(f.leading));
    }
    s.writeString(f.variableName);
    if (f.hasText) s.writeString(f.initialText);
    s.endTag();
}

void writeDeviceFont(SwfStream& s, uint32_t id, const std::string& name, bool bold, bool italic) {
    const std::string_view shown = std::string_view(name).substr(0, 255);
    s.beginTag(SwfTag::DefineFont2);
    s.writeId(id);
    s.writeU8(uint8_t((italic ? 0x02 : 0) | (bold ? 0x01 : 0)));
    s.writeU8(0);  // language
    s.writeU8(uint8_t(shown.size()));
    s.writeBytes(shown.data(), uint32_t(shown.size()));
    s.writeU16(0);  // no glyphs: the tag ends here, as players expect of device fonts
    s.endTag();
}

void writeDoAction(SwfStream& s, const std::vector<uint8_t>& code) {
    s.beginTag(SwfTag::DoAction);
    writeCode(s, code);
    s.endTag();
}

void writeDoInitAction(SwfStream& s, uint32_t spriteId, const std::vector<uint8_t>& code) {
    s.beginTag(SwfTag::DoInitAction);
    s.writeId(spriteId);
    writeCode(s, code);
    s.endTag();
}

void writePlaceWithClipActions(SwfStream& s, const PlaceObjectRecord& place,
                               const std::vector<ClipAction>& actions) {
    using namespace place_flag;
    const uint32_t flags = place.flags;
    const SwfMatrix* m =
        (flags & kHasMatrix) && place.matrix && !place.matrix->isIdentity() ? place.matrix : nullptr;
    const SwfCxform* cx =
        (flags & kHasCxform) && place.cxform && !place.cxform->isIdentity() ? place.cxform : nullptr;
    const uint8_t f = placeObject2Flags(flags, m != nullptr, cx != nullptr) | 0x80;  // clip actions

    s.beginTag(SwfTag::PlaceObject2);
    s.writeU8(f);
    s.writeId(place.depth);
    if (flags & kHasId) s.writeId(place.characterId);
    if (m) s.writeMatrix(m);
    if (cx) s.writeCxform(cx, true);
    if (flags & kHasRatio) s.writeU16(uint16_t(std::min<uint32_t>(place.ratio, 0xFFFF)));
    if (flags & kHasName) s.writeString(place.name);
    if (flags & kHasClipDepth) s.writeId(place.clipDepth);
    s.writeU16(0);
    uint32_t all = 0;
    for (const ClipAction& a : actions) all |= a.events;
    s.writeU32(all);
    for (const ClipAction& a : actions) {
        const bool key = (a.events & clip_event::kKeyPress) != 0;
        s.writeU32(a.events);
        s.writeU32(uint32_t(a.code.size() + 1 + (key ? 1 : 0)));
        if (key) s.writeU8(a.keyCode);
        writeCode(s, a.code);
    }
    s.writeU32(0);
    s.endTag();
}

}  // namespace tessaly
