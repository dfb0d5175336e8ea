#pragma once
// The tags of interactive movies: buttons with states and condition actions,
// editable text fields, device fonts, action tags and placements that carry
// clip actions. Each tag is described by a plain record and written by one
// function through the stream's tag framing. Action bytes are written as
// given (an assembler makes them); each action list gets its end byte here.

#include <cstdint>
#include <string>
#include <vector>

#include "swf/swf_stream.h"
#include "swf/swf_types.h"

namespace tessaly {

// The state bits of a button record.
namespace button_state {
inline constexpr uint8_t kUp = 0x01;
inline constexpr uint8_t kOver = 0x02;
inline constexpr uint8_t kDown = 0x04;
inline constexpr uint8_t kHit = 0x08;
}  // namespace button_state

// The transition bits of a button's condition action (the 16-bit field as
// the player reads it: the first byte in the high half).
namespace button_condition {
inline constexpr uint16_t kIdleToOverDown = 0x8000;
inline constexpr uint16_t kOutDownToIdle = 0x4000;     // release outside
inline constexpr uint16_t kOutDownToOverDown = 0x2000; // drag over
inline constexpr uint16_t kOverDownToOutDown = 0x1000; // drag out
inline constexpr uint16_t kOverDownToOverUp = 0x0800;  // release
inline constexpr uint16_t kOverUpToOverDown = 0x0400;  // press
inline constexpr uint16_t kOverUpToIdle = 0x0200;      // roll out
inline constexpr uint16_t kIdleToOverUp = 0x0100;      // roll over
inline constexpr uint16_t kOverDownToIdle = 0x0001;
// A key press: the key code (1..127) in bits 1..7.
constexpr uint16_t keyPress(uint8_t code) { return uint16_t((code & 0x7F) << 1); }
}  // namespace button_condition

struct ButtonLayer {
    uint8_t states = 0;  // button_state bits
    uint32_t characterId = 0;
    uint32_t depth = 1;
    SwfMatrix matrix;
    SwfCxform cxform;
};

struct ButtonAction {
    uint16_t conditions = 0;    // button_condition bits
    std::vector<uint8_t> code;  // without the end byte
};

struct ButtonRecord {
    uint32_t id = 0;
    bool trackAsMenu = false;
    std::vector<ButtonLayer> layers;
    std::vector<ButtonAction> actions;
};

// DefineButton2. 1, or 0 (nothing written) when an action list is too long
// for the 16-bit offsets that chain them.
[[nodiscard]] int writeDefineButton2(SwfStream& s, const ButtonRecord& button);

enum class TextAlign : uint8_t { left = 0, right = 1, center = 2, justify = 3 };

struct EditTextRecord {
    uint32_t id = 0;
    SwfRect bounds;                // twips, relative to the field's origin
    uint32_t fontId = 0;           // 0: no font
    uint16_t fontHeight = 240;     // twips
    bool hasColor = false;
    uint32_t color = 0xFF000000;   // 0xAARRGGBB
    uint16_t maxLength = 0;        // 0: no limit
    bool hasLayout = false;
    TextAlign align = TextAlign::left;
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0;  // twips
    int16_t leading = 0;
    bool wordWrap = false, multiline = false, password = false, readOnly = true;
    bool autoSize = false, noSelect = false, border = false, html = false;
    bool useOutlines = false;      // glyphs of an embedded font
    std::string variableName;
    bool hasText = false;
    std::string initialText;
};

void writeDefineEditText(SwfStream& s, const EditTextRecord& field);

// A DefineFont2 without glyphs that names a font of the player's machine
// ("_sans", "_serif", "_typewriter" or a family name).
void writeDeviceFont(SwfStream& s, uint32_t id, const std::string& name, bool bold = false,
                     bool italic = false);

void writeDoAction(SwfStream& s, const std::vector<uint8_t>& code);
void writeDoInitAction(SwfStream& s, uint32_t spriteId, const std::vector<uint8_t>& code);

// The event bits of a clip action, as the 32-bit field of movies of version 6
// and later holds them (the first byte lowest).
namespace clip_event {
inline constexpr uint32_t kKeyUp = 0x80, kKeyDown = 0x40, kMouseUp = 0x20, kMouseDown = 0x10;
inline constexpr uint32_t kMouseMove = 0x08, kUnload = 0x04, kEnterFrame = 0x02, kLoad = 0x01;
inline constexpr uint32_t kDragOver = 0x8000, kRollOut = 0x4000, kRollOver = 0x2000;
inline constexpr uint32_t kReleaseOutside = 0x1000, kRelease = 0x0800, kPress = 0x0400;
inline constexpr uint32_t kInitialize = 0x0200, kData = 0x0100;
inline constexpr uint32_t kConstruct = 0x040000, kKeyPress = 0x020000, kDragOut = 0x010000;
}  // namespace clip_event

struct ClipAction {
    uint32_t events = 0;        // clip_event bits
    uint8_t keyCode = 0;        // with kKeyPress
    std::vector<uint8_t> code;  // without the end byte
};

// A PlaceObject2 with the placement of `place` followed by its clip actions
// (movies of version 6 and later: 32-bit event fields).
void writePlaceWithClipActions(SwfStream& s, const PlaceObjectRecord& place,
                               const std::vector<ClipAction>& actions);

}  // namespace tessaly
